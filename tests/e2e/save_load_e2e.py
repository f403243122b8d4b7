"""Save, then load in a new run: the scene, the nomal variables and a playing
loop come back, and the main script carries on from the statement after the
save. The first run saves slot 3; the second run (told apart by a global
variable, kept in "System.dat") draws another scene, changes the variables
and loads the slot."""
import struct

import velk2e2e as e2e

VARIABLES = """Variable(Global, Name=runs)
Variable(Nomal, Name=n)
Variable(Nomal, Name=m)
"""

START = """runs = runs + 1
if (runs = 1) {
    Graphic(Layer=1, File="back.png", x=0, y=0)
    Graphic(Layer=2, File="pic.png", x=-200, y=100)
    Sound(Layer=3, File="loop.wav", Volume=1.0, Loop=-1, Play=1)
    Apply()
    n = 42
    m = n * 2 + 1
    PlayDataSave(No=3, Index="first")
} else {
    Graphic(Layer=1, File="other.png", x=0, y=0)
    Apply()
    n = 7
    m = 7
    PlayDataLoad(No=3)
}
// A load goes on from here with the variables of the save.
if (n = 42) {
    Graphic(Layer=4, File="n.png", x=300, y=-200)
}
if (m = 85) {
    Graphic(Layer=5, File="m.png", x=400, y=-200)
}
Apply()
Wait(Time=600000)
"""

BACK, OTHER, PIC, N_MARK, M_MARK = (20, 50, 140), (0, 120, 40), (230, 180, 10), (240, 20, 200), (30, 220, 220)
LOOP_HZ = 440


def at(x, y):
    """Logical screen pixel of scene position (x, y): the centre of a picture placed there."""
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


class SaveLoad(e2e.TestCase):
    def test_load_in_a_new_run_restores_the_save(self):
        with e2e.Session(self) as s:
            s.game.basic(START, VARIABLES)
            s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("other.png", e2e.LOGICAL_W, e2e.LOGICAL_H, OTHER)
            s.game.png("pic.png", 80, 60, PIC)
            s.game.png("n.png", 40, 40, N_MARK)
            s.game.png("m.png", 40, 40, M_MARK)
            s.game.wav("loop.wav", 0.5, LOOP_HZ, 0.5)
            slot = s.user_file("save0003.dat")

            first = s.start()
            first.wait_window()
            e2e.wait_until(lambda: e2e.close_to(first.logical_shot().pixel(*at(300, -200)), N_MARK, 3), 20, 0.2,
                           "the first run to pass its save")
            self.assertTrue(slot.is_file(), "the save wrote save0003.dat")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())

            second = s.start()
            second.wait_window()
            e2e.wait_until(lambda: e2e.close_to(second.logical_shot().pixel(*at(300, -200)), N_MARK, 3), 30, 0.2,
                           "the second run to show the loaded scene")
            shot = second.logical_shot()
            cases = [
                ("saved background", at(0, 300), BACK),
                ("saved picture", at(-200, 100), PIC),
                ("n restored to 42", at(300, -200), N_MARK),
                ("m restored to 85", at(400, -200), M_MARK),
            ]
            for name, (x, y), colour in cases:
                self.assertTrue(e2e.close_to(shot.pixel(x, y), colour, 3),
                                "%s at (%d, %d): %r, expected %r" % (name, x, y, shot.pixel(x, y), colour))

            # The loop was saved playing: it sounds again after the load and
            # keeps going past the length of its file.
            loaded_at = second.audio().seconds
            e2e.wait_until(lambda: second.audio().seconds > loaded_at + 1.5, 20, 0.2, "1.5 s of audio after the load")
            audio = second.audio()
            for start in (loaded_at + 0.2, loaded_at + 0.7, loaded_at + 1.2):
                level = audio.rms(start, start + 0.2)
                hz = audio.dominant_frequency(start, start + 0.2)
                self.assertGreater(level, 0.1, "loop level %.1f s after the load" % (start - loaded_at))
                self.assertAlmostEqual(hz, LOOP_HZ, delta=30, msg="loop pitch %.1f s after the load" % (start - loaded_at))
            second.close_window()
            self.assertEqual(second.wait_exit(), 0, second.stderr())


# The first run saves a quick save (slot 0), then two autosaves whose slot is
# a Global; the second run loads the first autosave, the third the quick
# save. Each load goes on after the save it took; none saves again.
ROTATING = """runs = runs + 1
if (runs = 1) {
    Graphic(Layer=1, File="one.png", x=0, y=0)
    Apply()
    PlayDataSave(No=0, Index="quick")
    if (runs = 1) {
        slotNo = 1
        PlayDataSave(No=slotNo, Index="auto")
    }
    if (runs = 1) {
        Graphic(Layer=1, File="two.png", x=0, y=0)
        Apply()
        slotNo = 2
        PlayDataSave(No=slotNo, Index="auto")
    }
} else {
    Graphic(Layer=1, File="other.png", x=0, y=0)
    Apply()
    if (runs = 2) {
        PlayDataLoad(No=1)
    }
    PlayDataLoad(No=0)
}
Graphic(Layer=5, File="n.png", x=300, y=-200)
Apply()
Wait(Time=600000)
"""

