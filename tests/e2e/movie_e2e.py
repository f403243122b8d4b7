"""A movie played into a full-screen object: a 3 s 1280x720 MPEG-1 movie at
30 pictures a second whose pictures are red in its first second, green in its
second and blue in its third, with a 440 Hz tone as its sound. The script
plays it, waits for it with "GraphicWait" and then starts a 1000 Hz marker
sound, so the disk audio shows when the wait ended against the movie's own
sound. The movie's sound plays 10 dB down: 0.5 / sqrt(2) * 10^(-0.5) RMS."""
import math
import os
import shutil
import subprocess
import time
from pathlib import Path

import velk2e2e as e2e

MOVIE_SECONDS = 3.0
TONE_HZ, MARKER_HZ = 440, 1000
TONE_RMS = 0.5 / math.sqrt(2) * 10 ** (-0.5)
RED, GREEN, BLUE = (255, 0, 0), (0, 255, 0), (0, 0, 255)

START = """Graphic(Layer=1, File="op.mpg")
GraphicPlay(Layer=1)
GraphicWait(Layer=1)
Sound(Layer=2, File="marker.wav", Play=1)
Apply()
Wait(Time=600000)
"""


def movie_maker():
    path = os.environ.get("VELK2_MAKE_MOVIE")
    if not path:
        path = str(Path(e2e.binary()).parent / "tests" / "velk2_make_movie")
    return path


