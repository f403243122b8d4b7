"""A box the program opens while the game plays stays above the game window
and takes the keyboard and the first click, under a window manager, in full
screen and in a window: a save that fails (every new file stops short under
a file-size limit, as on a full disk) opens the "WriteFile Access Error" box;
a screenshot shows the box over the game's picture, the box has the input
focus, and one click on its Cancel button closes it, the keyboard goes back to
the game (without a window manager too) and the game goes on."""
import velk2e2e as e2e

VARIABLES = "// no names\n"
START = """Graphic(Layer=1, File="back.png", x=0, y=0)
Apply()
%s
KeyWait()
PlayDataSave(No=1, Index="new")
Graphic(Layer=2, File="mark.png", x=300, y=-200)
Apply()
Wait(Time=600000)
"""
BACK, MARK = (20, 50, 140), (240, 20, 200)
CAPTION = "WriteFile Access Error"
# The box's layout: white above a bar of buttons, Retry and Cancel (88 x 28)
# right-aligned 20 pixels in, the bar 12 pixels under them.
WHITE = (255, 255, 255)
FILE_SIZE_LIMIT = 1024


def wait_box(p, caption):
    found = [w for w, name in p.windows().items() if caption in name]
    return found[0] if found else None


def at(x, y):
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


class BoxAboveGame(e2e.TestCase):
    def test_the_box_is_above_the_game_and_takes_the_first_click(self):
        cases = (("full screen", "SystemScreenModeChange(Value=1)", True), ("window", "", True),
                 ("no window manager", "", False))
        for name, mode, wm in cases:
            with self.subTest(name), e2e.Session(self, wm=wm) as s:
                s.game.basic(START % mode, VARIABLES)
                s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
                s.game.png("mark.png", 40, 40, MARK)
                quiet = {"SDL_AUDIODRIVER": "dummy", "MESA_SHADER_CACHE_DISABLE": "true"}
                p = s.start(env=quiet, file_size_limit=FILE_SIZE_LIMIT)
                game = p.wait_window()
                if mode:
                    e2e.wait_until(lambda: p.geometry() == (0, 0, e2e.LOGICAL_W, e2e.LOGICAL_H), 20, 0.2,
                                   "the game to cover the screen")
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 100), BACK, 3), 20, 0.2,
                               "the game's picture")
                p.click(640, 360)  # past the KeyWait: the save fails
                box = p.wait_window(title=CAPTION)
                x, y, w, h = p.geometry()

                def box_on_top():
                    shot = s.screen_shot()
                    return (e2e.close_to(shot.pixel(x + 5, y + 5), WHITE, 2) and
                            e2e.close_to(shot.pixel(x + w - 5, y + 10), WHITE, 2))
                e2e.wait_until(box_on_top, 20, 0.2, "the box above the game on the screen")
                e2e.wait_until(lambda: int(s.xdotool("getwindowfocus").strip()) == box, 10, 0.1,
                               "the box to have the keyboard")
                s.xdotool("mousemove", "--sync", str(x + w - 20 - 44), str(y + h - 12 - 14))
                s.xdotool("click", "1")
                e2e.wait_until(lambda: CAPTION not in " ".join(p.windows().values()), 10, 0.1, "the box to close")
                e2e.wait_until(lambda: int(s.xdotool("getwindowfocus").strip()) == game, 10, 0.1,
                               "the game to have the keyboard again")
                p.window = game
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*at(300, -200)), MARK, 3), 20, 0.2,
                               "the game to go on")
                self.assertIn("[%s]" % CAPTION, p.stderr())
                # At the end "System.dat" and "Already.dat" fail alike: the
                # boxes of the window's own thread take the keyboard too.
                p.close_window()
                for _ in range(2):
                    box = e2e.wait_until(lambda: not p.alive() or wait_box(p, CAPTION), 20, 0.1, "a box or the end")
                    if box is True:
                        break
                    e2e.wait_until(lambda: int(s.xdotool("getwindowfocus").strip()) == box, 10, 0.1,
                                   "the box at the end to have the keyboard")
                    s.xdotool("key", "Escape")
                    e2e.wait_until(lambda: box not in p.windows(), 10, 0.1, "the box at the end to close")
                self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
