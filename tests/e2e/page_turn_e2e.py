"""When a page turns, as a player meets it.

A press counts once: after a title card shown with "Wait" (text with no key
wait after it), whether the card's text had all appeared or was still
appearing when the page began, a click on the next page while its text is
still appearing shows the text whole and keeps the page; neither the end of a movie that
"system\\Function.qvs" plays (M) nor auto mode switched off there (A) turns
the page by itself afterwards; only the next click does.

Voices: in auto mode, pages with 1 s voices and an auto speed of 1000 ms go
on when each voice has ended, so the voices follow one another about a
second apart in the disk audio (2 s would be voice + auto speed). Then the
same pages again in skip mode with "SystemSkipAlready": the read pages pass
silently, the skip stops at the first unread page, and that page's voice is
heard.

The text box is a transparent 900 x 120 picture inside a dark 1000 x 160
window at scene (0, -250), so its first line runs right from logical pixel
(190, 550)."""
import statistics
import subprocess
import time

import velk2e2e as e2e
from movie_e2e import movie_maker

DONE = (0, 200, 90)
MOVIE_DONE = (200, 60, 200)
AUTO_OFF = (60, 120, 220)

# Twelve full-width characters of the fixed-pitch font 9 at 400 ms each:
# about 5 s to appear, and a title card wait longer than that, so a lock left
# from the card would have run out. Character i is centred at x = 205 + 29.5 i.
PAGE_TEXT = "あいうえおかきくけこさし"

WINDOW = """Graphic(Layer=100, File="window.png", y=-250)
Graphic(Layer=100:0, File="textbox.png")
Apply()
"""


def card_then_page(card_draw_speed, card_wait_ms):
    """A title card, then a page in the window once the card's "Wait" ends."""
    return ("SystemTextSpeed(Speed=400)\n" + WINDOW + """Graphic(Layer=8, File="card.png", y=200)
GraphicTextOut(Layer=8, Text="TITLE", DrawSpeed=%s)
Apply()
Wait(Time=%d)
GraphicDelete(Layer=8)
GraphicTextOut(Layer=100:0, Text="%s", FontNo=9)
Apply()
KeyWait()
Graphic(Layer=5, File="done.png")
Apply()
Wait(Time=600000)
""" % (card_draw_speed, card_wait_ms, PAGE_TEXT))


CLICK_START = card_then_page(0.1, 5500)

# The card's text takes 3 s and its "Wait" 2.7 s: the page begins while the
# card still draws, and a lock kept from the card's start would end 2.1 s into
# the page, before its eighth character (2.8 s) appears.
DRAWING_CARD_START = card_then_page(1.5, 2700)

CLICK_FUNCTION = """Select {
    Case(InKey=77) {
        Graphic(Layer=50, File="clip.mpg", x=400, y=200)
        GraphicPlay(Layer=50)
        Apply()
        GraphicWait(Layer=50)
        Graphic(Layer=6, File="movie_done.png", x=-560, y=300)
        Apply()
    }
    Case(InKey=65) {
        SystemControl.AutoPlaying(State=0)
        Graphic(Layer=7, File="auto_off.png", x=-460, y=300)
        Apply()
    }
}
"""

VOICE_HZ = [300, 600, 900, 1200, 1500]
UNREAD_HZ = 2000
VOICE_PAGE = """PageFeed(Layer=100:0)
Sound(Layer=20, File="v{n}.wav", Play=1)
GraphicTextOut(Layer=100:0, Text="page {n}", DrawSpeed=0)
KeyWait()
"""

VOICE_START = ("""SoundGroup(No=3, SoundNoStart=20, SoundNoLast=39)
SoundGroupAutomodeSkip(No=3, Value=1)
SystemAutoSpeed(Speed=1000)
SystemSkipAlready(Value=1)
""" + WINDOW + """pass = 0
SystemControl.AutoPlaying(State=1)
#Pages
""" + "".join(VOICE_PAGE.format(n=n) for n in range(len(VOICE_HZ))) + """if (pass = 0) {
    pass = 1
    SystemControl.AutoPlaying(State=0)
    SystemControl.SkipPlaying(State=1)
    ScriptJump(Label=#Pages)
}
PageFeed(Layer=100:0)
Sound(Layer=20, File="unread.wav", Play=1)
GraphicTextOut(Layer=100:0, Text="unread", DrawSpeed=0)
KeyWait()
SystemControl.SkipPlaying(State=0)
Graphic(Layer=5, File="done.png")
Apply()
Wait(Time=600000)
""")


def make_window(game):
    game.png("window.png", 1000, 160, (20, 20, 20))
    game.png("textbox.png", 900, 120, (0, 0, 0, 0))
    game.png("done.png", 100, 100, DONE)
    game.png("card.png", 600, 100, (0, 0, 0, 0))


def ink(shot, x0, x1):
    """Lit pixels of the text box's first line between x0 and x1."""
    return sum(1 for y in range(552, 584, 2) for x in range(x0, x1, 2) if max(shot.pixel(x, y)) > 120)


def tone_times(windows, hz):
    """Starts of the 20 ms windows (start, rms, rough frequency) in which a
    tone near hz sounds."""
    return [t for t, rms, f in windows if rms > 0.1 and abs(f - hz) < hz * 0.12 + 60]


