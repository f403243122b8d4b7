"""The window's icon is icon resource 101, built into the program from
resources/icons/101.png: the window carries it (its _NET_WM_ICON) from the
start, "WindowIcon" with No 65637 (resource 101 in the low 16 bits) keeps it,
and a number without a resource leaves the icon as it is while the game plays
on."""
import struct
import zlib
from pathlib import Path

import velk2e2e as e2e

ICON = Path(__file__).resolve().parents[2] / "resources" / "icons" / "101.png"

START = """// asks for the window's own icon by a number with high bits, then for one the program lacks
WindowIcon(No=65637)
WindowIcon(No=7)
Graphic(Layer=1, File="done.png", x=0, y=0)
Apply()
Wait(Time=600000)
"""
DONE = (30, 140, 220)


def decode_png(data):
    """(width, height, [(r, g, b, a)] top row first) of an 8-bit RGBA PNG
    whose rows are unfiltered, as scripts/make-icon.py writes it."""
    width, height = struct.unpack(">II", data[16:24])
    assert data[24:26] == b"\x08\x06", "8-bit RGBA"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(idat)
    pixels = []
    stride = 1 + 4 * width
    for y in range(height):
        row = raw[y * stride:(y + 1) * stride]
        assert row[0] == 0, "unfiltered rows"
        pixels.extend(tuple(row[1 + 4 * x:5 + 4 * x]) for x in range(width))
    return width, height, pixels


def window_icon(session, window):
    """(width, height, [(r, g, b, a)]) of the first image in _NET_WM_ICON."""
    out = session.run(["xprop", "-id", str(window), "-notype", "32c", "_NET_WM_ICON"])
    if "=" not in out:
        return None
    values = [int(v) for v in out.split("=", 1)[1].replace(",", " ").split()]
    width, height = values[0], values[1]
    argb = values[2:2 + width * height]
    return width, height, [((v >> 16) & 255, (v >> 8) & 255, v & 255, (v >> 24) & 255) for v in argb]


class WindowIcon(e2e.TestCase):
    def test_the_window_carries_icon_101(self):
        width, height, expected = decode_png(ICON.read_bytes())
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("done.png", e2e.LOGICAL_W, e2e.LOGICAL_H, DONE)
            p = s.start()
            window = p.wait_window()
            # The script has run past both "WindowIcon" lines once its picture shows.
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 360), DONE, 3), 20, 0.2,
                           "the script's picture")
            icon = e2e.wait_until(lambda: window_icon(s, window), 5, 0.1, "the window's icon")
            self.assertEqual(icon[:2], (width, height))
            # Opaque pixels match exactly; transparent ones only in their alpha.
            for i, (got, want) in enumerate(zip(icon[2], expected)):
                if want[3] == 255:
                    self.assertEqual(got, want, "pixel (%d, %d)" % (i % width, i // width))
                else:
                    self.assertEqual(got[3], want[3], "alpha of pixel (%d, %d)" % (i % width, i // width))
            self.assertTrue(p.alive())
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
