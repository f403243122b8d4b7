"""The logical screen in a window of any shape: it shows whole, at
min(width / 1280, height / 720) of the window, centred, with black beside it.
A 200x200 square at the screen's centre in a 1000x300 window is
300 / 720 * 200 = 83.3 pixels on each side, and the 1280x720 screen is
1280 * 300 / 720 = 533.3 pixels wide between bands of 233.3 at either side."""
import velk2e2e as e2e

SQUARE = (230, 120, 30)
BACK = (20, 60, 200)
START = """Graphic(Layer=1, File="back.png", x=0, y=0)
Graphic(Layer=2, File="square.png", x=0, y=0)
Apply()
Wait(Time=600000)
"""
W, H = 1000, 300


def run_length(shot, colour, x, y, dx, dy):
    """Pixels of `colour` from (x, y) stepping by (dx, dy), both ways, the
    blended edge pixels counted by how much of the colour they hold."""
    def coverage(pixel):
        # The fraction of the square's red over the background's red.
        return min(1.0, max(0.0, (pixel[0] - BACK[0]) / (colour[0] - BACK[0])))

    total = 0.0
    for sign in (1, -1):
        i = 0 if sign == 1 else 1
        while True:
            px, py = x + sign * i * dx, y + sign * i * dy
            if not (0 <= px < shot.width and 0 <= py < shot.height):
                break
            c = coverage(shot.pixel(px, py))
            total += c
            if c == 0.0:
                break
            i += 1
    return total


class WindowShape(e2e.TestCase):
    def test_a_wide_low_window_shows_the_screen_at_its_height(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("square.png", 200, 200, SQUARE)
            p = s.start()
            window = p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.shot().pixel(640, 360), SQUARE, 3), 20, 0.2, "the square")
            s.xdotool("windowsize", str(window), str(W), str(H))
            e2e.wait_until(lambda: p.geometry()[2:] == (W, H), 20, 0.2, "the window at %dx%d" % (W, H))
            scale = H / e2e.LOGICAL_H
            side = 200 * scale
            band = (W - e2e.LOGICAL_W * scale) / 2

            def measured():
                shot = p.shot()
                return {
                    "square height": run_length(shot, SQUARE, W // 2, H // 2, 0, 1),
                    "square width": run_length(shot, SQUARE, W // 2, H // 2, 1, 0),
                    "left band": shot.pixel(int(band) - 2, H // 2),
                    "screen's left edge": shot.pixel(int(band) + 2, H // 2),
                    "right band": shot.pixel(W - int(band) + 1, H // 2),
                    "screen's top": shot.pixel(W // 2 - 100, 1),
                    "screen's bottom": shot.pixel(W // 2 - 100, H - 2),
                }

            expected = {
                "square height": side, "square width": side,
                "left band": (0, 0, 0), "screen's left edge": BACK, "right band": (0, 0, 0),
                "screen's top": BACK, "screen's bottom": BACK,
            }

            def matches(seen):
                for name, want in expected.items():
                    got = seen[name]
                    ok = abs(got - want) <= 1.5 if isinstance(want, float) else e2e.close_to(got, want, 4)
                    if not ok:
                        return False
                return True

            try:
                e2e.wait_until(lambda: matches(measured()), 20, 0.2, "the screen at the window's height")
            except AssertionError:
                raise AssertionError("in a %dx%d window: %r, expected %r" % (W, H, measured(), expected))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
