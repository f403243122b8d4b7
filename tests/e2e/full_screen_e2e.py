"""Full screen at the display's size: Alt+Enter under a window manager on a
1920x1080 screen makes the window cover the display, and the scene is drawn
at 1920x1080, not drawn at 1280x720 and scaled up. A shape placed by the
script has crisp edges exactly where the camera's arithmetic at that size
puts them; a scaled-up picture would smear each edge over two pixels."""
import velk2e2e as e2e

SHAPE = (40, 200, 120)  # distinct channels, far from the black around it
W, H = 1920, 1080

# A 200x100 picture centred at scene (300, 100), y up: its corners sit at
# scene x 200..400 and y 50..150, and its quad carries the old half-pixel
# offset (left - 0.5, top + 0.5). At 1.5 screen pixels per unit around the
# screen's centre (960, 540), the left edge is at 960 + 199.5 * 1.5 = 1259.25,
# so pixels 1260..1559 are covered; the top edge at 540 - 150.5 * 1.5 =
# 314.25, so rows 315..464.
START = """// one shape on black, then wait for the player
Graphic(Layer=1, File="shape.png", x=300, y=100)
Apply()
Wait(Time=600000)
"""
INSIDE = ((1260, 315), (1559, 315), (1260, 464), (1559, 464), (1400, 400))
OUTSIDE = ((1259, 400), (1560, 400), (1400, 314), (1400, 465))


class FullScreen(e2e.TestCase):
    def test_alt_enter_draws_the_scene_at_the_display_size(self):
        with e2e.Session(self, screen=(W, H, 24), wm=True) as s:
            s.game.basic(START)
            s.game.png("shape.png", 200, 100, SHAPE)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(940, 260), SHAPE, 3), 20, 0.2,
                           "the shape in the window")
            p.key("alt+Return")
            e2e.wait_until(lambda: p.geometry() == (0, 0, W, H), 20, 0.2, "the window to cover the display")

            def edges_crisp():
                shot = s.screen_shot()
                return (all(e2e.close_to(shot.pixel(x, y), SHAPE, 3) for x, y in INSIDE) and
                        all(e2e.close_to(shot.pixel(x, y), (0, 0, 0), 3) for x, y in OUTSIDE))

            try:
                e2e.wait_until(edges_crisp, 20, 0.2, "the shape's edges at the display's size")
            except AssertionError:
                shot = s.screen_shot()
                detail = {xy: shot.pixel(*xy) for xy in INSIDE + OUTSIDE}
                raise AssertionError("pixels at the shape's edges: %r" % detail)
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
