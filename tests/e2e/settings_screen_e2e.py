"""The settings screen of "Config" in the real program: its pictures where
the layout puts them (the odd -230 and -1 included), a click on "full
screen" and a drag of the music slider that the music follows while it
moves, leaving by a right click back to the script, and "System.dat" at exit
holding the new settings."""
import math
import time

import velk2e2e as e2e

BACKGROUND = (30, 30, 30)
STRIPE = (255, 255, 255)  # the two leftmost columns of every option button
KNOB_OFF, KNOB_ON = (250, 120, 0), (250, 220, 0)
DONE = (0, 200, 90)


def option_colour(n, on):
    return (40 + 20 * n, 0 if on else 90, 200 if on else 60)


def volume_colour(c, on):
    return (100, 30 * c, 250 if on else 150)


OPTION_W, OPTION_H = 120, 36

START = """SoundGroup(No=0, SoundNoStart=0, SoundNoLast=98)
SoundGroup(No=1, SoundNoStart=1, SoundNoLast=9)
Sound(Layer=1, File="bgm.wav", Loop=-1, Play=1)
Apply()
Config()
Graphic(Layer=1, File="done.png")
Apply()
Wait(Time=600000)
"""


def make_game(game):
    game.basic(START)
    game.wav("bgm.wav", 2.0, 440, 0.5)
    game.png("done.png", 200, 200, DONE)
    game.png("system/config.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACKGROUND)
    for n in range(1, 9):
        for on in (False, True):
            colour = option_colour(n, on)
            game.png("system/config%02d_%s.png" % (n, "on" if on else "off"), OPTION_W, OPTION_H,
                     lambda x, y, colour=colour: STRIPE if x < 2 else colour)
    game.png("system/config_bottom_off.png", 16, 30, KNOB_OFF)
    game.png("system/config_bottom_on.png", 16, 30, KNOB_ON)
    for c in range(1, 8):
        for on in (False, True):
            game.png("system/config_volume%02d_%s.png" % (c, "on" if on else "off"), 100, 100, volume_colour(c, on))
    game.png("system/config10_off.png", 100, 40, (10, 160, 160))
    game.png("system/config10_on.png", 100, 40, (10, 220, 220))
    game.png("system/config09.png", 400, 60, (70, 70, 110))
    game.png("system/null.png", 1, 1, (0, 0, 0, 0))


def screen(x, y):
    """A scene position (y up, from the centre) on the logical screen."""
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


def bgm_gain(mouse_x):
    """The music's amplitude for the slider at mouse_x: the ratio in single
    steps, the group volume truncated to thousandths, then the attenuation of
    trunc(2500 * log10 v) hundredths of a decibel."""
    ratio = min(1.0, max(0.0, ((mouse_x - 13) - 297) / 429))
    volume = math.trunc(ratio * 1000)
    millibels = -10000 if volume <= 0 else math.trunc(2500 * math.log10(volume / 1000))
    return 10 ** (millibels / 2000)


def open_screen(s):
    make_game(s.game)
    p = s.start()
    p.wait_window()
    p.move(5, 715)
    window_x, window_y = screen(-229, 274)
    e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(window_x, window_y), option_colour(1, True), 3),
                   20, 0.2, "the settings screen")
    time.sleep(1.0)  # past its 800 ms transition
    return p


