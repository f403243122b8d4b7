"""What a game's writer gets wrong is said on stderr, once, naming the file
and, where a statement asked for it, the script and the line it was written
on; the game plays on as it always did. Several small games: one made of the
usual mistakes (a Unix-ending script with a missing and a corrupt picture, a
missing sound, an undecodable movie, a misspelt command, an undeclared
variable, a call of a missing script and of a missing label, an unterminated
string and a label typo that ends the game), a damaged archive, an empty main
script, and a program whose movie module is not beside it."""
import re
import shutil
from pathlib import Path

import velk2e2e as e2e

# Each line of the script is numbered in the comment after it; "\\" is the
# one backslash the writer typed.
START = (
    'Graphic(Layer=1, File="pic\\missing.png")\n'           # 1
    'Graphic(Layer=2, File="pic\\broken.png", x=200)\n'     # 2
    'Sound(Layer=10, File="se\\missing.ogg", Play=1)\n'     # 3
    'Graphic(Layer=3, File="movie\\broken.mpg", x=-200)\n'  # 4
    'Apply()\n'                                             # 5
    'Grapic(Layer=4)\n'                                     # 6
    'score = 1\n'                                           # 7
    'ScriptCall(File="scenario\\nothere.qvs")\n'            # 8
    'ScriptCall(File="sub.qvs", Label=#Nope)\n'             # 9
    'GraphicTextOut(Layer=1, Text="42)\n'                   # 10
    'Wait(Time=1500)\n'                                     # 11
    'ScriptJump(Label=#Nowhere)\n'                          # 12
    'Wait(Time=600000)\n'                                   # 13
)

# (line, file named) of each report, in any order.
MISTAKES = [
    (1, "pic\\missing.png"), (2, "pic\\broken.png"), (3, "se\\missing.ogg"), (4, "movie\\broken.mpg"),
    (6, "Grapic"), (7, "score"), (8, "scenario\\nothere.qvs"), (9, "#Nope"), (12, "#Nowhere"),
]

REPORT = re.compile(r"^velk2: (.*)$", re.M)


def reports(text):
    return REPORT.findall(text)


def build_folder():
    return Path(e2e.binary()).parent


class WriterMistakes(e2e.TestCase):
    def check_said_once(self, said, expected, allowed=()):
        """Each expected text is in exactly one report, and every other report
        is one of those allowed."""
        lines = reports(said)
        for text in expected:
            found = [line for line in lines if text in line]
            self.assertEqual(len(found), 1, "%r said once: %s" % (text, said))
        known = list(expected) + list(allowed)
        unexpected = [line for line in lines if not any(text in line for text in known)]
        self.assertEqual(unexpected, [], said)

    def test_every_mistake_is_named_with_its_script_and_line(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.script("sub.qvs", "#Here\nreturn\n")
            s.game.file("pic/broken.png", b"\x89PNG but no picture at all" * 8)
            s.game.file("movie/broken.mpg", bytes(range(256)) * 64)
            # A pre-converter in the game's folder runs native code: said, whatever it does.
            shutil.copy(build_folder() / "tests" / "preconvert_stub.so", s.game.path("Text2qvs.so"))
            p = s.start(env={"VELK2_DIALOGS": "stderr"})
            # The label typo ends the main script, and with it the program.
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            said = p.stderr()
            expected = ['Start.qvs, line %d: ' % line for line, _ in MISTAKES]
            self.check_said_once(said, expected + ['pre-converter "Text2qvs.so"'])
            for line, name in MISTAKES:
                report = next(r for r in reports(said) if r.startswith("Start.qvs, line %d: " % line))
                self.assertIn('"%s"' % name, report)
            # The boxes name the file as written and the line the string opens on.
            self.assertIn("[ReadFile Access Error] filename:scenario\\nothere.qvs\n", said)
            self.assertIn("[Test Terminator Not Found] filename:Start.qvs\nline:10\n", said)

    def test_a_damaged_archive_is_named_as_damaged(self):
        with e2e.Session(self) as s:
            # Its index offset lies far past the end of its 64 bytes.
            s.game.file("data01.qvc", bytes([0xAB]) * 64)
            p = s.start(env={"VELK2_DIALOGS": "stderr"})
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            said = p.stderr()
            # The side scripts may or may not be asked for before the program ends.
            self.check_said_once(said, ['the archive "data01.qvc" is damaged', 'the script "Variable.qvs"',
                                        'the script "Start.qvs"', 'the main script "Start.qvs"'],
                                 allowed=['the script "system\\'])
            self.assertLess(said.index('"data01.qvc" is damaged'), said.index("[ReadFile Access Error]"),
                            "the archive is named before the scripts it could not give")

    def test_an_empty_main_script_is_said_and_the_program_ends(self):
        with e2e.Session(self) as s:
            s.game.basic("")
            s.game.file("Start.qvs", b"")
            p = s.start()
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            self.check_said_once(p.stderr(), ['the script "Start.qvs" is empty', 'the main script "Start.qvs"'])

    def test_a_missing_movie_module_names_the_file_looked_for(self):
        with e2e.Session(self) as s:
            # A copy of the program with no module beside it.
            alone = s.tmp / "alone"
            alone.mkdir()
            program = shutil.copy(e2e.binary(), alone / "velk2")
            s.game.basic('Graphic(Layer=1, File="op.mpg")\nApply()\nWait(Time=1500)\n')
            s.game.file("op.mpg", b"\x00\x00\x01\xba" + bytes(4096))
            p = s.start(program=str(program))
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            self.check_said_once(p.stderr(), ['Start.qvs, line 1: the movie module "%s"' % (alone / "velk2_movie.so")])
            self.assertIn('"op.mpg"', p.stderr())


if __name__ == "__main__":
    e2e.main()
