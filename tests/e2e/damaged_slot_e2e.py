"""A damaged slot loaded by a script changes nothing. The first run saves
slots 0 and 1; the slot-1 file is then cut to its 1008-byte header, as a save
cut off by a full disk or a kill leaves it. The second run draws another
scene, sets a variable and loads slot 1: the scene and the variable stay,
the scripts go on without a restart, and "save0000.dat" is still there."""
import velk2e2e as e2e

VARIABLES = """Variable(Global, Name=runs)
Variable(Nomal, Name=n)
"""

START = """runs = runs + 1
if (runs = 1) {
    Graphic(Layer=1, File="back.png", x=0, y=0)
    Apply()
    n = 1
    PlayDataSave(No=0)
    PlayDataSave(No=1)
    Graphic(Layer=2, File="saved.png", x=300, y=-200)
    Apply()
} else {
    Graphic(Layer=1, File="other.png", x=0, y=0)
    Apply()
    n = 5
    PlayDataLoad(No=1)
    if (n = 5) {
        Graphic(Layer=2, File="kept.png", x=-300, y=-200)
    }
    Apply()
}
Wait(Time=600000)
"""

BACK, OTHER, SAVED, KEPT = (20, 50, 140), (0, 120, 40), (240, 20, 200), (230, 180, 10)


def at(x, y):
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


class DamagedSlot(e2e.TestCase):
    def test_loading_a_cut_slot_changes_nothing(self):
        with e2e.Session(self) as s:
            s.game.basic(START, VARIABLES)
            s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("other.png", e2e.LOGICAL_W, e2e.LOGICAL_H, OTHER)
            s.game.png("saved.png", 40, 40, SAVED)
            s.game.png("kept.png", 40, 40, KEPT)
            slot0, slot1 = s.user_file("save0000.dat"), s.user_file("save0001.dat")

            first = s.start()
            first.wait_window()
            e2e.wait_until(lambda: e2e.close_to(first.logical_shot().pixel(*at(300, -200)), SAVED, 3), 20, 0.2,
                           "the first run to pass its saves")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())
            whole = slot1.read_bytes()
            self.assertGreater(len(whole), 1008)
            slot1.write_bytes(whole[:1008])
            zero = slot0.read_bytes()

            second = s.start()
            second.wait_window()
            e2e.wait_until(lambda: e2e.close_to(second.logical_shot().pixel(*at(-300, -200)), KEPT, 3), 20, 0.2,
                           "the second run to go on past the load with n still 5")
            shot = second.logical_shot()
            cases = [
                ("the scene drawn before the load", at(0, 300), OTHER),
                ("the mark drawn because n kept its value", at(-300, -200), KEPT),
                ("nothing of the saved scene", at(300, -200), OTHER),
            ]
            for name, (x, y), colour in cases:
                self.assertTrue(e2e.close_to(shot.pixel(x, y), colour, 3),
                                "%s at (%d, %d): %r, expected %r" % (name, x, y, shot.pixel(x, y), colour))
            self.assertTrue(slot0.is_file(), "save0000.dat is not deleted")
            self.assertEqual(slot0.read_bytes(), zero)
            self.assertEqual(slot1.read_bytes(), whole[:1008])
            second.close_window()
            self.assertEqual(second.wait_exit(), 0, second.stderr())


if __name__ == "__main__":
    e2e.main()
