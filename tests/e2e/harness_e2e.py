"""The whole-program harness itself: what the other tests lean on."""

import json
import os
import select
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import velk2e2e as e2e

RED, GREEN, BLUE = (220, 30, 40), (30, 200, 60), (40, 50, 210)

# Each click moves the picture on, so the screen tells how many arrived.
CLICKS = """Graphic(Layer=1, File="red.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=1, File="green.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=1, File="blue.png", x=0, y=0)
Apply()
Wait(Time=600000)
"""


class Harness(e2e.TestCase):
    def test_second_click_on_the_same_spot_arrives_at_once(self):
        with e2e.Session(self) as s:
            s.game.basic(CLICKS)
            for name, colour in (("red.png", RED), ("green.png", GREEN), ("blue.png", BLUE)):
                s.game.png(name, 1280, 720, colour)
            p = s.start()
            p.wait_window()
            for after in (GREEN, BLUE):
                e2e.wait_until(lambda: not e2e.close_to(p.logical_shot().pixel(640, 360), after), 10, 0.1,
                               "the picture before the click")
                time.sleep(0.5)  # the script waits for the click by now
                clicker = threading.Thread(target=p.click, args=(300, 200), daemon=True)
                clicker.start()
                clicker.join(5)
                self.assertFalse(clicker.is_alive(), "a click at the spot the pointer stands on still runs")
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 360), after), 5, 0.1,
                               "the picture after the click")

    def test_a_failed_test_reports_velk2_stderr_even_without_its_file(self):
        # The session's clean-up must leave the test's own failure in view,
        # not raise one of its own over a missing output file.
        class Failure(Exception):
            pass

        with self.assertRaises(Failure):
            with e2e.Session(self) as s:
                s.game.basic("Wait(Time=600000)\\n")
                p = s.start()
                p.wait_window()
                Path(p._err).unlink()
                raise Failure()

    def test_an_x_server_that_stops_answering_fails_the_test_with_a_message(self):
        with e2e.Session(self) as s:
            s.game.basic("Wait(Time=600000)\n")
            p = s.start()
            p.wait_window()
            xvfb = s.processes[0]
            os.kill(xvfb.pid, signal.SIGSTOP)
            patience, e2e.X_ANSWER_SECONDS = e2e.X_ANSWER_SECONDS, 2
            try:
                for name, request in (("a close in this process", p.close_window),
                                      ("a screenshot by a client", p.shot)):
                    started = time.monotonic()
                    with self.assertRaisesRegex(AssertionError, "did not answer", msg=name):
                        request()
                    self.assertLess(time.monotonic() - started, 10, name)
            finally:
                e2e.X_ANSWER_SECONDS = patience
        self.assertIsNotNone(xvfb.poll(), "the stopped X server is gone")
        self.assertFalse(p.alive(), "velk2 is gone")

    def test_a_terminated_test_leaves_neither_its_x_server_nor_velk2(self):
        # A test as ctest's time-out ends it: SIGTERM while velk2 runs.
        held = (
            "import json, os, sys, time\n"
            "sys.path.insert(0, %r)\n"
            "import velk2e2e as e2e\n"
            "class Held(e2e.TestCase):\n"
            "    def test_held(self):\n"
            "        with e2e.Session(self) as s:\n"
            "            s.game.basic('Wait(Time=600000)\\n')\n"
            "            p = s.start()\n"
            "            p.wait_window()\n"
            "            st = os.stat('/tmp/.X11-unix/X' + s.display[1:])\n"
            "            socket = [st.st_ino, st.st_ctime_ns]\n"
            "            print(json.dumps([s.display, s.processes[0].pid, p.process.pid, socket]), flush=True)\n"
            "            time.sleep(600)\n"
            "e2e.main()\n" % str(Path(__file__).resolve().parent))
        test = subprocess.Popen([sys.executable, "-c", held], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(select.select([test.stdout], [], [], 60)[0], "the held test's velk2 window")
            display, xvfb, velk2, socket = json.loads(test.stdout.readline())
            test.send_signal(signal.SIGTERM)
            self.assertNotEqual(test.wait(30), 0, "a terminated test fails")
        finally:
            test.kill()
            test.wait()
            test.stdout.close()

        def running(pid):
            try:
                return Path("/proc/%d/stat" % pid).read_text().split(") ")[1][0] != "Z"
            except (OSError, IndexError):
                return False
        for name, pid in (("Xvfb", xvfb), ("velk2", velk2)):
            e2e.wait_until(lambda: not running(pid), 10, 0.1, "%s (pid %d) to be gone" % (name, pid))
        # Only a server that was asked to end (not killed) takes its socket
        # away; a socket there now is another test's server on the freed
        # display, and the file system may well give it the freed inode, so
        # its creation time tells the two apart.
        path = Path("/tmp/.X11-unix/X" + display[1:])
        try:
            st = path.stat()
            left = [st.st_ino, st.st_ctime_ns] == socket
        except FileNotFoundError:
            left = False
        self.assertFalse(left, "the X server's socket is removed")


if __name__ == "__main__":
    e2e.main()