class PageTurn(e2e.TestCase):
    def test_a_press_counts_once(self):
        with e2e.Session(self) as s:
            s.game.basic(CLICK_START)
            s.game.script("system/Function.qvs", CLICK_FUNCTION)
            make_window(s.game)
            s.game.png("movie_done.png", 60, 60, MOVIE_DONE)
            s.game.png("auto_off.png", 60, 60, AUTO_OFF)
            subprocess.run([movie_maker(), str(s.game.path("clip.mpg")), "mpeg", "mpeg1video", "mp2", "320", "240",
                            "30", "1", "440", "per-second"], check=True, timeout=120)
            p = s.start()
            p.wait_window()

            def shown(xy, colour):
                return e2e.close_to(p.logical_shot().pixel(*xy), colour, 8)

            # The title card goes, the page begins: click while its last
            # characters have yet to appear.
            def beginning():
                shot = p.logical_shot()
                return ink(shot, 190, 250) > 0 and ink(shot, 460, 560) == 0

            e2e.wait_until(beginning, 30, 0.05, "the page's first characters without its last")
            p.click(640, 300)
            clicked = time.monotonic()
            e2e.wait_until(lambda: ink(p.logical_shot(), 490, 545) > 0, 20, 0.1, "the page's text whole")
            whole = time.monotonic() - clicked
            self.assertFalse(shown((640, 360), DONE), "the click skipped the page")
            # Drawn on, the last characters would take some 4 s more.
            self.assertLess(whole, 3.0, "the click showed the text whole at once")
            time.sleep(1.0)
            self.assertFalse(shown((640, 360), DONE), "the click that showed the text turned the page")

            p.key("m")
            e2e.wait_until(lambda: shown((80, 60), MOVIE_DONE), 30, 0.1, "the movie to end")
            time.sleep(1.0)
            self.assertFalse(shown((640, 360), DONE), "the movie's end turned the page")

            # The side script starts over after each case: A again until it
            # has been taken (each switch off must leave the page alone).
            e2e.wait_until(lambda: p.key("a") or shown((180, 60), AUTO_OFF), 20, 0.7, "auto mode switched off")
            time.sleep(1.0)
            self.assertFalse(shown((640, 360), DONE), "auto mode switched off turned the page")
            self.assertGreater(ink(p.logical_shot(), 190, 560), 0, "the page is still there")

            p.click(660, 300)
            e2e.wait_until(lambda: shown((640, 360), DONE), 20, 0.1, "the next click to turn the page")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_a_page_begun_while_the_title_card_draws_is_kept_by_a_click(self):
        with e2e.Session(self) as s:
            s.game.basic(DRAWING_CARD_START)
            make_window(s.game)
            p = s.start()
            p.wait_window()

            def done():
                return e2e.close_to(p.logical_shot().pixel(640, 360), DONE, 8)

            # The eighth character (x 411) is there, the twelfth (x 529) not yet.
            def late_in_the_page():
                shot = p.logical_shot()
                return ink(shot, 400, 425) > 0 and ink(shot, 515, 545) == 0

            e2e.wait_until(late_in_the_page, 30, 0.05, "the page's eighth character without its last")
            p.click(640, 300)
            e2e.wait_until(lambda: ink(p.logical_shot(), 515, 545) > 0, 20, 0.1, "the page's text whole")
            time.sleep(1.0)
            self.assertFalse(done(), "the click that should show the page whole turned it")
            p.click(660, 300)
            e2e.wait_until(done, 20, 0.1, "the next click to turn the page")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_voices_set_the_pace_in_auto_mode_and_play_where_a_skip_stops(self):
        with e2e.Session(self) as s:
            s.game.basic(VOICE_START, "Variable(Nomal, Name=pass)\n")
            make_window(s.game)
            for n, hz in enumerate(VOICE_HZ):
                s.game.wav("v%d.wav" % n, 1.0, hz, 0.5)
            s.game.wav("unread.wav", 1.0, UNREAD_HZ, 0.5)
            p = s.start()
            p.wait_window()

            # Auto mode, then the skip over the read pages, then the stop.
            windows = []

            def unread_voice_heard():
                audio = p.audio()
                start = windows[-1][0] + 0.02 if windows else 0.0
                t = start
                while t + 0.02 <= audio.seconds:
                    windows.append((t, audio.rms(t, t + 0.02), audio.dominant_frequency(t, t + 0.02)))
                    t += 0.02
                return tone_times(windows, UNREAD_HZ)

            e2e.wait_until(unread_voice_heard, 60, 0.5, "the unread page's voice")
            starts = [tone_times(windows, hz) for hz in VOICE_HZ]
            for hz, times in zip(VOICE_HZ, starts):
                self.assertTrue(times, "the %d Hz voice was heard" % hz)
                # Once, in auto mode; the skipped pass plays none of them.
                self.assertLess(len(times) * 0.02, 1.4, "the %d Hz voice played once, not again while skipped" % hz)
            onsets = [times[0] for times in starts]
            gaps = [b - a for a, b in zip(onsets, onsets[1:])]
            # Each page waits for its voice to end (1 s); the next page comes
            # a little after, not a whole auto speed (1 s more) later.
            self.assertGreater(min(gaps), 0.9, "a page went on before its voice ended: %r" % gaps)
            self.assertLess(statistics.median(gaps), 1.5, "pages waited the auto speed after their voice: %r" % gaps)

            self.assertFalse(e2e.close_to(p.logical_shot().pixel(640, 360), DONE, 8), "the skip stopped")
            p.click(640, 300)
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 360), DONE, 8), 20, 0.1,
                           "the click after the unread page")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
