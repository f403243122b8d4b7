"""The display goes away under a running game (its X server ends): the
program ends in order, as on SIGHUP, instead of aborting inside Xlib's exit:
"System.dat" (with the Global the game set) and "Already.dat" are written,
and the exit code is 1. It is gone within a few seconds whatever it was
doing: the screen standing still, a picture moving (the render thread is
presenting when the server goes), a save or a load made over and over, a
movie playing, a box open; all the while the side scripts sit in a long
"Wait" (and in one run tick a short clock), which must end as on a quit."""
import os
import subprocess
import time
from pathlib import Path

import velk2e2e as e2e

VARIABLES = "Variable(Global, Name=mark)\n"
SHOWN = 'mark = 4242\nGraphic(Layer=1, File="back.png", x=0, y=0)\nApply()\n'
STILL = SHOWN + "KeyWait()\n"
MOVING = SHOWN + """Graphic(Layer=2, File="dot.png", x=0, y=0)
GraphicSlot(Layer=2, No=1, Time=300, Loop=-1, Position=0:0, PositionGainStart=200:0, PositionGainEnd=-200:0)
Apply()
KeyWait()
"""
# The script it calls is missing: the main script waits on the box that says so.
BOX = SHOWN + 'ScriptCall(File="scenario\\\\nothere.qvs")\nKeyWait()\n'
SAVING = SHOWN + "#again\nPlayDataSave(No=1)\nScriptJump(Label=#again)\n"
# Each load goes on after the save, straight into the next load.
LOADING = SHOWN + "PlayDataSave(No=1)\nPlayDataLoad(No=1)\n"
MOVIE = SHOWN + """Graphic(Layer=2, File="long.mpg")
GraphicPlay(Layer=2)
GraphicWait(Layer=2)
KeyWait()
"""
LONG_WAIT = "Wait(Time=600000)\n"
CLOCK = "Wait(Time=5)\n"
BACK, DOT, RED = (20, 50, 140), (230, 200, 30), (255, 0, 0)
INTEGER = 2
# From the server's end to the process's: a thread that does not stop holds
# the end for the ten seconds it is given. Nothing held, it takes about a
# tenth of a second; the rest is room for a loaded machine.
GONE_WITHIN = 3.0


def movie_maker():
    return os.environ.get("VELK2_MAKE_MOVIE") or str(Path(e2e.binary()).parent / "tests" / "velk2_make_movie")


class DisplayLoss(e2e.TestCase):
    def test_a_lost_display_writes_the_files_and_ends_with_1_at_once(self):
        cases = (("still", STILL, False, LONG_WAIT), ("moving", MOVING, True, LONG_WAIT),
                 ("box", BOX, True, LONG_WAIT), ("saving", SAVING, False, LONG_WAIT),
                 ("loading", LOADING, False, CLOCK), ("movie", MOVIE, False, LONG_WAIT))
        for name, start, wm, side in cases:
            with self.subTest(name), e2e.Session(self, wm=wm) as s:
                s.game.basic(start, VARIABLES)
                s.game.script("system/Function.qvs", side)
                s.game.script("system/ExitFunction.qvs", LONG_WAIT)
                s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
                s.game.png("dot.png", 40, 40, DOT)
                if name == "movie":
                    subprocess.run([movie_maker(), str(s.game.path("long.mpg")), "mpeg", "mpeg1video", "mp2",
                                    "320", "180", "30", "20", "440", "per-second"], check=True, timeout=120)
                p = s.start()
                p.wait_window()
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 100), BACK, 3), 20, 0.2,
                               "the game's picture")
                if name == "box":
                    e2e.wait_until(lambda: any("ReadFile Access Error" in title for title in p.windows().values()),
                                   20, 0.1, "the box")
                elif name == "movie":
                    e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 360), RED, 24), 20, 0.05,
                                   "the movie")
                elif name in ("saving", "loading"):
                    e2e.wait_until(lambda: s.user_file("save0001.dat").exists(), 20, 0.05, "the first save")
                    time.sleep(0.3)  # well into the loop
                self.assertFalse(s.user_file("System.dat").exists())
                s.end_x()
                ended = time.monotonic()
                code = p.wait_exit(60)
                took = time.monotonic() - ended
                said = p.stderr()
                self.assertEqual(code, 1, said)
                self.assertLess(took, GONE_WITHIN, said)
                self.assertNotIn("did not stop", said)
                self.assertNotIn("terminate called", said)
                self.assertIn("connection to the display was lost", said)
                data = s.user_file("System.dat").read_bytes()
                self.assertEqual(e2e.system_globals(data)["mark"][:2], (INTEGER, 4242))
                marks = s.user_file("Already.dat").read_bytes()
                self.assertEqual(marks[:12], b"\0QV2ALREADY\0")
                self.assertIn(b"Start.qvs\0", marks, "the read marks of the main script")


if __name__ == "__main__":
    e2e.main()