class SettingsScreen(e2e.TestCase):
    def test_config_changes_the_settings_and_returns(self):
        with e2e.Session(self) as s:
            p = open_screen(s)
            shot = p.logical_shot()

            class Case:
                def __init__(self, name, at, colour):
                    self.name, self.at, self.colour = name, at, colour

            # A button's picture starts 60 to the left of its x; the third
            # column from there is the first past its stripe, wherever the
            # half-pixel edge falls. One pixel further right would be there
            # for an x one larger, which is what tells -230 from -229 and -1
            # from 0.
            cases = [
                Case("background", (20, 20), BACKGROUND),
                Case("window mode lit", screen(-229, 274), option_colour(1, True)),
                Case("full screen dark", screen(-1, 274), option_colour(2, False)),
                Case("full screen at -1", (screen(-1, 274)[0] - 60 + 2, 86), option_colour(2, False)),
                Case("transitions shown lit", screen(-230, 227), option_colour(3, True)),
                Case("transitions shown at -230", (screen(-230, 227)[0] - 60 + 2, 133), option_colour(3, True)),
                Case("transitions cut dark", screen(0, 227), option_colour(4, False)),
                Case("no voice stop lit", screen(0, 180), option_colour(6, True)),
                Case("skip all lit", screen(-1, 133), option_colour(8, True)),
                Case("music knob at the left end", screen(-330, -178), KNOB_OFF),
                Case("text speed knob at the right end", screen(99, 37), KNOB_OFF),
                Case("character 3", screen(283, 33), volume_colour(3, False)),
                Case("character 7", screen(493, -107), volume_colour(7, False)),
                Case("initialize", screen(521, -266), (10, 160, 160)),
                Case("sample window", screen(-229 + 150, -68), (70, 70, 110)),
            ]
            for c in cases:
                self.assertTrue(e2e.close_to(shot.pixel(*c.at), c.colour, 6),
                                "%s at %r: %r, expected %r" % (c.name, c.at, shot.pixel(*c.at), c.colour))
            stripe_x = screen(-230, 227)[0] - 60
            self.assertTrue(e2e.close_to(shot.pixel(stripe_x + 1, 133), STRIPE, 6), "the -230 button's stripe")

            # Full screen: asked for at once, lit from the next pass on.
            p.click(*screen(-1, 274))
            p.move(5, 715)
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*screen(-229, 274)), option_colour(1, False), 3),
                           20, 0.2, "window mode unlit")
            self.assertTrue(e2e.close_to(p.logical_shot().pixel(*screen(40, 274)), option_colour(2, True), 6))

            # The music slider, dragged: the level follows the knob.
            def level():
                time.sleep(1.2)
                audio = p.audio()
                return audio.rms(audio.seconds - 0.8, audio.seconds - 0.2)

            full = level()
            knob_y = screen(0, -178)[1]
            p.move(310, knob_y)
            s.xdotool("mousedown", "1")
            steps = (417, 631)
            heard = []
            for x in steps:
                p.move(x, knob_y)
                heard.append(level())
            knob_shot = p.logical_shot()
            s.xdotool("mouseup", "1")
            for x, measured in zip(steps, heard):
                expected = bgm_gain(x)
                self.assertAlmostEqual(measured / full, expected, delta=0.05 * expected,
                                       msg="music at slider x %d: %.4f of full, expected %.4f" % (x, measured / full,
                                                                                                   expected))
            # The dragged knob stands under the pointer.
            self.assertTrue(e2e.close_to(knob_shot.pixel(steps[-1], knob_y), KNOB_ON, 6) or
                            e2e.close_to(knob_shot.pixel(steps[-1], knob_y), KNOB_OFF, 6),
                            "knob at %d: %r" % (steps[-1], knob_shot.pixel(steps[-1], knob_y)))

            # A right click leaves; the script goes on and the screen is gone.
            p.click(5, 715, button=3)
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 360), DONE, 3), 20, 0.2,
                           "the script after the screen")
            self.assertTrue(e2e.close_to(p.logical_shot().pixel(20, 20), (0, 0, 0), 3), "the screen removed")

            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            saved = e2e.system_globals(s.user_file("System.dat").read_bytes())
            integer, real = 2, 3
            self.assertEqual(saved["System.FullScreen"][:2], (integer, 1))
            self.assertEqual(saved["Sound.BGM.Volume"][0], real)
            self.assertAlmostEqual(saved["Sound.BGM.Volume"][2], ((631 - 13) - 297) / 429, delta=1e-6)
            self.assertEqual(saved["Sound.Master.Volume"][:1], (real,))
            self.assertEqual(saved["System.TextSpeed"][:2], (integer, 0))

    def test_clicks_in_quick_succession_all_count(self):
        # The second click comes while the screen is still busy with the first
        # one's pass, as a quick player's does.
        with e2e.Session(self) as s:
            p = open_screen(s)
            burst = []
            for x, y in (screen(0, 227), screen(-229, 133)):  # transitions cut, skip read text only
                burst += ["mousemove"] + [str(v) for v in p.to_screen(x, y)] + ["mousedown", "1", "mouseup", "1"]
            s.xdotool(*burst)
            p.move(5, 715)
            lit = [("transitions cut", screen(40, 227), option_colour(4, True)),
                   ("skip read text only", screen(-229 + 40, 133), option_colour(7, True))]
            e2e.wait_until(lambda: all(e2e.close_to(p.logical_shot().pixel(*at), colour, 6) for _, at, colour in lit),
                           10, 0.2, "both clicked options lit: %s" % ", ".join(name for name, _, _ in lit))
            p.click(5, 715, button=3)
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 360), DONE, 3), 20, 0.2,
                           "the script after the screen")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            saved = e2e.system_globals(s.user_file("System.dat").read_bytes())
            self.assertEqual(saved["System.TranstionCut"][1], 1)
            self.assertEqual(saved["System.SkipAlready"][1], 1)


if __name__ == "__main__":
    e2e.main()
