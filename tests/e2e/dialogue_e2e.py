"""Two pages of dialogue, as a player reads them: Japanese text with a ruby, a
colour tag, a character drawn from a character list and a full stop that may
not begin a line, shown character by character; Return goes on to the next
page, which is fed in place of the first. The script saves after the second
page, so the backlog it wrote is read back from the slot file: exactly one
entry per page. Last, a line shown while the script skips appears whole at
once, although its speed would take it 18 s (in the font and colour that the
box's own tags left in force: 9 and green).

Geometry: the text box is a 600 x 200 black picture at scene (0, -200), so a
point (x, y) of the box lands on logical pixel (640 + x, 560 - y). The text
is in font 9 (the fixed-pitch gothic, 30 pixels: every full-width character
advances 30); character i of a line is centred at x = -300 + 15 + 29.5 i, its
line at y = 80 + 15. Lines are 30 + 20 apart; lines after the first start 30
further in, because the page begins with an opening bracket. The character
list draws hiragana a of font 0 from a 30 x 30 picture in its own colours.
"""
import struct

import velk2e2e as e2e

# 「@r(漢字,かんじ)の@c(0xFF0000)赤い@c(0xFFFFFF)花と@f(0)あ@f(9)おいの庭で待つ約束をした。次の日も会う」
PAGE1 = ("「@r(漢字,かんじ)の@c(0xFF0000)赤い@c(0xFFFFFF)花と@f(0)あ@f(9)"
         "おいの庭で待つ約束をした。次の日も会う」")
LINE0 = "「漢字の赤い花とあおいの庭で待つ約束をした。"  # 22 characters; the 22nd, 。, hangs past the edge
RED = {4, 5}
LISTED = 8
PAGE2A = "二枚目の頁。"
PAGE2B = "@c(0x00FF00)緑の字"
SKIPPED = "速" * 10

GLYPH = (40, 200, 120)
MARK = (250, 130, 10)

START = """SystemTextSpeed(Speed=20)
GraphicCharactorSet(Font=0, List="chars.txt", DefaultWidth=30, DefaultHigth=30)
Graphic(Layer=100:0, File="box.png", x=0, y=-200)
GraphicTextOut(Layer=100:0, Text="%s", FontNo=9)
Apply()
KeyWait()
PageFeed(Layer=100:0)
GraphicTextOut(Layer=100:0, Text="%s", FontNo=9)
GraphicTextOut(Layer=100:0, Text="%s", FontNo=9)
Apply()
KeyWait()
PageFeed(Layer=100:0)
PlayDataSave(No=1)
SystemControl.SkipPlaying(State=1)
GraphicTextOut(Layer=100:0, Text="%s", DrawSpeed=100)
Apply()
SystemControl.SkipPlaying(State=0)
Graphic(Layer=7, File="mark.png", x=600, y=330)
Apply()
Wait(Time=600000)
""" % (PAGE1, PAGE2A, PAGE2B, SKIPPED)


def centre(i, line=0, indent=0):
    """Logical pixel of the centre of character i of a line of the box."""
    return 640 - 285 + indent + 29.5 * i, 560 - (95 - 50 * line)


def cell_pixels(shot, i, line=0, indent=0, half_width=12, half_height=17):
    x, y = centre(i, line, indent)
    return [shot.pixel(px, py) for py in range(int(y - half_height), int(y + half_height) + 1)
            for px in range(int(x - half_width), int(x + half_width) + 1)]


def ink(pixels, level=40):
    return [p for p in pixels if max(p) > level]


def backlog_of(slot_bytes):
    """The backlog section of a play-data file: entries of zero-ended strings,
    each entry closed by one more zero."""
    offset, size = struct.unpack_from("<QQ", slot_bytes, 928)
    section = slot_bytes[offset:offset + size]
    entries, current, start = [], [], 0
    for at, byte in enumerate(section):
        if byte != 0:
            continue
        text = section[start:at].decode("utf-8")
        start = at + 1
        if text:
            current.append(text)
        else:
            entries.append(current)
            current = []
    return entries


