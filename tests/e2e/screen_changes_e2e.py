"""What a script changes shows on a screen where nothing else moves: a
filter ended or switched, a slot loaded or the game restarted after a filter
was set, a disabled case of a choice and a save's thumbnail in a slot that
was empty.

Colours come from arithmetic: ":Pixel.Monochro" turns a pixel into
0.299 r + 0.587 g + 0.114 b in every channel, so pure red (255, 0, 0) shows as
grey 76. A picture is centred on its position: scene (x, y) lands on logical
pixel (640 + x, 360 - y)."""
import time

import velk2e2e as e2e

RED = (255, 0, 0)
GREY = (76, 76, 76)  # 0.299 * 255 = 76.2
BACK, NORMAL, SELECT, DISABLE = (20, 30, 60), (0, 140, 0), (230, 230, 230), (120, 0, 160)
SLOT_PIC = (250, 200, 0)
SEPIA = (72, 60, 43)  # that grey times (0.941, 0.784, 0.569)
BLUE = (0, 0, 255)


def at(x, y):
    return e2e.LOGICAL_W // 2 + x, e2e.LOGICAL_H // 2 - y


def stand_still():
    """A player reads a still screen for a while before clicking: long
    enough for the program to settle into skipping its unchanged frames."""
    time.sleep(1.5)


def shows(p, point, colour, tol=6):
    return e2e.close_to(p.logical_shot().pixel(*point), colour, tol)


