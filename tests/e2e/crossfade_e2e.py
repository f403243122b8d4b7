"""A cross-fade and a rule-image wipe through the program's own frames:
half-way, every pixel of the window mixes the old screen and the new one
(the wipe's rule and the scene under it) by the same share, each picture's
patch where it belongs (nothing mirrored, nothing left of the window's old
contents), and at the end the new screen stands alone. A hole the old screen
cut fades out as the black it showed. What a side script commits meanwhile
(a 5 ms clock's waits, auto mode switched on, which wakes every wait) leaves
the main script's new picture to its fade, on one core too. A rule whose alpha differs across the
screen covers each part by its own share, soft or hard, and at the end all."""
import os
import time

import velk2e2e as e2e

START = """// the old screen, a click, then a slow cross-fade to the new one
Graphic(Layer=1, File="old.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=1, File="new.png", x=0, y=0)
Transition(Time=4000)
Wait(Time=600000)
"""

WIPE = """// a scene, a click, then a slow rule wipe over it
Graphic(Layer=1, File="under.png", x=0, y=0)
Graphic(Layer=790, File="rule.png", PixelShader=":Transition.CrossDissolve", Transmittance=1)
Apply()
KeyWait()
GraphicSlot(Layer=790, No=1, Time=4000, Transmittance=-1)
Wait(Time=600000)
"""

WIPE_BY_THE_CLICK = """// a scene, a click that loads a rule, then a slow rule wipe over it
Graphic(Layer=1, File="under.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=790, File="rule.png", PixelShader=":Transition.CrossDissolve", Transmittance=1)
GraphicSlot(Layer=790, No=1, Time=4000, Transmittance=-1)
Wait(Time=600000)
"""

ZONED_WIPE = """// a scene, a click, then a slow rule wipe over it whose rule differs across the screen
Graphic(Layer=1, File="under.png", x=0, y=0)
Graphic(Layer=790, File="rule.png", PixelShader="%s", Transmittance=1)
Apply()
KeyWait()
GraphicSlot(Layer=790, No=1, Time=4000, Transmittance=-1)
Wait(Time=600000)
"""

HOLE = """// an old screen with a hole cut in it, a click, then a cross-fade to a whole new one
Graphic(Layer=1, File="hole.png", x=0, y=0, Stencil=-1)
Graphic(Layer=2, File="old.png", x=0, y=0)
Apply()
KeyWait()
GraphicDelete(Layer=1)
Graphic(Layer=2, File="new.png", x=0, y=0)
Transition(Time=4000)
Wait(Time=600000)
"""

# A clock in "system/Function.qvs": every 5 ms its wait ends and it posts
# a change to an object that is not there.
SIDE_CLOCK = """#tick
GraphicAlter(Layer=900, Transmittance=1)
Wait(Time=5)
ScriptJump(Label=#tick)
"""

# The new picture, then a while of work (a few hundred ms of statements,
# many of the clock's ticks), then its cross-fade; %s may switch auto mode on.
BUSY_THEN_FADE = """// the old screen, a click, then a new picture, work, and a slow cross-fade to it
Graphic(Layer=1, File="old.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=1, File="new.png", x=0, y=0)
%s
n = 0
#busy
n = n + 1
if (n < 150000) {
    ScriptJump(Label=#busy)
}
Transition(Time=2000)
Wait(Time=600000)
"""

RED, YELLOW, BLUE, GREEN = (255, 0, 0), (255, 255, 0), (0, 0, 255), (0, 255, 0)
RULE = (200, 100, 50)


def old_picture(x, y):
    # A patch at the top right.
    return YELLOW if 940 <= x < 1140 and 60 <= y < 160 else RED


def new_picture(x, y):
    # A patch at the top left.
    return GREEN if 140 <= x < 340 and 60 <= y < 160 else BLUE


# The zoned rule's alpha in each quarter of the screen, left to right, and
# probes (x, y, rule alpha there, the scene's colour there).
ZONES = (0, 102, 180, 255)
ZONE_PROBES = [(240, 110, 0, GREEN), (160, 600, 0, BLUE), (480, 600, 102, BLUE), (800, 600, 180, BLUE),
               (1120, 110, 255, BLUE), (1120, 600, 255, BLUE)]


# Probes: (x, y, old colour, new colour).
PROBES = [
    (100, 600, RED, BLUE),
    (240, 110, RED, GREEN),
    (1040, 110, YELLOW, BLUE),
    (240, 610, RED, BLUE),
    (1040, 610, RED, BLUE),
    (640, 360, RED, BLUE),
]


