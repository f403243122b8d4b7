"""An image drawn where the script put it: scene positions are logical pixels
from the screen centre with y upwards, a picture is centred on its position,
and Transmittance t mixes it as (1 - t) * picture + t * what lies under it."""
import velk2e2e as e2e

BACK = (10, 40, 160)
# Quadrants of the 100x50 picture, each channel distinct from its neighbours.
TOP_LEFT, TOP_RIGHT, BOTTOM_LEFT, BOTTOM_RIGHT = (250, 200, 0), (0, 230, 20), (220, 10, 30), (60, 70, 240)
PIC_W, PIC_H = 100, 50


def quadrant(x, y):
    if y < PIC_H // 2:
        return TOP_LEFT if x < PIC_W // 2 else TOP_RIGHT
    return BOTTOM_LEFT if x < PIC_W // 2 else BOTTOM_RIGHT


START = """Graphic(Layer=1, File="back.png", x=0, y=0)
Graphic(Layer=2, File="pic.png", x=200, y=100)
Graphic(Layer=3, File="pic.png", x=-300, y=-150, Transmittance=0.25)
Apply()
Wait(Time=600000)
"""


def screen_left_top(x, y):
    # The picture's top-left on the logical screen, from its centre position.
    return e2e.LOGICAL_W // 2 + x - PIC_W // 2, e2e.LOGICAL_H // 2 - y - PIC_H // 2


def mix(top, under, t):
    return tuple(round((1 - t) * a + t * b) for a, b in zip(top, under))


class ImagePosition(e2e.TestCase):
    def test_picture_lands_at_its_position(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("pic.png", PIC_W, PIC_H, quadrant)
            p = s.start()
            p.wait_window()
            left, top = screen_left_top(200, 100)
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(left + 25, top + 12), TOP_LEFT, 3), 20, 0.2,
                           "the picture at (%d, %d)" % (left, top))
            shot = p.logical_shot()
            faded_left, faded_top = screen_left_top(-300, -150)

            class Case:
                def __init__(self, name, x, y, colour):
                    self.name, self.x, self.y, self.colour = name, x, y, colour

            cases = [
                Case("top-left corner", left + 1, top + 1, TOP_LEFT),
                Case("top-right corner", left + PIC_W - 2, top + 1, TOP_RIGHT),
                Case("bottom-left corner", left + 1, top + PIC_H - 2, BOTTOM_LEFT),
                Case("bottom-right corner", left + PIC_W - 2, top + PIC_H - 2, BOTTOM_RIGHT),
                Case("left of the picture", left - 2, top + 10, BACK),
                Case("right of the picture", left + PIC_W + 1, top + 10, BACK),
                Case("above the picture", left + 10, top - 2, BACK),
                Case("below the picture", left + 10, top + PIC_H + 1, BACK),
                Case("screen corner", 0, 0, BACK),
                Case("faded top-left", faded_left + 10, faded_top + 5, mix(TOP_LEFT, BACK, 0.25)),
                Case("faded bottom-right", faded_left + PIC_W - 10, faded_top + PIC_H - 5,
                     mix(BOTTOM_RIGHT, BACK, 0.25)),
                Case("beside the faded picture", faded_left - 2, faded_top + 5, BACK),
            ]
            for c in cases:
                self.assertTrue(e2e.close_to(shot.pixel(c.x, c.y), c.colour, 4),
                                "%s at (%d, %d): %r, expected %r" % (c.name, c.x, c.y, shot.pixel(c.x, c.y), c.colour))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
