"""A second copy in the same game folder is refused: under a window manager it
shows the "２重起動 Error" box with the warning sign at its left (a yellow
triangle with a black "!") and its Japanese text beside the sign, drawn legibly
(dark ink on the light box, in every character's place), says it on stderr,
and ends with 0 once the player presses Enter, while the first copy plays on.

With VELK2_E2E_SHOTS set to a folder, the screen with the box is saved there
as second_copy_box.png for a person to look at."""
import os
from pathlib import Path

import velk2e2e as e2e

CAPTION = "２重起動 Error"
TEXT = "同一アプリケーションが既に起動されています"
START = "// waits for the player\nWait(Time=600000)\n"


def luma(c):
    return (3 * c[0] + 6 * c[1] + c[2]) / 10


def yellow(c):
    return c[0] > 200 and c[1] > 160 and c[2] < 80


class SecondCopy(e2e.TestCase):
    def test_second_copy_is_refused_with_a_legible_box(self):
        with e2e.Session(self, wm=True) as s:
            s.game.basic(START)
            first = s.start()
            first.wait_window()
            second = s.start()
            box = second.wait_window()  # the box is the second copy's only window
            self.assertTrue(second.alive(), "the box waits for the player")

            # The box as the player sees it: the box's own pixels, the 32-pixel
            # sign 20 pixels in at the top left, then a gap of 12 and the text,
            # one line of 16-pixel ems level with the sign.
            def painted():
                img = second.shot()
                return img if luma(img.pixel(5, 5)) > 230 else None

            img = e2e.wait_until(painted, 10, 0.1, "the box to be painted")
            self.assertTrue(e2e.close_to(img.pixel(5, 5), (255, 255, 255), 2), "light box: %r" % (img.pixel(5, 5),))
            sign = [(x, y) for x in range(img.width) for y in range(img.height // 2) if yellow(img.pixel(x, y))]
            self.assertGreaterEqual(len(sign), 150, "no yellow sign on the box")
            self.assertTrue(all(18 <= x <= 53 and 18 <= y <= 53 for x, y in sign),
                            "yellow outside the sign's square: %r" % ([p for p in sign if not 18 <= p[0] <= 53][:5],))
            self.assertLess(luma(img.pixel(36, 36)), 60, "the sign's \"!\": %r" % (img.pixel(36, 36),))
            text_left = 20 + 32 + 12
            inked = [x for x in range(text_left - 8, img.width)
                     if any(luma(img.pixel(x, y)) < 96 for y in range(20, 56))]
            self.assertTrue(inked, "no dark text on the box")
            first_x, last_x = inked[0], inked[-1]
            self.assertLessEqual(abs(first_x - (text_left + 1)), 3, "the text starts beside the sign")
            # 21 characters, the narrowest kana about half an em: the line
            # is at least 21 half-ems long, and no character's place within
            # it is blank (a gap as wide as an em would be one).
            self.assertGreaterEqual(last_x - first_x, 21 * 8)
            self.assertLessEqual(img.width - 20, last_x + 20, "the box is as wide as its text")
            gaps = [b - a for a, b in zip(inked, inked[1:])]
            self.assertLess(max(gaps), 12, "a blank character in the line")
            dark = sum(1 for x in inked for y in range(20, 56) if luma(img.pixel(x, y)) < 96)
            self.assertGreaterEqual(dark, 21 * 20, "too little ink for 21 characters")
            # Ink only where the text is: the margin above it stays clear.
            self.assertEqual(sum(1 for x in range(img.width) if luma(img.pixel(x, 8)) < 200), 0)

            shots = os.environ.get("VELK2_E2E_SHOTS")
            if shots:
                Path(shots).mkdir(parents=True, exist_ok=True)
                s.screen_shot().save_png(Path(shots) / "second_copy_box.png")

            e2e.wait_until(lambda: "[%s] %s" % (CAPTION, TEXT) in second.stderr(), 5, 0.1, "the box on stderr")
            # Real keys through X, to the box the window manager has made active.
            s.xdotool("windowactivate", "--sync", str(box), check=False)
            s.xdotool("key", "Return")
            self.assertEqual(second.wait_exit(10), 0, second.stderr())
            self.assertTrue(first.alive(), "the first copy plays on")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())


if __name__ == "__main__":
    e2e.main()
