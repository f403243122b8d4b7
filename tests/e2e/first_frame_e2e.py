"""Start and first frame: the start-up script's picture reaches the window, and
closing the window ends the program with 0 and writes "System.dat"."""
import velk2e2e as e2e

# Distinct channels, so a swapped or dropped channel shows.
COLOUR = (200, 60, 20)

START = """// fills the screen with one colour and waits for the player to close the window
Graphic(Layer=1, File="fill.png", x=0, y=0)
Apply()
Wait(Time=600000)
"""


class FirstFrame(e2e.TestCase):
    def test_first_frame_and_close(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("fill.png", e2e.LOGICAL_W, e2e.LOGICAL_H, COLOUR)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().average(600, 320, 680, 400), COLOUR, 3),
                           20, 0.2, "the window to show the script's colour")
            shot = p.logical_shot()
            for name, x, y in (("top left", 2, 2), ("bottom right", 1277, 717), ("centre", 640, 360)):
                self.assertTrue(e2e.close_to(shot.pixel(x, y), COLOUR, 3), "%s: %r" % (name, shot.pixel(x, y)))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            self.assertTrue(s.user_file("System.dat").is_file(), "System.dat written at the close")


if __name__ == "__main__":
    e2e.main()
