"""The display goes away under a running game (its X server ends): the
program ends in order, as on SIGHUP, instead of aborting inside Xlib's exit:
"System.dat" (with the Global the game set) and "Already.dat" are written,
and the exit code is 1. Once with the screen standing still, once while a
picture moves, so that the render thread is presenting when the server
goes."""
import velk2e2e as e2e

VARIABLES = "Variable(Global, Name=mark)\n"
STILL = """mark = 4242
Graphic(Layer=1, File="back.png", x=0, y=0)
Apply()
KeyWait()
"""
MOVING = """mark = 4242
Graphic(Layer=1, File="back.png", x=0, y=0)
Graphic(Layer=2, File="dot.png", x=0, y=0)
GraphicSlot(Layer=2, No=1, Time=300, Loop=-1, Position=0:0, PositionGainStart=200:0, PositionGainEnd=-200:0)
Apply()
KeyWait()
"""
BACK, DOT = (20, 50, 140), (230, 200, 30)
INTEGER = 2


class DisplayLoss(e2e.TestCase):
    def test_a_lost_display_writes_the_files_and_ends_with_1(self):
        for name, start, wm in (("still", STILL, False), ("moving", MOVING, True)):
            with self.subTest(name), e2e.Session(self, wm=wm) as s:
                s.game.basic(start, VARIABLES)
                s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
                s.game.png("dot.png", 40, 40, DOT)
                p = s.start()
                p.wait_window()
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 100), BACK, 3), 20, 0.2,
                               "the game's picture")
                self.assertFalse(s.user_file("System.dat").exists())
                s.end_x()
                code = p.wait_exit(60)
                said = p.stderr()
                self.assertEqual(code, 1, said)
                self.assertNotIn("terminate called", said)
                self.assertIn("connection to the display was lost", said)
                data = s.user_file("System.dat").read_bytes()
                self.assertEqual(e2e.system_globals(data)["mark"][:2], (INTEGER, 4242))
                marks = s.user_file("Already.dat").read_bytes()
                self.assertEqual(marks[:12], b"\0QV2ALREADY\0")
                self.assertIn(b"Start.qvs\0", marks, "the read marks of the main script")


if __name__ == "__main__":
    e2e.main()
