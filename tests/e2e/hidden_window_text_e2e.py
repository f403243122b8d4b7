"""Text written into a box while its window is hidden goes on appearing: ten
characters at 200 ms each are all laid out 2.1 s after they were written, so
a window shown 3 s later shows the whole line in its first picture.

Geometry: the window (blue) stands at scene (0, -200) and its 600 x 200 black
box at (0, 0) inside it, so a point (x, y) of the box lands on logical pixel
(640 + x, 560 - y). The text is in font 9 (the fixed-pitch gothic, 30 pixels);
character i is centred at box x = -300 + 15 + 29.5 i, y = 80 + 15."""
import velk2e2e as e2e

RIM = (20, 40, 160)  # no channel near the white text's
TEXT = "一二三四五六七八九十"
START = """SystemTextSpeed(Speed=200)
Graphic(Layer=100, File="window.png", x=0, y=-200, Hide=1)
Graphic(Layer=100:0, File="box.png", x=0, y=0)
GraphicTextOut(Layer=100:0, Text="%s", FontNo=9)
Apply()
Wait(Time=3000)
GraphicAlter(Layer=100, Hide=0)
Apply()
Wait(Time=600000)
""" % TEXT


def has_ink(shot, i):
    x, y = 640 - 285 + 29.5 * i, 560 - 95
    return any(min(shot.pixel(px, py)) > 100 for py in range(int(y) - 12, int(y) + 13)
               for px in range(int(x) - 10, int(x) + 11))


class HiddenWindowText(e2e.TestCase):
    def test_text_written_while_hidden_is_whole_when_the_window_shows(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("window.png", 700, 260, RIM)
            s.game.png("box.png", 600, 200, (0, 0, 0))
            p = s.start()
            p.wait_window()
            # The first picture that shows the window (its rim below the box).
            shot = e2e.wait_until(lambda: (lambda img: img if e2e.close_to(img.pixel(640, 680), RIM, 4) else None)(
                p.logical_shot()), 20, 0.02, "the window to be shown")
            missing = [i for i in range(len(TEXT)) if not has_ink(shot, i)]
            self.assertEqual(missing, [], "characters not yet shown when the window appeared")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
