"""The sample game's end card, left with a double click: the first click ends
the card and "Restart" brings the title back within a frame or two; the
second lands where the title's "start" button is about to stand. The title
takes no click before it is shown, so the second click starts nothing, and a
click made on the shown title does.

The game is the sample itself, with "start" leading straight into the
ending so the test reaches the end card in seconds."""
import time

import velk2e2e as e2e
from sample_game_e2e import (CORNER, END_CARD, NIGHT_HILL, START, TEXT_WINDOW_LINE2, TITLE_SKY, brightest, copy_game,
                             still_page)


def shows(p, box, colour, tol=10):
    return e2e.close_to(p.logical_shot().average(*box), colour, tol)


class EndCard(e2e.TestCase):
    def test_a_double_click_on_the_end_card_leaves_the_title_standing(self):
        with e2e.Session(self) as s:
            copy_game(s)
            start = s.game.path("Start.qvs")
            start.write_bytes(start.read_bytes().replace(b'ScriptJump(File="scenario\\opening.qvs")',
                                                         b'ScriptJump(File="scenario\\ending.qvs")'))
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: shows(p, *TITLE_SKY), 20, 0.15, "the title")
            time.sleep(1.0)
            p.click(*START)
            e2e.wait_until(lambda: shows(p, CORNER, NIGHT_HILL), 15, 0.15, "the night of the ending")
            # Through the ending's line, once it is all out, with one click
            # away from where the title's buttons stand: a second click would
            # leave the end card before the test has seen it.
            e2e.wait_until(lambda: brightest(p.logical_shot(), TEXT_WINDOW_LINE2) > 200, 15, 0.1,
                           "the ending's line")
            still_page(p)
            p.click(100, 100)
            e2e.wait_until(lambda: shows(p, *END_CARD), 15, 0.1, "the end card")
            # Its text drawn and its key wait waiting: a double click on "start".
            time.sleep(2.5)
            p.move(*START)
            time.sleep(0.3)
            s.xdotool("click", "--repeat", "2", "--delay", "120", "1")
            e2e.wait_until(lambda: shows(p, *TITLE_SKY), 10, 0.1, "the title after the end card")
            deadline = time.monotonic() + 3.0
            while time.monotonic() < deadline:
                self.assertTrue(shows(p, *TITLE_SKY), "the title stays: the second click started no new game")
                time.sleep(0.2)
            p.click(START[0] + 1, START[1])
            e2e.wait_until(lambda: shows(p, CORNER, NIGHT_HILL), 15, 0.15, "a new game from a click on the title")
            p.close_window()
            self.assertEqual(p.wait_exit(15), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
