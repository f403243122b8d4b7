"""A sound heard at the level its volume gives. A layer's volume v becomes an
attenuation of trunc(2500 * log10 v) hundredths of a decibel, so the same tone
at Volume 0.5 comes out 10^(-752 / 2000) times as loud as at Volume 1, and at
Volume 1 (no attenuation) as loud as it was written."""
import math
import velk2e2e as e2e

TONE_AMPLITUDE = 0.5
TONE_RMS = TONE_AMPLITUDE / math.sqrt(2)
FULL_HZ, HALF_HZ = 440, 880
TONE_SECONDS = 1.0

START = """Sound(Layer=1, File="full.wav", Volume=1.0, Play=1)
Apply()
Wait(Time=1500)
Sound(Layer=2, File="half.wav", Volume=0.5, Play=1)
Apply()
Wait(Time=600000)
"""


def attenuation(volume):
    millibels = -10000 if volume <= 0 else math.trunc(2500 * math.log10(volume))
    return 10 ** (millibels / 2000)


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


class SoundVolume(e2e.TestCase):
    def test_volume_sets_the_level(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.wav("full.wav", TONE_SECONDS, FULL_HZ, TONE_AMPLITUDE)
            s.game.wav("half.wav", TONE_SECONDS, HALF_HZ, TONE_AMPLITUDE)
            p = s.start()
            p.wait_window()
            step = 0.05

            def tone_windows(audio):
                found = {FULL_HZ: [], HALF_HZ: []}
                t = 0.0
                while t + step <= audio.seconds:
                    level = audio.rms(t, t + step)
                    hz = audio.dominant_frequency(t, t + step) if level > 0.01 else 0
                    for tone in found:
                        if abs(hz - tone) < 40:
                            found[tone].append(level)
                    t += step
                return found

            def both_played():
                audio = p.audio()
                # The second tone starts 1.5 s in and lasts 1 s.
                return tone_windows(audio) if audio.seconds > 3.0 else None

            found = e2e.wait_until(both_played, 20, 0.25, "3 s of disk audio")
            for tone in (FULL_HZ, HALF_HZ):
                self.assertTrue(found[tone], "no %d Hz tone in the disk audio" % tone)
            full, half = median(found[FULL_HZ]), median(found[HALF_HZ])
            cases = [
                ("Volume 1 keeps the written level", full / TONE_RMS, attenuation(1.0)),
                ("Volume 0.5 against Volume 1", half / full, attenuation(0.5) / attenuation(1.0)),
            ]
            for name, measured, expected in cases:
                self.assertAlmostEqual(measured, expected, delta=0.03 * expected,
                                       msg="%s: %.4f, expected %.4f" % (name, measured, expected))
            for tone in (FULL_HZ, HALF_HZ):
                heard = len(found[tone]) * step
                self.assertAlmostEqual(heard, TONE_SECONDS, delta=0.15, msg="%d Hz heard for %.2f s" % (tone, heard))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
