"""The settings and backlog screens in a game that ships none of their
pictures and made no backlog objects: each still runs, a right click leaves
it, the script goes on, and the program ends normally."""
import velk2e2e as e2e

FIRST, SECOND = (200, 40, 40), (40, 40, 200)

START = """Config()
Graphic(Layer=1, File="first.png", x=-200)
Apply()
History()
Graphic(Layer=2, File="second.png", x=200)
Apply()
Wait(Time=600000)
"""


class ScreensWithoutPictures(e2e.TestCase):
    def test_both_screens_leave_by_right_click(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("first.png", 100, 100, FIRST)
            s.game.png("second.png", 100, 100, SECOND)
            p = s.start()
            p.wait_window()
            cases = [("after the settings screen", FIRST, (440, 360), (600, 500)),
                     ("after the backlog screen", SECOND, (840, 360), (700, 500))]
            for name, colour, at, click_at in cases:
                def shown():
                    if e2e.close_to(p.logical_shot().pixel(*at), colour, 3):
                        return True
                    # A right click may come before the screen waits for it;
                    # the next one finds it waiting.
                    p.click(click_at[0], click_at[1], button=3)
                    click_at[1] += 1
                    return False

                click_at = list(click_at)
                e2e.wait_until(shown, 20, 0.5, name)
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
