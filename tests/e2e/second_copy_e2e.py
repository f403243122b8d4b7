"""A second copy in the same game folder is refused: under a window manager it
shows the "２重起動 Error" box with the warning sign at its left (a yellow
triangle with a black "!") and its Japanese text beside the sign, drawn legibly
(dark ink on the light box, in every character's place), says it on stderr,
and ends with 0 once the player presses Enter, while the first copy plays on.

The player's folder is one copy's too: the same game installed in a second
folder is refused with the same box while the first plays, and the Global the
first copy sets after that start is in "System.dat" when it ends. A game built
with its own folder and identity keeps its files there, each stamped with its
own 16 bytes, and leaves the default folder's files as they were.

With VELK2_E2E_SHOTS set to a folder, the screen with the box is saved there
as second_copy_box.png for a person to look at."""
import os
import shutil
import uuid
from pathlib import Path

import velk2e2e as e2e

CAPTION = "２重起動 Error"
TEXT = "同一アプリケーションが既に起動されています"
START = "// waits for the player\nWait(Time=600000)\n"

# The player unlocks an ending with a key; the screen turns to say so.
VARIABLES = "Variable(Global, Name=ending)\nVariable(Global, Name=runs)\n"
UNLOCK = """KeyWait()
ending = 7
Graphic(Layer=1, File="done.png", x=0, y=0)
Apply()
Wait(Time=600000)
"""
DONE = (40, 160, 90)
# Each run counts itself, leaves its read marks and saves slot 1, then ends.
COUNT = "runs = runs + 1\nPlayDataSave(No=1)\n"
INTEGER = 2

# The settings of the second build the test set-up makes (tests/CMakeLists.txt).
OTHER_FOLDER = Path("Velk2 テスト") / "Other Game"
OTHER_GUID = "00112233-4455-6677-8899-AABBCCDDEEFF"
# The default identity: the GUID {EDB578F3-43DB-4930-A378-846D9A822E3F} in its in-memory order.
DEFAULT_IDENTITY = bytes([0xF3, 0x78, 0xB5, 0xED, 0xDB, 0x43, 0x30, 0x49,
                          0xA3, 0x78, 0x84, 0x6D, 0x9A, 0x82, 0x2E, 0x3F])
# Where each player file carries the identity: after its magic.
IDENTITY_AT = {"System.dat": 16, "Already.dat": 20, "save0001.dat": 16}


def other_game():
    path = os.environ.get("VELK2_OTHER_GAME") or str(Path(e2e.binary()).parent / "tests" / "velk2_other_game")
    if not os.access(path, os.X_OK):
        raise RuntimeError("the second build is not at %s (set VELK2_OTHER_GAME)" % path)
    return os.path.abspath(path)


def luma(c):
    return (3 * c[0] + 6 * c[1] + c[2]) / 10


def yellow(c):
    return c[0] > 200 and c[1] > 160 and c[2] < 80


