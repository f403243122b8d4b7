"""What a game's writer gets wrong is said on stderr, once, naming the file
and, where a statement asked for it, the script and the line it was written
on; the game plays on as it always did. Several small games: one made of the
usual mistakes (a Unix-ending script with a missing and a corrupt picture, a
missing sound, an undecodable movie, a misspelt command, an undeclared
variable, a call of a missing script and of a missing label, an unterminated
string and a label typo that ends the game), one made of the mistakes that
used to vanish without a word (misspelt argument names, sounds the mixer cannot
play, a font number with no font, a missing character list and glyph picture,
a file too large to read whole, a UTF-8 script without its mark, a text left
open at the very end of a script, an argument past the evaluation budget), a damaged
archive, a missing script's box with its warning sign, an empty main script,
a program whose movie module is not beside it; jumps and calls that name
nothing or never end, a side script whose missing script would box the player
in, and the slips the compiler and the commands can see for sure."""
import os
import re
import shutil
import struct
import time
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

# The second round: names and files that used to vanish without a word.
SECOND = (
    'Graphic(Layr=1, File="pic\\box.png")\n'                                       # 1
    'Wait(Tme=800)\n'                                                               # 2
    'Sound(Layer=10, File="se\\deep.wav", Play=1)\n'                               # 3
    'Sound(Layer=11, File="se\\six.wav", Play=1)\n'                                # 4
    'Graphic(Layer=2, File="pic\\box.png")\n'                                      # 5
    'GraphicTextOut(Layer=2, Text="a", FontNo=7)\n'                                 # 6
    'OrignalCharactorSet(Font=1, List="nolist.txt", DefaultWidth=32, DefaultHigth=32)\n'  # 7
    'GraphicCharactorSet(Font=2, List="list.txt", DefaultWidth=32, DefaultHigth=32)\n'    # 8
    'GraphicTextOut(Layer=2, Text="@f(2)b")\n'                                      # 9
    'Apply()\n'                                                                     # 10
    'Graphic(Layer=3, File="pic\\huge.png")\n'                                     # 11
    'ScriptCall(File="plain.qvs")\n'                                               # 12
    'ScriptCall(File="open.qvs")\n'                                                # 13
    'Wait(Time=' + ' + '.join(['1'] * 9000) + ')\n'                                  # 14
    'Wait(Time=1500)\n'                                                             # 15
)

# (script and line, the start of what is said) of each report.
SECOND_MISTAKES = [
    ("Start.qvs, line 1", 'the command "Graphic" has no argument "Layr"'),
    ("Start.qvs, line 2", 'the command "Wait" has no argument "Tme"'),
    ("Start.qvs, line 3", 'the sound "se\\deep.wav" is 24-bit, 2-channel'),
    ("Start.qvs, line 4", 'the sound "se\\six.wav" is 16-bit, 6-channel'),
    ("Start.qvs, line 6", "the font number 7 has no font"),
    ("Start.qvs, line 7", 'the character list "nolist.txt" is missing'),
    ("Start.qvs, line 8", 'the glyph picture "glyph\\b.png" of "b" in font 2 is missing'),
    ("Start.qvs, line 11", 'the file "pic\\huge.png" is larger than the 256 MiB'),
    ("plain.qvs, line 2", "the script has no byte-order mark, yet its text is UTF-8"),
    ("Start.qvs, line 14", "an argument's value is beyond what one statement may evaluate; the argument takes "
                           "its default and the command runs"),
]

# Jumps and calls that name nothing, and calls that would never end. Each
# line's number is in the comment after it.
NOWHERE = (
    'starts = starts + 1\n'                  # 1
    'ScriptJump(Label="#Two")\n'             # 2
    'skipped = 1\n'                          # 3
    '#Two\n'                                 # 4
    'ScriptJump(Label="Nowhere")\n'          # 5
    'ScriptCall()\n'                         # 6
    'ScriptCall(File="self.qvs")\n'          # 7
    'ScriptCall(File="ping.qvs")\n'          # 8
    'ScriptJump(Label=Chapter2)\n'           # 9
    'after = 1\n'                            # 10
)
NOWHERE_NAMES = "".join('Variable(Global, Name=%s)\n' % name
                        for name in ("starts", "skipped", "after", "selfCalls", "pings"))
NOWHERE_MISTAKES = [
    'Start.qvs, line 5: no label "Nowhere" in "Start.qvs"; nothing happens (a label starts with "#")',
    'Start.qvs, line 6: "ScriptCall" names no script and no label; nothing is called',
    "self.qvs, line 2: calls are nested as deep as they may go; this one was not made",
    "ping.qvs, line 2: calls are nested as deep as they may go; this one was not made",
    'Start.qvs, line 9: the label "Chapter2" is written without its "#"',
    'Start.qvs, line 9: "ScriptJump" names no script and no label; nothing happens',
]