class CrossFade(e2e.TestCase):
    def test_half_way_every_pixel_mixes_by_one_share(self):
        with e2e.Session(self) as s:
            s.game.basic(START)
            s.game.png("old.png", e2e.LOGICAL_W, e2e.LOGICAL_H, old_picture)
            s.game.png("new.png", e2e.LOGICAL_W, e2e.LOGICAL_H, new_picture)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(100, 600), RED, 3), 20, 0.2,
                           "the old screen")
            p.click(640, 360)
            time.sleep(1.6)
            shot = p.logical_shot()
            # The new screen's share, from blue over red.
            share = shot.pixel(100, 600)[2] / 255.0
            self.assertTrue(0.15 < share < 0.85, "the fade is under way: share %.2f" % share)
            for x, y, old, new in PROBES:
                want = tuple(o * (1 - share) + n * share for o, n in zip(old, new))
                got = shot.pixel(x, y)
                self.assertTrue(e2e.close_to(got, want, 6), "(%d, %d): %r, want %r" % (x, y, got, want))
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(100, 600), BLUE, 2), 10, 0.2,
                           "the end of the fade")
            shot = p.logical_shot()
            for x, y, _, new in PROBES:
                self.assertTrue(e2e.close_to(shot.pixel(x, y), new, 2), "after: (%d, %d): %r" % (x, y, shot.pixel(x, y)))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_a_side_scripts_commits_leave_the_new_picture_to_its_fade(self):
        # Pinned to one core, where the side script's wake-ups fall between
        # the main script's statements most often.
        cases = [("a 5 ms clock", SIDE_CLOCK, "")] * 3 + [("auto mode on", None, "SystemControl.AutoPlaying(State=1)")]
        for name, side, between in cases:
            with self.subTest(case=name), e2e.Session(self) as s:
                s.game.basic(BUSY_THEN_FADE % between, "Variable(Nomal, Name=n)\n")
                if side is not None:
                    s.game.script("system/Function.qvs", side)
                s.game.png("old.png", e2e.LOGICAL_W, e2e.LOGICAL_H, old_picture)
                s.game.png("new.png", e2e.LOGICAL_W, e2e.LOGICAL_H, new_picture)
                p = s.start(cpus={min(os.sched_getaffinity(0))})
                p.wait_window()
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(100, 600), RED, 3), 20, 0.2,
                               "the old screen")
                p.click(640, 360)
                # The new screen's share, from blue over red, until it stands alone.
                shots = []
                deadline = time.monotonic() + 60
                while time.monotonic() < deadline:
                    shot = p.logical_shot()
                    shots.append((shot.pixel(100, 600)[2] / 255.0, shot))
                    if shots[-1][0] > 0.97:
                        break
                shares = ["%.2f" % share for share, _ in shots]
                self.assertGreater(shots[-1][0], 0.97, "the new screen at last: %s" % shares)
                mixed = [i for i, (share, _) in enumerate(shots) if 0.15 < share < 0.85]
                self.assertTrue(mixed, "the new picture came in a fade: %s" % shares)
                self.assertTrue(all(share < 0.15 for share, _ in shots[:mixed[0]]),
                                "the old screen until the fade: %s" % shares)
                share, shot = min((shots[i] for i in mixed), key=lambda item: abs(item[0] - 0.5))
                for x, y, old, new in PROBES:
                    want = tuple(o * (1 - share) + n * share for o, n in zip(old, new))
                    got = shot.pixel(x, y)
                    self.assertTrue(e2e.close_to(got, want, 6), "(%d, %d): %r, want %r" % (x, y, got, want))
                p.close_window()
                self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_half_way_the_hole_of_the_old_screen_shows_black_under_the_new(self):
        with e2e.Session(self) as s:
            s.game.basic(HOLE)
            s.game.png("hole.png", 200, 200, lambda x, y: (0, 0, 0, 0))
            s.game.png("old.png", e2e.LOGICAL_W, e2e.LOGICAL_H, lambda x, y: RED)
            s.game.png("new.png", e2e.LOGICAL_W, e2e.LOGICAL_H, lambda x, y: BLUE)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(100, 600), RED, 3), 20, 0.2,
                           "the old screen")
            self.assertTrue(e2e.close_to(p.logical_shot().pixel(640, 360), (0, 0, 0), 3), "the hole, black")
            p.click(640, 360)
            time.sleep(1.6)
            shot = p.logical_shot()
            share = shot.pixel(100, 600)[2] / 255.0
            self.assertTrue(0.15 < share < 0.85, "the fade is under way: share %.2f" % share)
            for x, y, old in [(100, 600, RED), (640, 360, (0, 0, 0)), (560, 280, (0, 0, 0)), (760, 360, RED)]:
                want = tuple(o * (1 - share) + n * share for o, n in zip(old, BLUE))
                got = shot.pixel(x, y)
                self.assertTrue(e2e.close_to(got, want, 6), "(%d, %d): %r, want %r" % (x, y, got, want))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_half_way_a_rule_wipe_covers_every_pixel_by_one_share(self):
        # A soft wipe whose rule is (R, G, B) = (200, 100, 50) at alpha 102
        # covers by 2a/255 - 0.4 at vertex alpha a, the same everywhere;
        # alike when the rule is only loaded by the click, over a scene that
        # is just its one picture.
        for script in (WIPE, WIPE_BY_THE_CLICK):
            with self.subTest(script=script.splitlines()[0]):
                self.half_way_a_rule_wipe_covers_every_pixel_by_one_share(script)

    def half_way_a_rule_wipe_covers_every_pixel_by_one_share(self, script):
        with e2e.Session(self) as s:
            s.game.basic(script)
            s.game.png("under.png", e2e.LOGICAL_W, e2e.LOGICAL_H, new_picture)
            s.game.png("rule.png", e2e.LOGICAL_W, e2e.LOGICAL_H, lambda x, y: RULE + (102,))
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(100, 600), BLUE, 3), 20, 0.2,
                           "the scene before the wipe")
            p.click(640, 360)
            time.sleep(1.8)
            shot = p.logical_shot()
            cover = shot.pixel(100, 600)[0] / 200.0
            self.assertTrue(0.1 < cover < 0.9, "the wipe is under way: cover %.2f" % cover)
            for x, y, _, under in PROBES:
                want = tuple(r * cover + u * (1 - cover) for r, u in zip(RULE, under))
                got = shot.pixel(x, y)
                self.assertTrue(e2e.close_to(got, want, 6), "(%d, %d): %r, want %r" % (x, y, got, want))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_a_zoned_rule_covers_each_part_by_its_own_share_and_at_the_end_all(self):
        # Soft: rule alpha r covers by 2a - r at quad alpha a, saturated, so
        # 2a is read from the zone of r = 102 and the other zones follow from
        # it. Hard: a zone is wholly covered once a reaches its r, so the
        # covered zones are the first few. At the end a is 1 and every zone
        # shows the rule's colour.
        for shader in (":Transition.CrossDissolve", ":Transition.DitherDissolve"):
            with self.subTest(shader=shader), e2e.Session(self) as s:
                s.game.basic(ZONED_WIPE % shader)
                s.game.png("under.png", e2e.LOGICAL_W, e2e.LOGICAL_H, new_picture)
                s.game.png("rule.png", e2e.LOGICAL_W, e2e.LOGICAL_H, lambda x, y: RULE + (ZONES[x // 320],))
                p = s.start()
                p.wait_window()
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(160, 600), BLUE, 3), 20, 0.2,
                               "the scene before the wipe")
                p.click(640, 360)
                time.sleep(1.8)
                shot = p.logical_shot()
                covers = [shot.pixel(x, y)[0] / RULE[0] for x, y, _, _ in ZONE_PROBES]
                if shader == ":Transition.CrossDissolve":
                    self.assertTrue(0.1 < covers[2] < 0.9, "the wipe is under way: cover %.2f" % covers[2])
                    twice = 255 * covers[2] + 102
                    wants = [min(1.0, max(0.0, (twice - r) / 255)) for _, _, r, _ in ZONE_PROBES]
                else:
                    wants = [1.0 if cover > 0.5 else 0.0 for cover in covers]
                    self.assertEqual((wants[0], wants[-1]), (1.0, 0.0), "the wipe is under way: %r" % covers)
                    self.assertEqual(wants, sorted(wants, reverse=True), "the first zones covered: %r" % covers)
                for (x, y, _, under), cover in zip(ZONE_PROBES, wants):
                    want = tuple(r * cover + u * (1 - cover) for r, u in zip(RULE, under))
                    got = shot.pixel(x, y)
                    self.assertTrue(e2e.close_to(got, want, 6), "(%d, %d): %r, want %r" % (x, y, got, want))
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(1120, 600), RULE, 2), 10, 0.2,
                               "the end of the wipe")
                shot = p.logical_shot()
                for x, y, _, _ in ZONE_PROBES:
                    got = shot.pixel(x, y)
                    self.assertTrue(e2e.close_to(got, RULE, 2), "after: (%d, %d): %r" % (x, y, got))
                p.close_window()
                self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