class SecondCopy(e2e.TestCase):
    def test_second_copy_is_refused_with_a_legible_box(self):
        with e2e.Session(self, wm=True) as s:
            s.game.basic(START)
            first = s.start()
            first.wait_window()
            second = s.start()
            box = second.wait_window()  # the box is the second copy's only window
            self.assertTrue(second.alive(), "the box waits for the player")

            # The box as the player sees it: the box's own pixels, the 32-pixel
            # sign 20 pixels in at the top left, then a gap of 12 and the text,
            # one line of 16-pixel ems level with the sign.
            def painted():
                img = second.shot()
                return img if luma(img.pixel(5, 5)) > 230 else None

            img = e2e.wait_until(painted, 10, 0.1, "the box to be painted")
            self.assertTrue(e2e.close_to(img.pixel(5, 5), (255, 255, 255), 2), "light box: %r" % (img.pixel(5, 5),))
            sign = [(x, y) for x in range(img.width) for y in range(img.height // 2) if yellow(img.pixel(x, y))]
            self.assertGreaterEqual(len(sign), 150, "no yellow sign on the box")
            self.assertTrue(all(18 <= x <= 53 and 18 <= y <= 53 for x, y in sign),
                            "yellow outside the sign's square: %r" % ([p for p in sign if not 18 <= p[0] <= 53][:5],))
            self.assertLess(luma(img.pixel(36, 36)), 60, "the sign's \"!\": %r" % (img.pixel(36, 36),))
            text_left = 20 + 32 + 12
            inked = [x for x in range(text_left - 8, img.width)
                     if any(luma(img.pixel(x, y)) < 96 for y in range(20, 56))]
            self.assertTrue(inked, "no dark text on the box")
            first_x, last_x = inked[0], inked[-1]
            self.assertLessEqual(abs(first_x - (text_left + 1)), 3, "the text starts beside the sign")
            # 21 characters, the narrowest kana about half an em: the line
            # is at least 21 half-ems long, and no character's place within
            # it is blank (a gap as wide as an em would be one).
            self.assertGreaterEqual(last_x - first_x, 21 * 8)
            self.assertLessEqual(img.width - 20, last_x + 20, "the box is as wide as its text")
            gaps = [b - a for a, b in zip(inked, inked[1:])]
            self.assertLess(max(gaps), 12, "a blank character in the line")
            dark = sum(1 for x in inked for y in range(20, 56) if luma(img.pixel(x, y)) < 96)
            self.assertGreaterEqual(dark, 21 * 20, "too little ink for 21 characters")
            # Ink only where the text is: the margin above it stays clear.
            self.assertEqual(sum(1 for x in range(img.width) if luma(img.pixel(x, 8)) < 200), 0)

            shots = os.environ.get("VELK2_E2E_SHOTS")
            if shots:
                Path(shots).mkdir(parents=True, exist_ok=True)
                s.screen_shot().save_png(Path(shots) / "second_copy_box.png")

            e2e.wait_until(lambda: "[%s] %s" % (CAPTION, TEXT) in second.stderr(), 5, 0.1, "the box on stderr")
            # Real keys through X, to the box the window manager has made active.
            s.xdotool("windowactivate", "--sync", str(box), check=False)
            s.xdotool("key", "Return")
            self.assertEqual(second.wait_exit(10), 0, second.stderr())
            self.assertTrue(first.alive(), "the first copy plays on")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())


class OnePlayerFolder(e2e.TestCase):
    def test_a_copy_in_another_folder_on_the_same_player_folder_is_refused(self):
        with e2e.Session(self, wm=True) as s:
            s.game.basic(UNLOCK, VARIABLES)
            s.game.png("done.png", e2e.LOGICAL_W, e2e.LOGICAL_H, DONE)
            installed_again = s.tmp / "installed-again"
            shutil.copytree(s.game.root, installed_again)
            first = s.start()
            first.wait_window()
            second = s.start(cwd=installed_again)

            def outcome():
                if "[%s] %s" % (CAPTION, TEXT) in second.stderr():
                    return "refused"
                plays = [w for w, title in second.windows().items() if CAPTION not in title]
                return "plays" if plays else None

            refused = e2e.wait_until(outcome, 20, 0.1, "the second copy to be refused or to play") == "refused"
            if refused:
                box = second.wait_window(title=CAPTION)
                s.xdotool("windowactivate", "--sync", str(box), check=False)
                s.xdotool("key", "Return")
                code = second.wait_exit(10)
            # The first copy plays on: the player brings it to the front and
            # unlocks the ending there.
            def unlocked():
                if e2e.close_to(first.logical_shot().pixel(640, 360), DONE, 3):
                    return True
                s.xdotool("windowactivate", "--sync", str(first.window), check=False)
                s.xdotool("key", "Return")
                return False

            e2e.wait_until(unlocked, 30, 1.0, "the ending to be unlocked")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())
            if not refused:
                # As a copy that was let in would: it ends last.
                second.wait_window()
                second.close_window()
                code = second.wait_exit()
            ending = e2e.system_globals(s.user_file("System.dat").read_bytes()).get("ending", (None, None))[:2]
            self.assertEqual((refused, code, ending), (True, 0, (INTEGER, 7)),
                             "(refused, exit code, the first copy's Global); second stderr: " + second.stderr())

    def test_a_game_built_with_its_own_folder_and_identity_keeps_its_files_there(self):
        with e2e.Session(self) as s:
            s.game.basic(COUNT, VARIABLES)
            other_dir = s.data_home / OTHER_FOLDER

            def run(program=None):
                p = s.start(program=program)
                self.assertEqual(p.wait_exit(60), 0, p.stderr())

            run()
            default_files = {name: s.user_file(name).read_bytes() for name in IDENTITY_AT}
            run(other_game())
            self.assertTrue(other_dir.is_dir(), "no folder %s; the data home holds %s"
                            % (other_dir, sorted(str(p.relative_to(s.data_home)) for p in s.data_home.rglob("*"))))
            other_files = {name: (other_dir / name).read_bytes() for name in IDENTITY_AT}
            run()
            cases = []
            for name, at in IDENTITY_AT.items():
                cases.append(("the default build's %s carries the default identity" % name,
                              default_files[name][at:at + 16], DEFAULT_IDENTITY))
                cases.append(("the other build's %s carries its own identity" % name,
                              other_files[name][at:at + 16], uuid.UUID(OTHER_GUID).bytes_le))
            cases += [
                ("the other game counted from its own start, not the default game's",
                 e2e.system_globals(other_files["System.dat"])["runs"][:2], (INTEGER, 1)),
                ("the default game's Globals outlived the other game's run",
                 e2e.system_globals(s.user_file("System.dat").read_bytes())["runs"][:2], (INTEGER, 2)),
            ]
            for name, got, expected in cases:
                self.assertEqual(got, expected, name)


if __name__ == "__main__":
    e2e.main()