# A menu run as an interrupt makes a quick save, six times over.
MENU_LOOP = """count = 0
Graphic(Layer=1, File="one.png", x=0, y=0)
Apply()
#again
ScriptCall(File="menu.qvs", Interrupt=1)
count = count + 1
if (count < 6) { ScriptJump(Label=#again) }
Graphic(Layer=5, File="n.png", x=300, y=-200)
Apply()
Wait(Time=600000)
"""
MENU = 'PlayDataSave(No=0, Index="from the menu")\n'


# A game saved before a choice; the choice, shown with its own layer, loads
# that save. The restored page has no such layer and waits for a click.
CHOICE_LOAD = """Graphic(Layer=1, File="one.png", x=0, y=0)
Apply()
PlayDataSave(No=1, Index="before the choice")
if (loads = 0) {
    Graphic(Layer=200, File="panel.png", x=0, y=0)
    Graphic(Layer=200:1, File="button.png", x=0, y=0)
    Apply()
    Select(GraphicLayer=200, CursorMoveType=2) {
        Case(GraphicLayer=200:1) {
            loads = loads + 1
            PlayDataLoad(No=1)
        }
    }
}
Graphic(Layer=4, File="m.png", x=300, y=-200)
Apply()
KeyWait()
Graphic(Layer=5, File="n.png", x=300, y=-200)
Apply()
Wait(Time=600000)
"""


def field(data, offset):
    return struct.unpack_from("<Q", data, offset)[0]


class Slots(e2e.TestCase):
    def test_a_load_goes_on_after_the_save_and_leaves_every_slot_as_it_was(self):
        with e2e.Session(self) as s:
            s.game.basic(ROTATING, "Variable(Global, Name=runs)\nVariable(Global, Name=slotNo)\n")
            for name, colour in (("one.png", BACK), ("two.png", PIC), ("other.png", OTHER)):
                s.game.png(name, e2e.LOGICAL_W, e2e.LOGICAL_H, colour)
            s.game.png("n.png", 40, 40, N_MARK)
            slots = [s.user_file("save%04d.dat" % n) for n in range(3)]

            def run(screen, what):
                p = s.start()
                p.wait_window()
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*at(300, -200)), N_MARK, 3) and
                               e2e.close_to(p.logical_shot().pixel(*at(0, 300)), screen, 3), 30, 0.2, what)
                return p

            first = run(PIC, "the first run to pass its saves")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())
            saved = [slot.read_bytes() for slot in slots]
            self.assertNotEqual(field(saved[1], 992), 0, "the autosave carries the quick save")

            for loaded, what in ((1, "slot 1, the first autosave"), (0, "slot 0, the quick save")):
                p = run(BACK, "the load of %s to go on after its save" % what)
                p.close_window()
                self.assertEqual(p.wait_exit(), 0, p.stderr())
                for n, slot in enumerate(slots):
                    self.assertTrue(slot.is_file(), "after loading %s, slot %d is there" % (what, n))
                    self.assertEqual(slot.read_bytes(), saved[n], "after loading %s, slot %d as saved" % (what, n))

    def test_a_load_made_from_a_choice_takes_clicks_again(self):
        with e2e.Session(self) as s:
            s.game.basic(CHOICE_LOAD, "Variable(Global, Name=loads)\n")
            s.game.png("one.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("panel.png", 400, 300, OTHER)
            s.game.png("button.png", 200, 100, PIC)
            s.game.png("m.png", 40, 40, M_MARK)
            s.game.png("n.png", 40, 40, N_MARK)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*at(0, 0)), PIC, 3), 30, 0.2, "the choice")
            p.click(*at(0, 0))
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*at(300, -200)), M_MARK, 3) and
                           e2e.close_to(p.logical_shot().pixel(*at(0, 0)), BACK, 3), 30, 0.2,
                           "the load to restore the page before the choice")

            def turned():
                if e2e.close_to(p.logical_shot().pixel(*at(300, -200)), N_MARK, 3):
                    return True
                p.click(*at(-300, 200))
                return False

            e2e.wait_until(turned, 15, 0.5, "a click to turn the restored page")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            self.assertEqual(e2e.system_globals(s.user_file("System.dat").read_bytes())["loads"][1], 1,
                             "the choice loaded once")

    def test_a_quick_save_from_a_menu_holds_no_older_quick_save(self):
        with e2e.Session(self) as s:
            s.game.basic(MENU_LOOP, "Variable(Global, Name=count)\n")
            s.game.script("menu.qvs", MENU)
            s.game.png("one.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("n.png", 40, 40, N_MARK)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*at(300, -200)), N_MARK, 3), 30, 0.2,
                           "six passes through the menu")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            quick = s.user_file("save0000.dat").read_bytes()
            snapshot = s.user_file("save----.dat").read_bytes()
            index = quick[field(quick, 960):field(quick, 960) + field(quick, 968)]
            cases = [
                ("no slot-0 copy inside slot 0", (field(quick, 992), field(quick, 1000)), (0, 0)),
                # The last snapshot holds the fifth quick save; slot 0 is that
                # snapshot without it, so the size stays flat save after save.
                ("slot 0 is the snapshot less its copy", len(quick),
                 len(snapshot) - field(snapshot, 1000) - field(snapshot, 968) + field(quick, 968)),
                ("the menu's index text", index, b"from the menu\0"),
            ]
            for name, got, expected in cases:
                self.assertEqual(got, expected, name)


if __name__ == "__main__":
    e2e.main()
