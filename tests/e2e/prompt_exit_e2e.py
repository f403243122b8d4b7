"""The end of the main script ends the program promptly, although both side
scripts sit in a minute-long "Wait": the script saves slot 1 as its last act,
and the program is gone well within half a second of that file appearing
(each side script used to be given a second of its own to stop)."""
import time

import velk2e2e as e2e

START = "Wait(Time=1000)\nPlayDataSave(No=1)\n"


class PromptExit(e2e.TestCase):
    def test_the_program_ends_with_its_main_script(self):
        with e2e.Session(self) as s:
            s.game.basic(START)  # the side scripts wait 60 s each
            p = s.start()
            slot = s.user_file("save0001.dat")
            e2e.wait_until(slot.exists, 20, 0.01, "the script's last statement")
            ended = time.monotonic()
            e2e.wait_until(lambda: not p.alive(), 10, 0.01, "the program's end")
            took = time.monotonic() - ended
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            self.assertLess(took, 0.5, "the program ended %.2f s after its main script" % took)


if __name__ == "__main__":
    e2e.main()
