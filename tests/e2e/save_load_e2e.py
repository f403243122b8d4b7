"""Save, then load in a new run: the scene, the nomal variables and a playing
loop come back, and the main script carries on from the statement after the
save. The first run saves slot 3; the second run (told apart by a global
variable, kept in "System.dat") draws another scene, changes the variables
and loads the slot."""
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


if __name__ == "__main__":
    e2e.main()
