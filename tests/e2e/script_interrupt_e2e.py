""""ScriptInterrupt" as a player meets it.

A main script that runs "ScriptInterrupt" itself: the interrupt script runs
once, then the main script goes on after the statement and ends, and with it
the program (exit code 0).

A menu that "system\\Function.qvs" opens over the main script comes between
two of its statements: a statement that runs to its end ("ScriptCall", an
assignment, "Transition") runs once, the menu after it, then the next one.
Hammered with menus, a loop of calls counts each call once; a menu opened by
a right click during a 4 s fade opens when the fade ends, and the page goes
on as soon as the menu closes instead of fading again on a still screen.

With the game's calls as deep as they may go, the engine's own frames still
come: the script run after a load, and the backlog that wheel-up opens over
the page, which keeps waiting.

While the main script runs statement after statement (it is not waiting),
every right click and key still reaches the side script's choice, and the
settings screen a side script opens stays until the player leaves it."""
import time

import velk2e2e as e2e

VARIABLES = """Variable(Global, Name=interrupts)
Variable(Global, Name=after)
"""
START = """ScriptInterrupt(File="intr.qvs")
after = after + 1
"""
INTERRUPT = "interrupts = interrupts + 1\n"

COUNTERS = """Variable(Global, Name=calls)
Variable(Global, Name=loops)
Variable(Global, Name=menus)
Variable(Global, Name=after)
"""
# The loop ends once the menu has come often enough; the program with it.
CALL_LOOP = """#again
ScriptCall(File="scene.qvs")
loops = loops + 1
if (menus < 60) { ScriptJump(Label=#again) }
"""
SCENE = "calls = calls + 1\n"
HAMMER = 'Wait(Time=3)\nScriptInterrupt(File="menu.qvs")\n'
COUNT_MENU = "menus = menus + 1\n"

RED, BLUE, MENU, DONE = (220, 30, 30), (30, 30, 220), (30, 200, 60), (240, 220, 20)
FADE = """Graphic(Layer=1, File="red.png", x=0, y=0)
Apply()
Wait(Time=300)
Graphic(Layer=1, File="blue.png", x=0, y=0)
Transition(Time=4000)
after = after + 1
Graphic(Layer=5, File="done.png", x=300, y=-200)
Apply()
Wait(Time=600000)
"""
RIGHT_CLICK_MENU = """Select {
    Case(InKeyMouse=2) {
        ScriptInterrupt(File="menu.qvs")
    }
}
Wait(Time=600000)
"""
SHOWN_MENU = """menus = menus + 1
Graphic(Layer=9, File="menu.png", x=-300, y=200)
Apply()
Wait(Time=1000)
GraphicDelete(Layer=9)
Apply()
"""

# The game's calls go as deep as they may; the deepest saves, loads that save
# and shows a page. The engine's own frames still come: the script after the
# load, and the backlog that wheel-up opens over the page.
DEEP = """#down
ScriptCall(Label=#down)
if (reached = 0) {
    reached = 1
    PlayDataSave(No=1)
    if (loads = 0) {
        loads = 1
        PlayDataLoad(No=1)
    }
    Graphic(Layer=4, File="menu.png", x=300, y=-200)
    Apply()
    KeyWait()
    Graphic(Layer=5, File="done.png", x=300, y=-200)
    Apply()
    Wait(Time=600000)
}
"""
DEEP_VARIABLES = """Variable(Global, Name=reached)
Variable(Global, Name=loads)
Variable(Global, Name=preloads)
Variable(Global, Name=backlogs)
"""
PRE_DATA_LOAD = "preloads = preloads + 1\n"
BACKLOG = """backlogs = backlogs + 1
Graphic(Layer=6, File="red.png", x=-300, y=200)
Apply()
"""

# The main script never waits: it only runs statements, until the window closes.
BUSY = """Graphic(Layer=1, File="red.png")
Apply()
#busy
spins = spins + 1
ScriptJump(Label=#busy)
"""
BUSY_VARIABLES = """Variable(Global, Name=clicks)
Variable(Global, Name=configs)
Variable(Nomal, Name=spins)
"""
SIDE_CHOICES = """Select {
    Case(InKeyMouse=2) {
        clicks = clicks + 1
    }
    Case(InKey=67) {
        configs = configs + 1
        Config
    }
}
"""


def at(x, y):
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


