"""The backlog in the real program: after three voiced pages, the wheel in
the key wait opens "system\\History.qvs", whose "History" shows the last
three pages with a voice button each; the wheel scrolls one page back, a
row's voice button replays that page's voice, and the back button returns
to the same key wait, which the next click ends.

Opened by a menu key in "system\\Function.qvs" instead, the screen shows the
same voice button and keeps the player's input to itself: Enter and a stray
click, which it does not use, do not move the main script on behind it."""
import time

import velk2e2e as e2e

ROW = (40, 40, 80)
VOICE_OFF, VOICE_ON = (230, 60, 60), (250, 140, 140)
KNOB = (200, 200, 40)
BACK = (60, 160, 60)
DONE = (0, 200, 90)
VOICE_HZ = {1: 300, 2: 600, 3: 900}

PAGE = """PageFeed(Layer=100:0)
Sound(Layer=20, File="v{n}.wav", Play=1)
GraphicTextOut(Layer=100:0, Text="page {n}", DrawSpeed=0)
KeyWait()
"""

START = ("""SoundGroup(No=3, SoundNoStart=20, SoundNoLast=39)
SoundGroupAutomodeSkip(No=3, Value=1)
Graphic(Layer=100, File="window.png", y=-250)
Graphic(Layer=100:0, File="textbox.png")
Apply()
""" + "".join(PAGE.format(n=n) for n in (1, 2, 3)) + """Graphic(Layer=5, File="done.png")
Apply()
Wait(Time=600000)
""")

HISTORY = """Graphic(Layer=120, File="system\\\\backlog.png")
Graphic(Layer=120:1, File="system\\\\backlog_bar_off.png", x=598.5, y=-278.5)
Graphic(Layer=120:2, File="system\\\\backlog_back_off.png", x=560, y=300)
Graphic(Layer=120:11, File="system\\\\backlog_row.png")
Graphic(Layer=120:12, File="system\\\\backlog_row.png")
Graphic(Layer=120:13, File="system\\\\backlog_row.png")
Graphic(Layer=120:11:0, File="system\\\\backlog_voice_off.png", x=-450, Hide=1)
Graphic(Layer=120:12:0, File="system\\\\backlog_voice_off.png", x=-450, Hide=1)
Graphic(Layer=120:13:0, File="system\\\\backlog_voice_off.png", x=-450, Hide=1)
Apply()
History()
GraphicDelete(Layer=120)
Apply()
"""

FUNCTION_HISTORY = """Select {
    Case(InKey=72) {
        ScriptCall(File="system\\\\History.qvs")
    }
}
"""


def make_game(game):
    game.basic(START)
    game.script("system/History.qvs", HISTORY)
    for n, hz in VOICE_HZ.items():
        game.wav("v%d.wav" % n, 0.6, hz, 0.5)
    game.png("window.png", 1000, 160, (20, 20, 20))
    game.png("textbox.png", 900, 120, (0, 0, 0, 0))
    game.png("done.png", 100, 100, DONE)
    game.png("system/backlog.png", e2e.LOGICAL_W, e2e.LOGICAL_H, (10, 10, 30))
    game.png("system/backlog_bar_off.png", 20, 40, KNOB)
    game.png("system/backlog_bar_on.png", 20, 40, KNOB)
    game.png("system/backlog_back_off.png", 100, 40, BACK)
    game.png("system/backlog_back_on.png", 100, 40, BACK)
    game.png("system/backlog_row.png", 1000, 180, ROW)
    game.png("system/backlog_voice_off.png", 40, 40, VOICE_OFF)
    game.png("system/backlog_voice_on.png", 40, 40, VOICE_ON)


def screen(x, y):
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


ROW_Y = (-240, -40, 160)  # rows 0, 1, 2: the newest page shown at the bottom


def voice_button(row):
    return screen(-450, ROW_Y[row])


def knob_y(fraction):
    return screen(0, fraction * 524.0 - 278.5)[1]


def heard(p, hz, since):
    """Whether a tone near hz sounds in the disk audio after `since` seconds."""
    audio = p.audio()
    t = since
    while t + 0.05 <= audio.seconds:
        if audio.rms(t, t + 0.05) > 0.02 and abs(audio.dominant_frequency(t, t + 0.05) - hz) < 40:
            return True
        t += 0.05
    return False


