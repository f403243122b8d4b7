"""A save that cannot be written: the file error box ("WriteFile Access
Error", its text on stderr where no one can answer it) and the old slot kept
byte for byte. The first run saves slot 1; the second runs under a file-size
limit far below a save's size, so every write of a new file stops short
(EFBIG), as on a full disk, and saves a changed scene to the same slot forty
times over: one box and one line on stderr say it, not one line a try."""
import velk2e2e as e2e

VARIABLES = "Variable(Global, Name=runs)\nVariable(Nomal, Name=tries)\n"

# The second run saves 40 times over, as a game saving in a loop would.
START = """runs = runs + 1
Graphic(Layer=1, File="back.png", x=0, y=0)
Apply()
if (runs = 1) {
    PlayDataSave(No=1, Index="old")
} else {
    Graphic(Layer=3, File="other.png", x=-300, y=-200)
    Apply()
}
#again
if (runs > 1) {
    if (tries < 40) {
        PlayDataSave(No=1, Index="new")
        tries = tries + 1
        ScriptJump(Label=#again)
    }
}
// Past the save, failed or not, the game goes on.
Graphic(Layer=2, File="mark.png", x=300, y=-200)
Apply()
Wait(Time=600000)
"""

BACK, OTHER, MARK = (20, 50, 140), (0, 120, 40), (240, 20, 200)
# A save is a 1008-byte header and its sections: well past this.
FILE_SIZE_LIMIT = 1024


def at(x, y):
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


QUIET = {"SDL_AUDIODRIVER": "dummy", "VELK2_DIALOGS": "stderr", "MESA_SHADER_CACHE_DISABLE": "true"}


def first_run(test, s, start):
    """Writes the game and plays its first run, with room on the disk, to the
    mark it shows once its saves are made."""
    s.game.basic(start, VARIABLES)
    s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
    s.game.png("other.png", 80, 60, OTHER)
    s.game.png("mark.png", 40, 40, MARK)
    first = s.start(env=QUIET)
    first.wait_window()
    e2e.wait_until(lambda: e2e.close_to(first.logical_shot().pixel(*at(300, -200)), MARK, 3), 20, 0.2,
                   "the first run to pass its saves")
    first.close_window()
    test.assertEqual(first.wait_exit(), 0, first.stderr())


class FullDiskSave(e2e.TestCase):
    def test_a_failed_save_shows_the_box_and_keeps_the_old_slot(self):
        with e2e.Session(self) as s:
            first_run(self, s, START)
            slot = s.user_file("save0001.dat")
            old = slot.read_bytes()
            self.assertGreater(len(old), FILE_SIZE_LIMIT, "the save must not fit under the limit")

            second = s.start(env=QUIET, file_size_limit=FILE_SIZE_LIMIT)
            second.wait_window()
            e2e.wait_until(lambda: e2e.close_to(second.logical_shot().pixel(*at(-300, -200)), OTHER, 3) and
                           e2e.close_to(second.logical_shot().pixel(*at(300, -200)), MARK, 3), 20, 0.2,
                           "the second run to pass its failed save")
            self.assertTrue(second.alive(), "a failed write must not end the game")
            said = second.stderr()
            cases = [
                ("the box's caption", "[WriteFile Access Error]"),
                ("the file it names", "filename:%s" % slot),
                ("the error, EFBIG", "errorcode:27"),
            ]
            for name, text in cases:
                self.assertIn(text, said, name)
            # Forty failures within the minute: one box, then one line, the
            # rest counted for the next minute's line.
            self.assertEqual(said.count("[WriteFile Access Error]"), 1, said)
            self.assertEqual(said.count("was not written"), 1, said)
            self.assertEqual(slot.read_bytes(), old, "the old slot, byte for byte")
            left = sorted(p.name for p in s.user_dir.iterdir() if ".tmp-" in p.name)
            self.assertEqual(left, [], "no temporary file left behind")
            second.close_window()
            self.assertEqual(second.wait_exit(), 0, second.stderr())


# The first run saves quick save A (slot 0), slot 1 (carrying A), then quick
# save B over A. The second run, on a full disk, loads slot 1: A cannot be
# put back, and B must not be lost for it.
QUICK = """runs = runs + 1
if (runs = 1) {
    Graphic(Layer=1, File="back.png", x=0, y=0)
    Apply()
    PlayDataSave(No=0, Index="A")
    PlayDataSave(No=1)
    if (runs = 1) {
        Graphic(Layer=3, File="other.png", x=-300, y=-200)
        Apply()
        PlayDataSave(No=0, Index="B")
    }
} else {
    PlayDataLoad(No=1)
}
Graphic(Layer=2, File="mark.png", x=300, y=-200)
Apply()
Wait(Time=600000)
"""


class FullDiskLoad(e2e.TestCase):
    def test_a_load_on_a_full_disk_keeps_the_quick_save(self):
        with e2e.Session(self) as s:
            first_run(self, s, QUICK)
            quick = s.user_file("save0000.dat")
            b = quick.read_bytes()

            second = s.start(env=QUIET, file_size_limit=FILE_SIZE_LIMIT)
            second.wait_window()
            # The load took slot 1: its scene has no "other" picture.
            e2e.wait_until(lambda: e2e.close_to(second.logical_shot().pixel(*at(300, -200)), MARK, 3) and
                           e2e.close_to(second.logical_shot().pixel(*at(-300, -200)), BACK, 3), 30, 0.2,
                           "the second run to load slot 1 and go on")
            e2e.wait_until(lambda: "filename:%s" % quick in second.stderr(), 20, 0.2,
                           "the quick save that could not be put back to be reported")
            self.assertTrue(second.alive(), "a failed write must not end the game")
            self.assertEqual(quick.read_bytes(), b, "quick save B, byte for byte")
            second.close_window()
            self.assertEqual(second.wait_exit(), 0, second.stderr())


if __name__ == "__main__":
    e2e.main()
