"""Files that are pipes, not files: a picture, a sound, the pre-converter in
the game's folder and "Already.dat" in the per-user folder are FIFOs that no
one writes. Each is read as a missing file, at once: the game starts, the rest
of its scene draws, and closing the window ends the program with 0, writing
its files (a pipe that held a thread in open() would keep the window blank and
the close waiting for that thread)."""
import os

import velk2e2e as e2e

GREEN = (30, 200, 60)

START = """// a picture and a sound that are pipes, beside a picture that is a file
Graphic(Layer=1, File="pipe.png", x=-320, y=0)
Graphic(Layer=2, File="green.png", x=320, y=0)
Apply()
Sound(Layer=3, File="pipe.wav", Play=1)
Wait(Time=600000)
"""


class PipeFiles(e2e.TestCase):
    def test_pipes_read_as_missing_files_without_blocking(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("green.png", 200, 200, GREEN)
            for name in ("pipe.png", "pipe.wav", "Text2qvs.so"):
                os.mkfifo(s.game.path(name))
            s.user_dir.mkdir(parents=True, exist_ok=True)
            os.mkfifo(s.user_file("Already.dat"))

            p = s.start()
            p.wait_window()
            # The picture that is a file: centred at logical (960, 360).
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().average(900, 300, 1020, 420), GREEN, 4),
                           20, 0.2, "the scene beside the pipes to draw")
            shot = p.logical_shot()
            self.assertTrue(e2e.close_to(shot.pixel(320, 360), (0, 0, 0), 4),
                            "the pipe drew as nothing: %r" % (shot.pixel(320, 360),))
            self.assertTrue(p.alive(), p.stderr())

            p.close_window()
            # Far above a normal close; a thread held by a pipe is waited for longer.
            self.assertEqual(p.wait_exit(15), 0, p.stderr())
            self.assertTrue(s.user_file("System.dat").is_file(), "System.dat written at the close")
            self.assertTrue(s.user_file("Already.dat").is_file(), "Already.dat written in the pipe's place")


if __name__ == "__main__":
    e2e.main()