class BacklogScreen(e2e.TestCase):
    def test_history_shows_scrolls_replays_and_returns(self):
        with e2e.Session(self) as s:
            make_game(s.game)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: heard(p, VOICE_HZ[1], 0), 20, 0.2, "the first page's voice")
            for n in (2, 3):
                mark = p.audio().seconds
                time.sleep(0.3)
                # A new place each time: a pointer move to where it already
                # is never completes.
                p.click(600 + 20 * n, 100)
                e2e.wait_until(lambda n=n, mark=mark: heard(p, VOICE_HZ[n], mark), 10, 0.2, "page %d's voice" % n)

            def colour_at(xy, colour):
                return e2e.close_to(p.logical_shot().pixel(*xy), colour, 6)

            def voice_shown(shot, row):
                return any(e2e.close_to(shot.pixel(*voice_button(row)), c, 6) for c in (VOICE_OFF, VOICE_ON))

            time.sleep(0.8)  # page 3's voice has ended
            p.move(640, 700)
            p.wheel(up=True)
            e2e.wait_until(lambda: all(voice_shown(p.logical_shot(), r) for r in range(3)), 10, 0.2,
                           "three pages with their voice buttons")
            self.assertTrue(colour_at((1238, knob_y(0.0)), KNOB), "knob at the newest page")

            # One page back: the oldest page leaves the screen, so the top
            # row is empty and has no voice button.
            p.wheel(up=True)
            e2e.wait_until(lambda: not voice_shown(p.logical_shot(), 2), 10, 0.2, "the top row emptied")
            shot = p.logical_shot()
            self.assertTrue(voice_shown(shot, 0) and voice_shown(shot, 1))
            self.assertTrue(e2e.close_to(shot.pixel(1238, knob_y(1 / 3)), KNOB, 6), "knob a third up")

            # The bottom row now shows page 2: its button plays page 2's voice.
            mark = p.audio().seconds
            p.click(*voice_button(0))
            e2e.wait_until(lambda: heard(p, VOICE_HZ[2], mark), 10, 0.2, "page 2's voice replayed")
            self.assertFalse(heard(p, VOICE_HZ[3], mark), "page 3's voice played instead")

            # Back to the key wait: the screen goes, the page stays, and the
            # next click goes on.
            p.click(*screen(560, 300))
            e2e.wait_until(lambda: not colour_at(voice_button(0), VOICE_OFF) and
                           not colour_at(voice_button(0), VOICE_ON), 10, 0.2, "the backlog gone")
            time.sleep(0.5)
            self.assertFalse(colour_at((640, 360), DONE), "the key wait ended without a click")
            p.click(640, 100)
            e2e.wait_until(lambda: colour_at((640, 360), DONE), 10, 0.2, "the script after the key wait")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_history_from_the_side_script_keeps_the_story_still_behind_it(self):
        with e2e.Session(self) as s:
            make_game(s.game)
            s.game.script("system/Function.qvs", FUNCTION_HISTORY)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: heard(p, VOICE_HZ[1], 0), 20, 0.2, "the first page's voice")
            row0 = screen(200, ROW_Y[0])

            def backlog_open():
                return e2e.close_to(p.logical_shot().pixel(*row0), ROW, 6)

            p.key("h")
            e2e.wait_until(backlog_open, 10, 0.2, "the backlog")
            # Its case pictures go to the side script's own queue, the rows
            # to the main one; the button shows without the pointer's help.
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*voice_button(0)), VOICE_OFF, 6), 5, 0.2,
                           "page 1's voice button")

            mark = p.audio().seconds
            p.key("Return")
            p.click(40, 360)  # beside every row and button
            p.key("Return")
            time.sleep(1.5)
            self.assertFalse(heard(p, VOICE_HZ[2], mark), "the main script went on behind the backlog")
            self.assertTrue(backlog_open(), "the backlog stays open")

            p.click(*screen(560, 300))
            e2e.wait_until(lambda: not backlog_open(), 10, 0.2, "the backlog gone")
            p.click(640, 100)
            e2e.wait_until(lambda: heard(p, VOICE_HZ[2], mark), 10, 0.2, "page 2 after the backlog")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
