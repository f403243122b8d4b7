"""One-shot sound effects, written as a game writes them:
Sound(Layer=…, File=…, FinishToDelete=1, Play=1). A WAV and an Ogg Vorbis
effect are each heard once at their own pitch; once one has played, its
layer is gone, so a "SoundAlter" that asks it to play again finds nothing,
while a new "Sound" on the same number plays."""
import os
import subprocess
from pathlib import Path

import velk2e2e as e2e

WAV_HZ, OGG_HZ, AGAIN_HZ = 440, 660, 990
EFFECT_SECONDS = 0.5

START = """Sound(Layer=10, File="se\\beep.wav", FinishToDelete=1, Play=1)
Apply()
Wait(Time=1000)
SoundAlter(Layer=10, Play=1)
Apply()
Wait(Time=1000)
Sound(Layer=11, File="se\\chime.ogg", FinishToDelete=1, Play=1)
Apply()
Wait(Time=1000)
SoundAlter(Layer=11, Play=1)
Apply()
Wait(Time=1000)
Sound(Layer=10, File="se\\again.ogg", FinishToDelete=1, Play=1)
Apply()
Wait(Time=600000)
"""


def ogg_maker():
    path = os.environ.get("VELK2_MAKE_OGG")
    if not path:
        path = str(Path(e2e.binary()).parent / "tests" / "velk2_make_ogg")
    return path


class OneShotSound(e2e.TestCase):
    def test_one_shot_effects_play_once_and_leave_their_layer(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.wav("se/beep.wav", EFFECT_SECONDS, WAV_HZ, 0.5)
            for name, hz in (("chime.ogg", OGG_HZ), ("again.ogg", AGAIN_HZ)):
                subprocess.run([ogg_maker(), str(s.game.path("se/" + name)), str(EFFECT_SECONDS), str(hz)],
                               check=True, timeout=60)
            p = s.start()
            p.wait_window()
            step = 0.05

            def heard(audio):
                """Start and length of each tone, from 50 ms windows."""
                found = {WAV_HZ: [], OGG_HZ: [], AGAIN_HZ: []}
                t = 0.0
                while t + step <= audio.seconds:
                    if audio.rms(t, t + step) > 0.01:
                        hz = audio.dominant_frequency(t, t + step)
                        for tone in found:
                            if abs(hz - tone) < 40:
                                found[tone].append(t)
                    t += step
                return found

            # The last effect starts about 4 s in.
            found = e2e.wait_until(lambda: heard(p.audio()) if p.audio().seconds > 5.5 else None,
                                   30, 0.25, "5.5 s of disk audio")
            for name, tone in (("the WAV effect", WAV_HZ), ("the Ogg effect", OGG_HZ),
                               ("a new effect on the WAV's layer", AGAIN_HZ)):
                times = found[tone]
                self.assertTrue(times, "%s (%d Hz) is not heard" % (name, tone))
                length = len(times) * step
                # Heard for its own length once: a second play of a layer
                # that should be gone would double it.
                self.assertAlmostEqual(length, EFFECT_SECONDS, delta=0.15,
                                       msg="%s heard for %.2f s" % (name, length))
            starts = [found[tone][0] for tone in (WAV_HZ, OGG_HZ, AGAIN_HZ)]
            for earlier, later in zip(starts, starts[1:]):
                self.assertAlmostEqual(later - earlier, 2.0, delta=0.4, msg="effects start at %r" % (starts,))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
