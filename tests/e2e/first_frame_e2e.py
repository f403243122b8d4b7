"""Start and first frame: the start-up script's picture reaches the window, a
click and then a key each end a "KeyWait", and closing the window ends the
program with 0 and writes "System.dat"."""
import velk2e2e as e2e

# Distinct channels, so a swapped or dropped channel shows.
FIRST, AFTER_CLICK, AFTER_KEY = (200, 60, 20), (20, 200, 60), (60, 20, 200)

START = """// one colour per step; the player moves on with a click, then a key
Graphic(Layer=1, File="first.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=1, File="click.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=1, File="key.png", x=0, y=0)
Apply()
Wait(Time=600000)
"""


class FirstFrame(e2e.TestCase):
    def test_first_frame_input_and_close(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            for name, colour in (("first", FIRST), ("click", AFTER_CLICK), ("key", AFTER_KEY)):
                s.game.png(name + ".png", e2e.LOGICAL_W, e2e.LOGICAL_H, colour)
            p = s.start()
            p.wait_window()

            def shows(colour):
                return lambda: e2e.close_to(p.logical_shot().average(600, 320, 680, 400), colour, 3)

            e2e.wait_until(shows(FIRST), 20, 0.2, "the window to show the first colour")
            shot = p.logical_shot()
            for name, x, y in (("top left", 2, 2), ("bottom right", 1277, 717), ("centre", 640, 360)):
                self.assertTrue(e2e.close_to(shot.pixel(x, y), FIRST, 3), "%s: %r" % (name, shot.pixel(x, y)))
            p.click(640, 360)
            e2e.wait_until(shows(AFTER_CLICK), 10, 0.1, "a click to end the first KeyWait")
            p.key("Return")
            e2e.wait_until(shows(AFTER_KEY), 10, 0.1, "Return to end the second KeyWait")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            self.assertTrue(s.user_file("System.dat").is_file(), "System.dat written at the close")


if __name__ == "__main__":
    e2e.main()