class ScriptInterrupt(e2e.TestCase):
    def test_the_main_script_goes_on_after_its_own_interrupt(self):
        with e2e.Session(self) as s:
            s.game.basic(START, VARIABLES)
            s.game.script("intr.qvs", INTERRUPT)
            p = s.start()
            # An interrupt that ran for ever would keep the program open.
            self.assertEqual(p.wait_exit(60), 0, p.stderr())
            globals_ = e2e.system_globals(s.user_file("System.dat").read_bytes())
            self.assertEqual(globals_["interrupts"][1], 1, "the interrupt ran once")
            self.assertEqual(globals_["after"][1], 1, "the statement after it ran once")

    def test_a_menu_between_calls_plays_each_call_once(self):
        with e2e.Session(self) as s:
            s.game.basic(CALL_LOOP, COUNTERS)
            s.game.script("scene.qvs", SCENE)
            s.game.script("system/Function.qvs", HAMMER)
            s.game.script("menu.qvs", COUNT_MENU)
            p = s.start()
            self.assertEqual(p.wait_exit(120), 0, p.stderr())
            globals_ = e2e.system_globals(s.user_file("System.dat").read_bytes())
            loops, calls, menus = (globals_[name][1] for name in ("loops", "calls", "menus"))
            self.assertGreaterEqual(menus, 60)
            self.assertGreater(loops, 0)
            self.assertEqual(calls, loops, "each pass of the loop called its scene once (%d menus)" % menus)

    def test_a_menu_during_a_fade_comes_after_it_and_the_fade_runs_once(self):
        with e2e.Session(self) as s:
            s.game.basic(FADE, COUNTERS)
            s.game.script("system/Function.qvs", RIGHT_CLICK_MENU)
            s.game.script("menu.qvs", SHOWN_MENU)
            for name, colour, size in (("red.png", RED, (e2e.LOGICAL_W, e2e.LOGICAL_H)),
                                       ("blue.png", BLUE, (e2e.LOGICAL_W, e2e.LOGICAL_H)),
                                       ("menu.png", MENU, (60, 60)), ("done.png", DONE, (60, 60))):
                s.game.png(name, size[0], size[1], colour)
            p = s.start()
            p.wait_window()

            # Red and blue mixed, not the black before the first picture.
            def fading():
                r, _g, b = p.logical_shot().pixel(*at(0, 0))
                return 60 < r < RED[0] - 30 and 60 < b < BLUE[2] - 30

            e2e.wait_until(fading, 30, 0.05, "the fade from red to blue")
            p.click(*at(0, 0), button=3)
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*at(-300, 200)), MENU, 8), 30, 0.05,
                           "the menu")
            menu_at = time.monotonic()
            centre = p.logical_shot().pixel(*at(0, 0))
            self.assertTrue(e2e.close_to(centre, BLUE, 8), "the fade ended first: %r" % (centre,))
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(*at(300, -200)), DONE, 8), 30, 0.05,
                           "the page after the fade")
            # The menu stands 1 s; a fade run again would hold the screen 4 s more.
            self.assertLess(time.monotonic() - menu_at, 3.0, "the page went on when the menu closed")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            globals_ = e2e.system_globals(s.user_file("System.dat").read_bytes())
            self.assertEqual((globals_["menus"][1], globals_["after"][1]), (1, 1))

    def test_the_engines_own_frames_come_when_the_games_calls_are_at_their_limit(self):
        with e2e.Session(self) as s:
            s.game.basic(DEEP, DEEP_VARIABLES)
            s.game.script("system/PreDataLoad.qvs", PRE_DATA_LOAD)
            s.game.script("system/History.qvs", BACKLOG)
            s.game.png("menu.png", 60, 60, MENU)
            s.game.png("done.png", 60, 60, DONE)
            s.game.png("red.png", 60, 60, RED)
            p = s.start()
            p.wait_window()

            def shown(xy, colour):
                return e2e.close_to(p.logical_shot().pixel(*at(*xy)), colour, 8)

            e2e.wait_until(lambda: shown((300, -200), MENU), 60, 0.2, "the page after the load")
            p.move(*at(0, 0))

            def backlog():
                if shown((-300, 200), RED):
                    return True
                p.wheel(up=True)
                return False

            e2e.wait_until(backlog, 15, 0.5, "wheel-up to open the backlog")
            time.sleep(1.0)
            self.assertFalse(shown((300, -200), DONE), "wheel-up left the page as it was")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            globals_ = e2e.system_globals(s.user_file("System.dat").read_bytes())
            self.assertEqual((globals_["loads"][1], globals_["preloads"][1]), (1, 1), "the load ran PreDataLoad")
            self.assertGreaterEqual(globals_["backlogs"][1], 1)

    def test_a_main_script_running_statements_leaves_the_side_scripts_their_input(self):
        with e2e.Session(self) as s:
            s.game.basic(BUSY, BUSY_VARIABLES)
            s.game.script("system/Function.qvs", SIDE_CHOICES)
            s.game.png("red.png", e2e.LOGICAL_W, e2e.LOGICAL_H, RED)
            s.game.png("system/config.png", e2e.LOGICAL_W, e2e.LOGICAL_H, MENU)
            p = s.start()
            p.wait_window()

            def centre(colour):
                return e2e.close_to(p.logical_shot().pixel(*at(0, 0)), colour, 8)

            e2e.wait_until(lambda: centre(RED), 30, 0.05, "the red screen")
            clicks = 8
            for _ in range(clicks):
                p.click(*at(0, 0), button=3)
                time.sleep(0.3)
            p.key("c")
            e2e.wait_until(lambda: centre(MENU), 15, 0.05, "the settings screen on C")
            time.sleep(5.0)
            self.assertTrue(centre(MENU), "the settings screen stays until the player leaves it")
            p.click(*at(0, 0), button=3)
            e2e.wait_until(lambda: centre(RED), 15, 0.05, "a right click to leave the settings screen")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())
            globals_ = e2e.system_globals(s.user_file("System.dat").read_bytes())
            self.assertEqual((globals_["clicks"][1], globals_["configs"][1]), (clicks, 1),
                             "every right click and the C reached the side script")


if __name__ == "__main__":
    e2e.main()