# Slips the compiler or a command sees for sure.
THIRD = (
    'Graphic(Layer=1, File="op.mp4")\n'      # 1
    'Apply()\n'                              # 2
    'ScriptCall(File="pipe.qvs")\n'          # 3
    'PlayDataSave(No=-1)\n'                  # 4
    'PlayDataSave(No=10000)\n'               # 5
    'PlayDataCheck(No=2147483648)\n'         # 6
    'if (score == 1) {\n'                    # 7
    '}\n'                                    # 8
    'if ("\uff41" = "\uff41") {\n'           # 9
    '}\n'                                    # 10
    'Wait(500, SkipOn)\n'                    # 11
    'x = 1e+308\n'                           # 12
    'Wait(Time=1.5e3)\n'                     # 13
    'Wait(Time=1500)\n'                      # 14
)
THIRD_NAMES = 'Variable(Nomal, Name=score)\nVariable(Nomal, Name=x)\nVariable(Global, Name=Wait)\n'
THIRD_MISTAKES = [
    ("Start.qvs, line 1", 'the picture "op.mp4" cannot be decoded: PNG, JPEG, BMP, TGA and DDS pictures are '
                          'shown; a movie plays only from a file ending in ".avi", ".wmv" or ".mpg"'),
    ("Start.qvs, line 3", 'the script "pipe.qvs" is a pipe, not a file; it is not read'),
    ("Start.qvs, line 4", 'the slot number -1 is outside 0 to 9999; the slot is the file "save-0001.dat"'),
    ("Start.qvs, line 5", 'the slot number 10000 is outside 0 to 9999; the slot is the file "save10000.dat"'),
    ("Start.qvs, line 6", 'the slot number 2147483648 is outside 0 to 9999; the slot is the file '
                          '"save2147483648.dat"'),
    ("Start.qvs, line 7", '"==" is no operator'),
    ("Start.qvs, line 9", "an expression that starts with a text joins its values"),
    ("Start.qvs, line 11", 'the command "Wait" is given values by name and by position'),
    ("Start.qvs, line 12", 'the number "1e+308" is read as 1'),
    ("Start.qvs, line 13", 'the number "1.5e3" is read as 1.5'),
    ("Variable.qvs, line 3", 'the variable "Wait" is named like a command'),
]


