"""A line of dialogue in the game's main font (font 0, 30 pixels) as a player
sees it: its Japanese characters, kana and punctuation alike, stand one em
apart, as in the face the game was written for.

Geometry: the text box is a 600 x 200 black picture at scene (0, -200); the
line's characters are centred at logical y = 560 - 95 = 465, and each one
advances by its width less half a pixel. With every character 30 wide, "あ、"
repeated puts each あ (and each 、) 2 x 29.5 = 59 pixels after the one before:
the ink of the line repeats itself at that shift. (Kana and punctuation of a
proportional face, 28 and 15 wide, would repeat it at 42.)
"""
import velk2e2e as e2e

LINE = "あ、あ、あ、あ、"
PAIR_PITCH = 2 * (30 - 0.5)
LEFT = 640 - 300  # the box's left edge; the line starts there

START = """Graphic(Layer=100:0, File="box.png", x=0, y=-200)
GraphicTextOut(Layer=100:0, Text="%s", DrawSpeed=0)
Apply()
Wait(Time=600000)
""" % LINE


def column_ink(shot):
    """Per logical column of the line's band, the summed brightness of its ink."""
    return [sum(max(shot.pixel(x, y)) for y in range(465 - 17, 465 + 18)) for x in range(LEFT, LEFT + 300)]


def best_shift(profile, lo, hi, span):
    """The shift in [lo, hi] at which the first `span` columns best repeat."""
    def mismatch(shift):
        return sum(abs(profile[x] - profile[x + shift]) for x in range(span))
    return min(range(lo, hi + 1), key=mismatch)


class DialogueEmPitch(e2e.TestCase):
    def test_japanese_characters_stand_one_em_apart(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("box.png", 600, 200, (0, 0, 0))
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: max(column_ink(p.logical_shot())) > 0, 20, 0.1, "the line to be shown")
            shot = p.logical_shot()
            profile = column_ink(shot)
            inked = [x for x, v in enumerate(profile) if v > 0]
            self.assertLess(inked[0], 30, "the first あ stands in the first em of the line")
            self.assertLess(inked[-1], len(LINE) * 30, "the line ends within eight ems")
            self.assertGreater(inked[-1], (len(LINE) - 1) * 29, "the last 、 stands in the eighth em")
            shift = best_shift(profile, 30, 90, 2 * 59)
            self.assertLessEqual(abs(shift - PAIR_PITCH), 1, "あ、 repeats every %d pixels" % shift)
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