class Movie(e2e.TestCase):
    def test_movie_plays_in_step_and_the_wait_ends_with_it(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            movie = s.game.path("op.mpg")
            subprocess.run([movie_maker(), str(movie), "mpeg", "mpeg1video", "mp2", "1280", "720", "30",
                            str(MOVIE_SECONDS), str(TONE_HZ), "per-second"], check=True, timeout=120)
            s.game.wav("marker.wav", 1.0, MARKER_HZ, 0.5)
            p = s.start()
            p.wait_window()

            def centre():
                return p.logical_shot().average(600, 320, 680, 400)

            e2e.wait_until(lambda: e2e.close_to(centre(), RED, 24), 20, 0.02, "the movie's red first second")
            shown = time.monotonic()
            for at, colour, name in ((1.4, GREEN, "green second"), (2.4, BLUE, "blue third second")):
                time.sleep(max(0.0, shown + at - time.monotonic()))
                seen = centre()
                self.assertTrue(e2e.close_to(seen, colour, 24), "%s: %s at %.1f s" % (name, seen, at))

            step = 0.02

            def windows(audio):
                found = {TONE_HZ: [], MARKER_HZ: []}
                t = 0.0
                while t + step <= audio.seconds:
                    level = audio.rms(t, t + step)
                    if level > 0.02:
                        hz = audio.dominant_frequency(t, t + step)
                        for tone in found:
                            if abs(hz - tone) < 0.25 * tone:
                                found[tone].append((t, level))
                    t += step
                return found

            def marker_played():
                found = windows(p.audio())
                return found if len(found[MARKER_HZ]) > 10 else None

            found = e2e.wait_until(marker_played, 30, 0.25, "the marker after the movie")
            tone, marker = found[TONE_HZ], found[MARKER_HZ]
            self.assertTrue(tone, "no %d Hz movie sound in the disk audio" % TONE_HZ)
            tone_start, tone_end = tone[0][0], tone[-1][0] + step
            marker_start = marker[0][0]
            levels = sorted(level for _, level in tone)
            cases = [
                ("the movie's sound lasts as long as the movie", tone_end - tone_start, MOVIE_SECONDS, 0.1),
                ("its level is the tone's 10 dB down", levels[len(levels) // 2], TONE_RMS, 0.15 * TONE_RMS),
                # The wait ends with the movie: the marker starts no later than
                # 100 ms after the movie's sound and not before it ends.
                ("the marker after the movie's end", marker_start - tone_end, 0.05, 0.05 + step),
            ]
            for name, measured, expected, delta in cases:
                self.assertAlmostEqual(measured, expected, delta=delta,
                                       msg="%s: %.3f, expected %.3f" % (name, measured, expected))
            # The last picture stays after the end.
            self.assertTrue(e2e.close_to(centre(), BLUE, 24), "after the end: %s" % (centre(),))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_the_same_movie_given_again_plays_again_from_its_start(self):
        # Half a second of silence between the two plays keeps them apart.
        start = """Graphic(Layer=1, File="op.mpg")
GraphicPlay(Layer=1)
GraphicWait(Layer=1)
Wait(Time=500)
GraphicAlter(Layer=1, File="op.mpg")
GraphicPlay(Layer=1)
GraphicWait(Layer=1)
Sound(Layer=2, File="marker.wav", Play=1)
Apply()
Wait(Time=600000)
"""
        seconds, step = 1.5, 0.02
        with e2e.Session(self) as s:
            s.game.basic(start)
            subprocess.run([movie_maker(), str(s.game.path("op.mpg")), "mpeg", "mpeg1video", "mp2", "320", "240",
                            "30", str(seconds), str(TONE_HZ), "per-second"], check=True, timeout=120)
            s.game.wav("marker.wav", 1.0, MARKER_HZ, 0.5)
            p = s.start()
            p.wait_window()

            def runs(tone):
                """(start, end) of each stretch of the tone, gaps under 0.2 s bridged."""
                audio, found, t = p.audio(), [], 0.0
                while t + step <= audio.seconds:
                    if audio.rms(t, t + step) > 0.02 and abs(audio.dominant_frequency(t, t + step) - tone) < 0.25 * tone:
                        if found and t - found[-1][1] < 0.2:
                            found[-1][1] = t + step
                        else:
                            found.append([t, t + step])
                    t += step
                return found

            marker = e2e.wait_until(lambda: runs(MARKER_HZ), 30, 0.25, "the marker after the second play")
            plays = runs(TONE_HZ)
            self.assertEqual(len(plays), 2, "the movie's sound should be heard twice: %r" % plays)
            for i, (begin, end) in enumerate(plays):
                self.assertAlmostEqual(end - begin, seconds, delta=0.1, msg="play %d lasts %.2f s" % (i + 1, end - begin))
            self.assertAlmostEqual(marker[0][0] - plays[1][1], 0.05, delta=0.05 + step,
                                   msg="the marker follows the second play's end: %r, %r" % (plays, marker))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_a_movie_without_sound_ends_its_wait_on_its_own_clock(self):
        # Cued first, then started together with a 600 Hz tone: the marker
        # after the wait follows the tone by the movie's 1 s, not by a poll
        # or never.
        start = """Graphic(Layer=1, File="quiet.mpg")
Apply()
Wait(Time=1000)
Sound(Layer=2, File="start.wav", Play=1)
GraphicPlay(Layer=1)
Apply()
GraphicWait(Layer=1)
Sound(Layer=3, File="marker.wav", Play=1)
Apply()
Wait(Time=600000)
"""
        seconds, step, start_hz = 1.0, 0.01, 600
        with e2e.Session(self) as s:
            s.game.basic(start)
            subprocess.run([movie_maker(), str(s.game.path("quiet.mpg")), "mpeg", "mpeg1video", "none", "320", "240",
                            "30", str(seconds), "0", "per-second"], check=True, timeout=120)
            s.game.wav("start.wav", 0.3, start_hz, 0.5)
            s.game.wav("marker.wav", 0.5, MARKER_HZ, 0.5)
            p = s.start()
            p.wait_window()

            def onset(tone):
                audio, t = p.audio(), 0.0
                while t + step <= audio.seconds:
                    if audio.rms(t, t + step) > 0.02 and abs(audio.dominant_frequency(t, t + 2 * step) - tone) < 0.25 * tone:
                        return t
                    t += step
                return None

            marker = e2e.wait_until(lambda: onset(MARKER_HZ), 30, 0.25, "the marker after the movie")
            began = onset(start_hz)
            self.assertIsNotNone(began, "no start tone")
            # Not before the movie's end; within 400 ms after it on a slow machine.
            self.assertGreaterEqual(marker - began, seconds - 0.05, "the wait ended before the movie")
            self.assertLess(marker - began, seconds + 0.4, "the wait ended %.2f s after the movie began" % (marker - began))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_a_broken_movie_does_not_hold_the_wait_and_a_playing_one_ends_with_the_program(self):
        start = """Graphic(Layer=1, File="broken.mpg")
GraphicPlay(Layer=1)
GraphicWait(Layer=1)
Sound(Layer=2, File="marker.wav", Play=1)
Graphic(Layer=2, File="long.avi")
GraphicPlay(Layer=2)
Apply()
Wait(Time=600000)
"""
        with e2e.Session(self) as s:
            s.game.basic(start)
            s.game.file("broken.mpg", bytes(range(256)) * 64)
            subprocess.run([movie_maker(), str(s.game.path("long.avi")), "avi", "mpeg4", "pcm_s16le", "320",
                            "240", "25", "20", str(TONE_HZ), "per-second"], check=True, timeout=120)
            s.game.wav("marker.wav", 0.5, MARKER_HZ, 0.5)
            p = s.start()
            p.wait_window()

            def heard(tone):
                audio = p.audio()
                t = 0.0
                while t + 0.02 <= audio.seconds:
                    if audio.rms(t, t + 0.02) > 0.02 and abs(audio.dominant_frequency(t, t + 0.02) - tone) < 0.25 * tone:
                        return t
                    t += 0.02
                return None

            marker = e2e.wait_until(lambda: heard(MARKER_HZ), 15, 0.2, "the marker after the broken movie")
            movie = e2e.wait_until(lambda: heard(TONE_HZ), 15, 0.2, "the long movie's sound")
            self.assertLess(movie - marker, 1.0, "the long movie started %.2f s after the marker" % (movie - marker))
            # Closed while the movie plays: its decoder ends with the program.
            p.close_window()
            self.assertEqual(p.wait_exit(10), 0, p.stderr())

    def test_without_the_movie_module_the_movie_fails_as_a_damaged_one(self):
        # The player lives in a module beside the program; a copy of the
        # program alone must skip the movie as the broken one above, not crash.
        with e2e.Session(self) as s:
            s.game.basic(START)
            subprocess.run([movie_maker(), str(s.game.path("op.mpg")), "mpeg", "mpeg1video", "mp2", "320", "240",
                            "30", str(MOVIE_SECONDS), str(TONE_HZ), "per-second"], check=True, timeout=120)
            s.game.wav("marker.wav", 1.0, MARKER_HZ, 0.5)
            alone = s.tmp / "alone"
            alone.mkdir()
            shutil.copy2(e2e.binary(), alone / "velk2")
            saved = os.environ.get("VELK2_BINARY")
            os.environ["VELK2_BINARY"] = str(alone / "velk2")
            try:
                p = s.start()
            finally:
                if saved is None:
                    del os.environ["VELK2_BINARY"]
                else:
                    os.environ["VELK2_BINARY"] = saved
            p.wait_window()

            def windows(tone):
                audio = p.audio()
                count, t = 0, 0.0
                while t + 0.02 <= audio.seconds:
                    if audio.rms(t, t + 0.02) > 0.02 and abs(audio.dominant_frequency(t, t + 0.02) - tone) < 0.25 * tone:
                        count += 1
                    t += 0.02
                return count

            e2e.wait_until(lambda: windows(MARKER_HZ) > 10, 20, 0.25, "the marker after the missing movie")
            time.sleep(1.0)
            # The marker's cut-off ends may read as a low tone; the movie's
            # sound would fill its 3 s.
            self.assertLessEqual(windows(TONE_HZ), 2, "the movie's sound plays without the module")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


# A 30 s movie that holds the screen's centre, red in its first second; the
# marker square in the top left corner is what the main script shows once its
# "GraphicWait" has ended.
LONG_SECONDS = 30
AFTER = (200, 60, 200)
AFTER_AT = (80, 60)
SAVED = (60, 200, 90)
SAVED_AT = (1200, 60)

WAIT_THEN_MARK = """GraphicWait(Layer=1)
Graphic(Layer=5, File="after.png", x=-560, y=300)
Apply()
Wait(Time=600000)
"""

# The first run plays the movie; a right click opens the menu, which saves
# slot 1 while the movie plays. The second run loads it.
MENU_SAVE_START = """runs = runs + 1
if (runs = 1) {
    Graphic(Layer=1, File="long.mpg")
    GraphicPlay(Layer=1)
""" + WAIT_THEN_MARK + """}
PlayDataLoad(No=1)
Wait(Time=600000)
"""
MENU_FUNCTION = """Select {
    Case(InKeyMouse=2) {
        ScriptInterrupt(File="menu.qvs")
    }
}
"""
MENU = """PlayDataSave(No=1, Index="movie")
Graphic(Layer=7, File="saved.png", x=560, y=300)
Apply()
"""
# The same menu loads what it saved, in the same run.
MENU_SAVE_LOAD = """if (loads = 0) {
    loads = 1
    PlayDataSave(No=1, Index="movie")
    PlayDataLoad(No=1)
}
"""


class MovieWait(e2e.TestCase):
    """A movie holds "GraphicWait" from its "GraphicPlay" to its end, not
    while it stands cued or restored by a load."""

    def make_game(self, s, start, variables="// no names\n"):
        s.game.basic(start, variables)
        subprocess.run([movie_maker(), str(s.game.path("long.mpg")), "mpeg", "mpeg1video", "mp2", "320", "240",
                        "30", str(LONG_SECONDS), str(TONE_HZ), "per-second"], check=True, timeout=120)
        s.game.png("after.png", 60, 60, AFTER)
        s.game.png("saved.png", 60, 60, SAVED)

    def test_a_movie_never_started_does_not_hold_the_wait(self):
        with e2e.Session(self) as s:
            self.make_game(s, 'Graphic(Layer=1, File="long.mpg")\nApply()\n' + WAIT_THEN_MARK)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*AFTER_AT), AFTER, 8), 15, 0.1,
                           "the statement after the wait for a movie never started")
            # Cued on its first picture, not playing: no sound of its own.
            self.assertTrue(e2e.close_to(p.logical_shot().average(600, 320, 680, 400), RED, 24))
            self.assertLess(p.audio().peak(0, p.audio().seconds), 0.02, "the cued movie sounds")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_a_menu_save_during_a_movie_loads_into_a_wait_that_ends(self):
        with e2e.Session(self) as s:
            self.make_game(s, MENU_SAVE_START, "Variable(Global, Name=runs)\n")
            s.game.script("system/Function.qvs", MENU_FUNCTION)
            s.game.script("menu.qvs", MENU)

            first = s.start()
            first.wait_window()
            e2e.wait_until(lambda: e2e.close_to(first.logical_shot().average(600, 320, 680, 400), RED, 24), 20,
                           0.05, "the movie playing")
            first.click(640, 600, button=3)
            e2e.wait_until(lambda: e2e.close_to(first.logical_shot().pixel(*SAVED_AT), SAVED, 8), 20, 0.1,
                           "the menu's save")
            self.assertFalse(e2e.close_to(first.logical_shot().pixel(*AFTER_AT), AFTER, 8),
                             "the first run's wait ended before its movie")
            first.close_window()
            self.assertEqual(first.wait_exit(), 0, first.stderr())

            second = s.start()
            second.wait_window()
            e2e.wait_until(lambda: e2e.close_to(second.logical_shot().pixel(*AFTER_AT), AFTER, 8), 15, 0.1,
                           "the statement after the loaded wait")
            second.close_window()
            self.assertEqual(second.wait_exit(), 0, second.stderr())

    def test_a_load_in_the_same_run_leaves_the_restored_movie_cued(self):
        # The fading copy of the old screen still holds the movie the load
        # restores by the same name: its playing must not carry over.
        with e2e.Session(self) as s:
            self.make_game(s, 'Graphic(Layer=1, File="long.mpg")\nGraphicPlay(Layer=1)\n' + WAIT_THEN_MARK,
                           "Variable(Global, Name=loads)\n")
            s.game.script("system/Function.qvs", MENU_FUNCTION)
            s.game.script("menu.qvs", MENU_SAVE_LOAD)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().average(600, 320, 680, 400), RED, 24), 20,
                           0.05, "the movie playing")
            p.click(640, 600, button=3)
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*AFTER_AT), AFTER, 8), 15, 0.1,
                           "the statement after the loaded wait")
            time.sleep(2.5)
            # Past its red first second had it gone on playing.
            self.assertTrue(e2e.close_to(p.logical_shot().average(600, 320, 680, 400), RED, 24),
                            "the restored movie stands on its first picture")
            audio = p.audio()
            self.assertLess(audio.rms(audio.seconds - 1.0, audio.seconds), 0.01, "the restored movie sounds")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
