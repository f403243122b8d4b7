"""A damaged slot loaded by a script changes nothing. The first run plays a
looping sound and saves slots 0 and 1, so slot 1 holds every section: scene,
sound, frames and a copy of slot 0. Copies of slot 1 are then damaged: one
cut to its 1008-byte header, as a save cut off by a full disk or a kill
leaves it, one each with its frames, scene, sound, slot-0 or variables
section zeroed where it stands, the header untouched, one with the compiled
tables of its inner frame flipped and one with the frames inside its slot-0
copy zeroed. The texts of a slot count as much: its backlog section (a line
on the first page) with its closing zero gone or one bit of its offset or
size changed, its last voice or index text without its zero, and the same
in its slot-0 copy, which a load would otherwise write over a good
"save0000.dat". The second run draws another
scene, sets a variable and loads each of them in turn: the scene and the
variable stay, no load restarts the scripts, the game goes on, and
"save0000.dat" is byte for byte what it was."""
import struct

import velk2e2e as e2e

VARIABLES = """Variable(Global, Name=runs)
Variable(Global, Name=loads)
Variable(Nomal, Name=n)
"""

START = """runs = runs + 1
if (runs = 1) {
    Graphic(Layer=1, File="back.png", x=0, y=0)
    Apply()
    Sound(Layer=1, File="tone.wav", Loop=-1, Play=1)
    GraphicTextOut(Layer=100, Text="a line of the first page", DrawSpeed=0)
    n = 1
    PlayDataSave(No=0, Index="quick")
    ScriptCall(Label=#saveOne)
    Graphic(Layer=2, File="saved.png", x=300, y=-200)
    Apply()
} else {
    Graphic(Layer=1, File="other.png", x=0, y=0)
    Apply()
    n = 5
%s    if (n = 5) {
        if (loads = 0) {
            Graphic(Layer=2, File="kept.png", x=-300, y=-200)
        }
    }
    Apply()
}
Wait(Time=600000)
// Saved from a called part, so the slot holds two frames: a damaged inner
// one would otherwise end and leave the outer one to play on.
#saveOne
PlayDataSave(No=1, Index="one")
return
"""
DAMAGED_SLOTS = range(2, 19)
START = START % "".join("    PlayDataLoad(No=%d)\n" % slot for slot in DAMAGED_SLOTS)

# Run after every load that was taken.
PRE_DATA_LOAD = "loads = loads + 1\n"

BACK, OTHER, SAVED, KEPT = (20, 50, 140), (0, 120, 40), (240, 20, 200), (230, 180, 10)


def at(x, y):
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


def field(data, offset):
    return struct.unpack_from("<Q", data, offset)[0]


def zeroed(data, start, end):
    return data[:start] + bytes(end - start) + data[end:]


def flipped(data, start, count):
    return data[:start] + bytes(b ^ 0xFF for b in data[start:start + count]) + data[start + count:]


def with_byte(data, at, value):
    return data[:at] + bytes([value]) + data[at + 1:]


def field_flipped(data, offset, bit):
    return data[:offset] + struct.pack("<Q", field(data, offset) ^ (1 << bit)) + data[offset + 8:]


def text_unended(data, base, field_at):
    """The zero that ends the text section whose offset and size stand at
    field_at in the file starting at base, changed to "x"."""
    return with_byte(data, base + field(data, base + field_at) + field(data, base + field_at + 8) - 1, ord("x"))