class ScreenChanges(e2e.TestCase):
    def test_filter_ended_or_switched_with_nothing_else_moving(self):
        cases = [
            ("ended", "", RED),
            ("switched", ":Pixel.Sepia", SEPIA),
        ]
        for name, second, colour in cases:
            start = """Graphic(Layer=1, File="red.png", x=0, y=0)
GraphicFilter(Layer=790, File=":Pixel.Monochro")
Apply()
KeyWait()
GraphicFilter(Layer=790, File="%s")
Apply()
Wait(Time=600000)
""" % second
            with e2e.Session(self) as s:
                s.game.basic(start)
                s.game.png("red.png", e2e.LOGICAL_W, e2e.LOGICAL_H, RED)
                p = s.start()
                p.wait_window()
                e2e.wait_until(lambda: shows(p, at(0, 0), GREY), 30, 0.1, "the filter turns the red grey")
                stand_still()
                p.click(*at(0, 0))
                e2e.wait_until(lambda: shows(p, at(0, 0), colour), 10, 0.1, "the filter %s to show" % name)
                p.close_window()
                self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_load_or_restart_after_a_filter_shows_the_scene_without_it(self):
        # The slot is saved before the filter is set; the global (kept out of
        # play data, and over a restart) tells the pass after the load or
        # restart from the first, and shows the mark.
        cases = [
            ("load", "PlayDataLoad(No=1)"),
            ("restart", "Restart()"),
        ]
        for name, replace in cases:
            start = """Graphic(Layer=1, File="red.png", x=0, y=0)
Apply()
PlayDataSave(No=1)
if (again = 1) {
    Graphic(Layer=2, File="mark.png", x=500, y=300)
    Apply()
    Wait(Time=600000)
}
GraphicFilter(Layer=790, File=":Pixel.Monochro")
Apply()
KeyWait()
again = 1
%s
Wait(Time=600000)
""" % replace
            with e2e.Session(self) as s:
                s.game.basic(start, "Variable(Global, Name=again)\n")
                s.game.png("red.png", e2e.LOGICAL_W, e2e.LOGICAL_H, RED)
                s.game.png("mark.png", 40, 40, SLOT_PIC)
                p = s.start()
                p.wait_window()
                e2e.wait_until(lambda: shows(p, at(0, 0), GREY), 30, 0.1, "the filter turns the red grey")
                stand_still()
                p.click(*at(0, 0))
                # The mark, in whichever colours, once the script goes on after the load.
                e2e.wait_until(lambda: not shows(p, at(500, 300), RED, 40) and not shows(p, at(500, 300), GREY, 40),
                               30, 0.1, "the script to go on after the %s" % name)
                # The scene set no filter, so none is left over it, also once
                # the load's fade (1 s) is over.
                e2e.wait_until(lambda: shows(p, at(0, 0), RED), 10, 0.1, "the plain colours after the %s" % name)
                time.sleep(1.5)
                shot = p.logical_shot()
                for point in (at(0, 0), at(-600, 340), at(600, -340)):
                    self.assertTrue(e2e.close_to(shot.pixel(*point), RED, 6),
                                    "%s: %r at %r" % (name, shot.pixel(*point), point))
                p.close_window()
                self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_disabled_case_shows_disabled_from_its_first_frame(self):
        # The background goes up first; the choice's pictures and texts come
        # with the "Select" in one batch, so every screenshot that shows the
        # enabled case's picture must show the disabled one's picture and
        # text colour too.
        case = """    Case(GraphicLayer=%d, GraphicNomalFile="normal.png", GraphicSelectFile="select.png",
         GraphicDisableFile="disable.png", Text="■■", TextNomalColor=0x00FF00,
         TextDisableColor=0xFF0000, MoveOn=1%s) {
        Wait(Time=600000)
    }
"""
        start = ("""Graphic(Layer=1, File="back.png", x=0, y=0)
Apply()
Wait(Time=300)
Graphic(Layer=10, File="normal.png", x=-200, y=0)
Graphic(Layer=11, File="normal.png", x=200, y=0)
Select() {
""" + case % (10, ", Disable=1") + case % (11, "") + "}\n")
        with e2e.Session(self) as s:
            s.game.basic(start)
            s.game.png("back.png", e2e.LOGICAL_W, e2e.LOGICAL_H, BACK)
            s.game.png("normal.png", 200, 100, NORMAL)
            s.game.png("select.png", 200, 100, SELECT)
            s.game.png("disable.png", 200, 100, DISABLE)
            p = s.start()
            p.wait_window()
            shots = []
            # A corner of each case's picture that its text leaves alone.
            disabled_corner, enabled_corner = at(-200 + 90, -40), at(200 + 90, -40)

            def choice_shows():
                shots.append(p.logical_shot())
                return e2e.close_to(shots[-1].pixel(*enabled_corner), NORMAL, 6)

            # The pointer stays where the harness left it, off both cases.
            e2e.wait_until(choice_shows, 30, 0.02, "the choice to show")
            shot = shots[-1]
            self.assertTrue(e2e.close_to(shot.pixel(*disabled_corner), DISABLE, 6),
                            "the disabled case's picture on the first shot of the choice: %r, expected %r"
                            % (shot.pixel(*disabled_corner), DISABLE))

            def text_colours(centre_x):
                red = green = 0
                for y in range(310, 411):
                    for x in range(centre_x - 100, centre_x + 101):
                        r, g, b = shot.pixel(x, y)
                        red += r > 200 and g < 60 and b < 60
                        green += g > 200 and r < 60 and b < 60
                return red, green

            self.assertEqual(text_colours(at(200, 0)[0])[0], 0, "the enabled case's text has no red")
            self.assertGreater(text_colours(at(200, 0)[0])[1], 0, "the enabled case's text in its normal green")
            red, green = text_colours(at(-200, 0)[0])
            self.assertGreater(red, 0, "the disabled case's text in its disabled red")
            self.assertEqual(green, 0, "the disabled case's text not in the normal green")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

    def test_thumbnail_of_an_empty_slot_shows_once_saved(self):
        # A save screen shows slot 2's thumbnail before anything is saved in
        # it, over the right half of a red | blue screen. The thumbnail is
        # that screen in 142 x 80, centred at scene (300, 0): its left half,
        # scene x 229 to 300, is red where the screen under it is blue.
        start = """Graphic(Layer=1, File="halves.png", x=0, y=0)
GraphicPlayDataThumbnail(Layer=2, No=2, x=300, y=0)
Apply()
KeyWait()
PlayDataSave(No=2)
Wait(Time=600000)
"""
        with e2e.Session(self) as s:
            s.game.basic(start)
            s.game.png("halves.png", e2e.LOGICAL_W, e2e.LOGICAL_H,
                       lambda x, y: RED if x < e2e.LOGICAL_W // 2 else BLUE)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: shows(p, at(-300, 0), RED), 30, 0.1, "the screen to show")
            self.assertTrue(shows(p, at(265, 0), BLUE), "an empty slot shows no thumbnail")
            stand_still()
            p.click(*at(-300, 200))
            e2e.wait_until(lambda: s.user_file("save0002.dat").is_file(), 30, 0.1, "the save")
            e2e.wait_until(lambda: shows(p, at(265, 0), RED, 12), 10, 0.1, "the saved thumbnail to show")
            self.assertTrue(shows(p, at(335, 0), BLUE, 12), "the thumbnail's right half is the blue half")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())

if __name__ == "__main__":
    e2e.main()