class Dialogue(e2e.TestCase):
    def test_two_pages_a_key_between_them_and_their_backlog(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("box.png", 600, 200, (0, 0, 0))
            s.game.png("glyph/a.png", 30, 30, GLYPH)
            s.game.png("mark.png", 40, 40, MARK)
            s.game.file("chars.txt", b"3042,glyph\\a.png\r\n")
            p = s.start()
            p.wait_window()

            # Page 1 is whole once its full stop, the 22nd character, has faded in.
            e2e.wait_until(lambda: max(map(max, cell_pixels(p.logical_shot(), 21))) > 200, 20, 0.1,
                           "the first page to be shown whole")
            shot = p.logical_shot()
            for i, character in enumerate(LINE0):
                pixels = cell_pixels(shot, i)
                if i == LISTED:
                    x, y = centre(i)
                    got = shot.average(int(x) - 5, int(y) - 5, int(x) + 5, int(y) + 5)
                    self.assertTrue(e2e.close_to(got, GLYPH, 4), "the listed あ draws its picture: %r" % (got,))
                    continue
                lit = ink(pixels)
                self.assertGreater(len(lit), 8, "character %d (%s) shows" % (i, character))
                if i in RED:
                    self.assertTrue(all(g <= 6 and b <= 6 for _r, g, b in lit),
                                    "character %d (%s) is red: %r" % (i, character, lit[:4]))
                else:
                    self.assertTrue(all(max(c) - min(c) <= 6 for c in lit),
                                    "character %d (%s) is white: %r" % (i, character, lit[:4]))
            # 。 stays at the end of the first line, past the box's edge; the
            # next line begins 30 pixels in with 次.
            self.assertGreater(len(ink(cell_pixels(shot, 0, line=1, indent=30))), 8, "次 opens the second line")
            self.assertEqual(ink(cell_pixels(shot, 0, line=1, indent=0, half_width=3)), [],
                             "nothing at the plain start of the second line")
            # The ruby (three kana at half size) stands over 漢字, above the line.
            ruby = [shot.pixel(x, y) for y in range(430, 446) for x in range(640 - 285 - 15, 640 - 285 + 45)]
            self.assertGreater(len(ink(ruby)), 8, "ruby over 漢字")
            quiet = [shot.pixel(x, y) for y in range(430, 446) for x in range(640 - 285 + 80, 640 - 285 + 200)]
            self.assertEqual(ink(quiet), [], "no ruby over the rest of the line")

            p.key("Return")
            e2e.wait_until(lambda: max(map(max, cell_pixels(p.logical_shot(), 8))) > 200, 20, 0.1,
                           "the second page to be shown whole")
            shot = p.logical_shot()
            x, y = centre(LISTED)
            self.assertFalse(e2e.close_to(shot.average(int(x) - 5, int(y) - 5, int(x) + 5, int(y) + 5), GLYPH, 30),
                             "the first page is gone")
            self.assertEqual(ink(cell_pixels(shot, 12)), [], "the second page is nine characters long")
            green = ink(cell_pixels(shot, 6))
            self.assertTrue(green and all(r <= 6 and b <= 6 for r, _g, b in green), "緑 is green: %r" % green[:4])

            p.key("Return")
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(1240, 30), MARK, 3), 20, 0.1,
                           "the script to pass the skipped line")
            shot = p.logical_shot()
            for i in range(len(SKIPPED)):
                self.assertGreater(len(ink(cell_pixels(shot, i))), 8, "skipped character %d shows at once" % i)

            slot = s.user_file("save0001.dat")
            self.assertTrue(slot.is_file(), "the script saved")
            self.assertEqual(backlog_of(slot.read_bytes()), [[PAGE1], [PAGE2A, PAGE2B]])

            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