class DamagedSlot(e2e.TestCase):
    def test_loading_a_damaged_slot_changes_nothing(self):
        with e2e.Session(self) as s:
            s.game.basic(START, VARIABLES)
            s.game.script("system/PreDataLoad.qvs", PRE_DATA_LOAD)
            s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("other.png", e2e.LOGICAL_W, e2e.LOGICAL_H, OTHER)
            s.game.png("saved.png", 40, 40, SAVED)
            s.game.png("kept.png", 40, 40, KEPT)
            s.game.wav("tone.wav", 1.0, 440, 0.1)
            slot0 = s.user_file("save0000.dat")

            first = s.start()
            first.wait_window()
            e2e.wait_until(lambda: e2e.close_to(first.logical_shot().pixel(*at(300, -200)), SAVED, 3), 20, 0.2,
                           "the first run to pass its saves")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())
            whole = s.user_file("save0001.dat").read_bytes()
            scene, sound, frames, copy = field(whole, 872), field(whole, 888), field(whole, 904), field(whole, 992)
            self.assertTrue(scene and sound and frames and copy, "slot 1 holds every section")
            self.assertGreater(field(whole, 896), 0, "a sound record")
            variables = field(whole, 944)
            self.assertTrue(variables, "slot 1 holds variables")
            for base in (0, copy):
                self.assertTrue(field(whole, base + 928) and field(whole, base + 960) and field(whole, base + 56),
                                "slot 1 and its slot-0 copy hold a backlog, an index and a last voice")
            inner = frames + field(whole, frames)  # the second frame record
            self.assertLess(inner, frames + field(whole, 912), "slot 1 holds two frames")
            image = inner + struct.unpack_from("<I", whole, inner + 16)[0]
            copy_frames = copy + field(whole, copy + 904)
            damaged = {
                2: whole[:1008],
                3: zeroed(whole, frames, frames + field(whole, 912)),
                4: zeroed(whole, scene, scene + field(whole, 880)),
                5: zeroed(whole, sound, frames),  # the records run up to the frames
                6: zeroed(whole, copy, copy + field(whole, 1000)),
                # Damage inside a section whose bounds are kept.
                7: zeroed(whole, variables, variables + field(whole, 952)),
                8: flipped(whole, image + 8, 64),  # the inner frame's compiled tables
                9: zeroed(whole, copy_frames, copy_frames + field(whole, copy + 912)),  # inside the slot-0 copy
                # The texts: the backlog, the last voice, the index.
                10: text_unended(whole, 0, 928),
                11: field_flipped(whole, 936, 0),  # the backlog's size
                12: field_flipped(whole, 928, 1),  # the backlog's offset
                13: text_unended(whole, 0, 56),
                14: text_unended(whole, 0, 960),
                15: text_unended(whole, copy, 928),
                16: text_unended(whole, copy, 56),
                17: text_unended(whole, copy, 960),
                18: field_flipped(whole, copy + 936, 2),  # the copy's backlog size
            }
            self.assertEqual(sorted(damaged), list(DAMAGED_SLOTS))
            for slot, data in damaged.items():
                s.user_file("save%04d.dat" % slot).write_bytes(data)
            zero = slot0.read_bytes()

            second = s.start()
            second.wait_window()
            e2e.wait_until(lambda: e2e.close_to(second.logical_shot().pixel(*at(-300, -200)), KEPT, 3), 20, 0.2,
                           "the second run to go on past the loads with n still 5 and no restart")
            shot = second.logical_shot()
            cases = [
                ("the scene drawn before the loads", at(0, 300), OTHER),
                ("the mark drawn because n kept its value and nothing restarted", at(-300, -200), KEPT),
                ("nothing of the saved scene", at(300, -200), OTHER),
            ]
            for name, (x, y), colour in cases:
                self.assertTrue(e2e.close_to(shot.pixel(x, y), colour, 3),
                                "%s at (%d, %d): %r, expected %r" % (name, x, y, shot.pixel(x, y), colour))
            self.assertTrue(second.alive(), "the game goes on")
            self.assertEqual(slot0.read_bytes(), zero, "save0000.dat is neither deleted nor overwritten")
            for slot, data in damaged.items():
                self.assertEqual(s.user_file("save%04d.dat" % slot).read_bytes(), data, "slot %d" % slot)
            second.close_window()
            self.assertEqual(second.wait_exit(), 0, second.stderr())


if __name__ == "__main__":
    e2e.main()
