"""The whole-program harness itself: what the other tests lean on."""

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


if __name__ == "__main__":
    e2e.main()