def pcm_wav(bits, channels, rate=22050, seconds=0.5):
    """A silent PCM WAVE of any sample size and channel count."""
    block = channels * bits // 8
    data = bytes(int(rate * seconds) * block)
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * block, block, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


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

    def test_jumps_and_calls_that_name_nothing_or_never_end_are_said_and_play_on(self):
        with e2e.Session(self) as s:
            s.game.basic(NOWHERE, NOWHERE_NAMES)
            s.game.script("self.qvs", 'selfCalls = selfCalls + 1\nScriptCall(File="self.qvs")\n')
            # Two scripts that call each other, each from its last statement.
            s.game.script("ping.qvs", 'pings = pings + 1\nScriptCall(File="pong.qvs")\n')
            s.game.script("pong.qvs", 'ScriptCall(File="ping.qvs")\n')
            p = s.start(env={"VELK2_DIALOGS": "stderr"})
            # Nothing runs for ever: the main script reaches its end and the program ends.
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            self.check_said_once(p.stderr(), NOWHERE_MISTAKES)
            said = {name: value[1] for name, value in e2e.system_globals(s.user_file("System.dat").read_bytes()).items()}
            # The main script ran once from its top, jumped over line 3 and went on after every call.
            self.assertEqual(said.get("starts"), 1, said)
            self.assertEqual(said.get("skipped", 0), 0, said)
            self.assertEqual(said.get("after"), 1, said)
            # Calls nest 1000 frames deep, the main script's first: self.qvs runs in frames 2 to
            # 1000, ping.qvs in the even ones of them.
            self.assertEqual(said.get("selfCalls"), 999, said)
            self.assertEqual(said.get("pings"), 500, said)

    def test_a_missing_script_a_side_script_asks_for_again_and_again_shows_one_box(self):
        with e2e.Session(self) as s:
            s.game.basic("Wait(Time=4000)\n")
            # The side script ends by its jump and is started again every 0.1 s.
            s.game.script("system/Function.qvs", 'ScriptJump(File="scenario\\gone.qvs")\n')
            p = s.start(env={"VELK2_DIALOGS": "stderr"})
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            said = p.stderr()
            boxes = re.findall(r"^\[ReadFile Access Error\] filename:(.*)$", said, re.M)
            self.assertEqual(boxes, ["scenario\\gone.qvs"], said)
            # Once a minute at most, with a count: within the 4 s only the first repeat is said.
            self.check_said_once(said, ['the script "scenario\\gone.qvs" cannot be read',
                                        'the "ReadFile Access Error" box for "scenario\\gone.qvs" is not shown '
                                        'again: 1 more time'])

    def test_slips_the_compiler_and_the_commands_see_are_said(self):
        with e2e.Session(self) as s:
            s.game.basic(THIRD, THIRD_NAMES)
            s.game.file("op.mp4", b"\x00\x00\x00\x18ftypmp42" + bytes(4096))
            os.mkfifo(s.game.path("pipe.qvs"))
            p = s.start(env={"VELK2_DIALOGS": "stderr"})
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            self.check_said_once(p.stderr(), ["%s: %s" % where_what for where_what in THIRD_MISTAKES])
            # The slots keep the files they always had.
            self.assertTrue(s.user_file("save-0001.dat").is_file())
            self.assertTrue(s.user_file("save10000.dat").is_file())

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

    def test_names_and_files_that_used_to_vanish_are_said(self):
        with e2e.Session(self) as s:
            s.game.basic(SECOND)
            s.game.png("pic/box.png", 400, 100, (0, 0, 0))
            s.game.file("se/deep.wav", pcm_wav(24, 2))
            s.game.file("se/six.wav", pcm_wav(16, 6))
            s.game.script("list.txt", "62,glyph\\b.png\n")
            # A picture far larger than a game file may be, which costs no disk.
            os.truncate(s.game.file("pic/huge.png", b""), (300 << 20))
            s.game.script("plain.qvs", "Wait(Time=10)\n// \u5f71\u306e\u8a18\u9332\n", encoding="utf-8")
            # A text left open on a last line that has no line end.
            s.game.script("open.qvs", "Wait(Time=10)\r\nGraphicTextOut(Layer=2, Text=\"open")
            p = s.start(env={"VELK2_DIALOGS": "stderr"})
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            said = p.stderr()
            # The file too large to read is said once, not again as a picture that is missing.
            self.check_said_once(said, ["%s: %s" % where_what for where_what in SECOND_MISTAKES])
            self.assertNotIn('"Tme" is not declared', said, "the argument is named, not taken for a variable")
            self.assertIn("[Test Terminator Not Found] filename:open.qvs\nline:2\n", said)

    def test_a_missing_script_box_shows_the_warning_sign(self):
        with e2e.Session(self, wm=True) as s:
            s.game.basic('ScriptCall(File="scenario\\nothere.qvs")\nWait(Time=600000)\n')
            p = s.start()
            p.wait_window(title="ReadFile Access Error")

            def painted():
                img = p.shot()
                return img if sum(img.pixel(5, 5)) > 3 * 230 else None

            img = e2e.wait_until(painted, 10, 0.1, "the box to be painted")
            # The sign: a yellow triangle in the 32-pixel square 20 pixels in, a black "!" in its middle.
            sign = [(x, y) for x in range(img.width) for y in range(img.height // 2)
                    if img.pixel(x, y)[0] > 200 and img.pixel(x, y)[1] > 160 and img.pixel(x, y)[2] < 80]
            self.assertGreaterEqual(len(sign), 150, "no yellow sign on the box")
            self.assertTrue(all(18 <= x <= 53 and 18 <= y <= 53 for x, y in sign), sign[:5])
            self.assertLess(sum(img.pixel(36, 36)), 3 * 60, "the sign's \"!\": %r" % (img.pixel(36, 36),))
            p.kill()

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
            # One box, naming the archive, before the program says it ends.
            boxes = re.findall(r"^\[ReadFile Access Error\] (.*)$", said, re.M)
            self.assertEqual(boxes, ["filename:data01.qvc"], said)
            box = said.index("[ReadFile Access Error]")
            self.assertIn("The archive is damaged and cannot be read.", said[box:box + 200])
            self.assertLess(box, said.index('the main script "Start.qvs"'), said)

    def test_an_empty_main_script_is_said_and_the_program_ends(self):
        with e2e.Session(self) as s:
            s.game.basic("")
            s.game.file("Start.qvs", b"")
            p = s.start()
            self.assertEqual(p.wait_exit(30), 0, p.stderr())
            self.check_said_once(p.stderr(), ['the script "Start.qvs" is empty', 'the main script "Start.qvs"'])

    def test_a_side_scripts_box_does_not_outlast_the_main_scripts_end(self):
        # "system\ExitFunction.qvs" is missing: its box opens beside the game.
        # The main script then names its window "ending" and ends: the program
        # ends, and the box, which nobody could act on any more, goes at once
        # rather than standing over the ending program until it is gone.
        with e2e.Session(self, wm=True) as s:
            s.game.basic('Wait(Time=1500)\nWindowTitle(Text="ending")\n')
            s.game.path("system/ExitFunction.qvs").unlink()
            p = s.start()
            e2e.wait_until(lambda: "ReadFile Access Error" in p.windows().values(), 20, 0.05,
                           "the missing script's box")
            e2e.wait_until(lambda: "ending" in p.windows().values() or not p.alive(), 20, 0.02,
                           "the main script's last statement")
            ended = time.monotonic()
            while p.alive() and time.monotonic() - ended < 10:
                if "ReadFile Access Error" in p.windows().values():
                    self.assertLess(time.monotonic() - ended, 0.6, "the box stands over the ending program")
                time.sleep(0.02)
            self.assertEqual(p.wait_exit(10), 0, p.stderr())
            self.assertIn('the script "system\\ExitFunction.qvs" cannot be read', p.stderr())

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
