"""The sample game played through as a player would, in two runs.

Run 1: the title, a new game, the dialogue (ruby, colour, voices), the choice
(first answer), a save from the menu, the backlog (the newest page's ▶ replays
its voice), the settings screen, the ending with its voice, back to the title
and quit. Run 2, with the same
per-user folder: "continue" is offered, the save of run 1 loads where it was
made, the choice's own save (slot 0) brings the choice back, the second answer,
the ending and quit.

Expected colours are worked out from the colours the asset script draws with
(a picture's colour, blended by its alpha over what lies under it).
Set VELK2_E2E_SHOTS to a folder to keep screenshots of the main screens.
"""
import os
import statistics
import time
from pathlib import Path

import velk2e2e as e2e

GAME = Path(__file__).resolve().parents[2] / "games" / "sample"


def blend(top, alpha, under):
    return tuple(alpha * t + (1 - alpha) * u for t, u in zip(top, under))


def gradient(top, bottom, y, height=720):
    f = y / (height - 1)
    return tuple(t + (b - t) * f for t, b in zip(top, bottom))


# Places of the game's pictures (logical x0, y0, x1, y1) and their colours.
TITLE_SKY = ((20, 4, 60, 14), gradient((0x1D, 0x2B, 0x64), (0xF8, 0xCD, 0xDA), 9))
# The left end of "continue": disabled (grey at half alpha) or normal.
CONTINUE_AREA = (468, 452, 488, 478)
SKY_465 = gradient((0x1D, 0x2B, 0x64), (0xF8, 0xCD, 0xDA), 465)
CONTINUE_DISABLED = blend((0x30, 0x30, 0x30), 0x80 / 255, SKY_465)
CONTINUE_ENABLED = blend((0x1A, 0x20, 0x40), 0xB0 / 255, SKY_465)
# The strip left of the text window, low on the screen.
CORNER = (8, 640, 40, 700)
ROOM_FLOOR = (0xC9, 0xA7, 0x7C)
PARK_GRASS = (0x6F, 0xA5, 0x5A)
STREET_SKY = gradient((0xA7, 0xD8, 0xF5), (0xEA, 0xF6, 0xFF), 670)
LIBRARY_SKY = gradient((0x3A, 0x4A, 0x7A), (0xC9, 0xD4, 0xE8), 670)
NIGHT_HILL = (0x0B, 0x0F, 0x24)
END_CARD = ((10, 10, 200, 100), (0x20, 0x30, 0x48))
# The choice's first bar, left of its text: normal (dark blue) and pointed at
# (orange); the second bar stands 100 px lower.
CHOICE_AREA = (336, 218, 356, 242)
STREET_SKY_230 = gradient((0xA7, 0xD8, 0xF5), (0xEA, 0xF6, 0xFF), 230)
CHOICE_OFF = blend((0x18, 0x28, 0x50), 0xD8 / 255, STREET_SKY_230)
CHOICE_ON = blend((0xD0, 0x80, 0x30), 0xE8 / 255, STREET_SKY_230)
CHOICE2_AREA = (336, 318, 356, 342)
CHOICE2_ON = blend((0xD0, 0x80, 0x30), 0xE8 / 255, gradient((0xA7, 0xD8, 0xF5), (0xEA, 0xF6, 0xFF), 330))
PARK_SKY_85 = gradient((0xFF, 0xB3, 0x6B), (0xFF, 0xE9, 0xC4), 85)
MENU_PANEL = ((926, 75, 940, 95), blend((0x0C, 0x14, 0x30), 0xE0 / 255, PARK_SKY_85))
SAVE_SCREEN = ((10, 200, 40, 220), blend((0x0A, 0x0F, 0x24), 0xF0 / 255,
                                             gradient((0xFF, 0xB3, 0x6B), (0xFF, 0xE9, 0xC4), 210)))
LOAD_OVER_TITLE = ((10, 200, 40, 220), blend((0x0A, 0x0F, 0x24), 0xF0 / 255,
                                             gradient((0x1D, 0x2B, 0x64), (0xF8, 0xCD, 0xDA), 210)))
BACKLOG = ((300, 80, 340, 100), blend((0x06, 0x0A, 0x1C), 0xE8 / 255,
                                      gradient((0xFF, 0xB3, 0x6B), (0xFF, 0xE9, 0xC4), 90)))
SETTINGS_BACK = ((800, 620, 840, 660), gradient((0x14, 0x1C, 0x3C), (0x2A, 0x1C, 0x3C), 640))
# "Window" of the screen-mode row, lit (orange) in a window.
SETTINGS_WINDOW_ON = ((316, 74, 330, 98), (0xE0, 0x90, 0x40))
# The text box's top stands at y = 550 (window centre 610, box centre 15 below
# it, half its 150 px height above that): a page's line n takes the 30 px
# from 540 + 50 (n - 1), and its ruby the half-size cell centred 17 px above
# the box's top, one line lower for each line.
# Above the first characters of the second line of a page: where the ruby
# of a word at the start of that line stands.
RUBY_AREA = (95, 570, 175, 589)
# The first and second line of a page in the text window.
LINE1_AREA = (100, 540, 400, 570)
LINE2_AREA = (100, 590, 700, 620)
TEXT_WINDOW_LINE2 = (100, 590, 1200, 620)
# The whole text box, with the ruby over its first line and the name.
TEXT_WINDOW = (100, 530, 1200, 700)

# The speaker's name at the start of a page, and the marks of the play modes.
NAME_AREA = (100, 540, 132, 570)
PARK_SKY_40 = gradient((0xFF, 0xB3, 0x6B), (0xFF, 0xE9, 0xC4), 40)
AUTO_MARK = ((978, 30, 992, 50), blend((0x30, 0x60, 0xC0), 0xD0 / 255, PARK_SKY_40))
SKIP_MARK = ((1138, 30, 1152, 50), blend((0xC0, 0x30, 0x30), 0xD0 / 255, PARK_SKY_40))

# Logical points to click.
START, CONTINUE, QUIT = (640, 390), (640, 465), (640, 615)
PAGE = (640, 420)
FIRST_ANSWER, SECOND_ANSWER = (640, 230), (640, 330)
MENU_SAVE, MENU_LOAD, MENU_CONFIG = (1080, 115), (1080, 185), (1080, 255)
SLOT0, SLOT1 = (640, 170), (640, 300)
# Pointed at: a menu button's left end (opaque orange), a save slot's top
# strip (brown over the screen's dark veil; what lies under the veil moves
# it by a unit at most).
MENU_SAVE_LIT = ((960, 105, 975, 125), (0xE0, 0x90, 0x40))
MENU_CONFIG_LIT = ((960, 245, 975, 265), (0xE0, 0x90, 0x40))
SLOT0_TOP, SLOT1_TOP = (420, 116, 1000, 122), (420, 246, 1000, 252)


# The backlog's voice buttons: a blue disc, orange while pointed at.
VOICE_BUTTON = ((0x30, 0x50, 0xA0), (0xE0, 0x90, 0x40))


def newest_voice_button(img):
    """The centre of the voice button lowest on the screen (the newest page's),
    or None: the middle of the button colour's pixels below y = 480."""
    found = [(x, y) for y in range(480, 720, 2) for x in range(0, 1280, 2)
             if any(e2e.close_to(img.pixel(x, y), c, 12) for c in VOICE_BUTTON)]
    if len(found) < 20:
        return None
    return (sum(x for x, _ in found) // len(found), sum(y for _, y in found) // len(found))


def voice_heard(audio, since, voice, within=1.5):
    """How closely the audio's loudness follows the voice file's, begun within
    `within` s after `since`: the best correlation of their 50 ms envelopes,
    over starts 10 ms apart. Music under it lowers it a little."""
    wanted = voice.envelope(0.0, None, 0.05, 0.05)
    heard = audio.envelope(since, since + within + voice.seconds, 0.05, 0.01)
    starts = range(len(heard) - 5 * (len(wanted) - 1))
    return max((statistics.correlation(wanted, heard[i::5][:len(wanted)]) for i in starts), default=0.0)


def slot_lit(under):
    return blend((0x60, 0x40, 0x20), 0xE0 / 255, blend((0x0A, 0x0F, 0x24), 0xF0 / 255, under))


def copy_game(session):
    for path in GAME.rglob("*"):
        if path.is_file() and "tools" not in path.relative_to(GAME).parts and path.name != "README.md":
            session.game.file(str(path.relative_to(GAME)), path.read_bytes())


def brightest(img, box):
    x0, y0, x1, y1 = box
    return max(max(img.pixel(x, y)) for y in range(y0, y1, 2) for x in range(x0, x1, 2))


def on_the_way(colour, start, end, tol=10):
    """Whether colour is a cross-fade of start into end, past its start."""
    step = [b - a for a, b in zip(start, end)]
    f = sum((c - a) * d for c, a, d in zip(colour, start, step)) / sum(d * d for d in step)
    mixed = tuple(a + f * d for a, d in zip(start, step))
    return f <= 1.05 and e2e.close_to(colour, mixed, tol) and not e2e.close_to(colour, start, tol)


# Bright enough for text; what shows through the window stays darker.
_TEXT_BRIGHT = bytes(1 if value > 180 else 0 for value in range(256))


def page(p):
    """The text in the text window as it stands now: where it is bright. What
    shows through the window (a character breathing behind it) is not text."""
    return p.logical_shot().region(*TEXT_WINDOW).translate(_TEXT_BRIGHT)


def still_page(p, done=lambda: False, settle=0.35, timeout=15.0):
    """Waits until the text window has stood still for `settle` seconds, its
    page's text all out, so that a click turns the page rather than completing
    it; returns what it shows, or None if done() held first."""
    seen = [page(p), time.monotonic()]

    def still_or_done():
        if done():
            return True
        now = page(p)
        if now != seen[0]:
            seen[:] = [now, time.monotonic()]
            return False
        return time.monotonic() - seen[1] >= settle

    e2e.wait_until(still_or_done, timeout, 0.1, "the page to stand still")
    return None if done() else seen[0]


def near_colour(c):
    """The blue-grey 0xA0B0D0 of the thought, where a character covers a pixel whole."""
    return c[2] >= 190 and 130 <= c[0] <= 185 and c[2] - c[0] >= 30


def has_colour(img, box, test):
    x0, y0, x1, y1 = box
    return any(test(img.pixel(x, y)) for y in range(y0, y1) for x in range(x0, x1))


class SampleGame(e2e.TestCase):
    last_point = None

    def click(self, p, point, button=1):
        """A click at a logical point. xdotool's synchronous move waits for the
        pointer to move, so a second click on the same spot is made a pixel
        beside it."""
        x, y = point
        if (x, y) == self.last_point:
            x += 1
        self.last_point = (x, y)
        p.click(x, y, button=button)

    def move(self, p, point):
        if tuple(point) == self.last_point:
            point = (point[0] + 1, point[1])
        self.last_point = tuple(point)
        p.move(*point)

    def shows(self, p, box, colour, tol=10):
        return e2e.close_to(p.logical_shot().average(*box), colour, tol)

    def wait_for(self, p, box, colour, what, timeout=15.0, tol=10):
        if os.environ.get("VELK2_E2E_TRACE"):
            print("%7.1f %s" % (time.monotonic() - self.t0, what), flush=True)
        def check():
            avg = p.logical_shot().average(*box)
            self.last = avg
            return e2e.close_to(avg, colour, tol)
        self.last = None
        try:
            e2e.wait_until(check, timeout, 0.15, what)
        except AssertionError as error:
            raise AssertionError("%s: last seen %r, expected %r" % (error, self.last, colour)) from None

    def keep(self, p, name):
        folder = os.environ.get("VELK2_E2E_SHOTS")
        if folder:
            Path(folder).mkdir(parents=True, exist_ok=True)
            p.logical_shot().save_png(str(Path(folder) / (name + ".png")))

    def click_until(self, p, point, done, what, tries=3, interval=4.0):
        """Clicks until done() holds. A click is heard only while the script
        waits for one, and a click while a page's text still comes out only
        completes it, neither of which a test sees from outside; so it clicks
        again, as a player would, until the screen shows what comes next."""
        for attempt in range(tries):
            self.click(p, point)
            try:
                e2e.wait_until(done, interval, 0.15, what)
                return
            except AssertionError:
                if attempt == tries - 1:
                    raise

    def turn_page(self, p, done=lambda: False):
        """Reads the page to its end, then clicks once, as a player does, and
        waits until the click shows (the text window changes, or done()
        holds): a loaded machine may be slow to show it, and a second click
        would land on a page the test has not seen, or skip a wait. Returns
        where the audio stood just before the click; None if done() held
        before one was needed."""
        before = still_page(p, done)
        if before is None:
            return None
        mark = p.audio().seconds
        self.click(p, PAGE)
        e2e.wait_until(lambda: done() or page(p) != before, 10, 0.1, "the page to turn after a click")
        return mark

    def read_until(self, p, done, what, pages=12):
        """Goes on page by page until done() holds."""
        for _ in range(pages):
            if done():
                return
            self.turn_page(p, done)
        e2e.wait_until(done, 5.0, 0.15, what)

    def choose(self, p, point, area, lit, what):
        """Points at a case until it shows lit, then clicks it. A case lights
        only while the choice waits, so the lit case says the click will be
        taken; a pointer that came before the wait began is moved again."""
        for attempt in range(4):
            self.move(p, (point[0], point[1] + attempt % 2))
            try:
                self.wait_for(p, area, lit, what, timeout=2.0)
                break
            except AssertionError:
                if attempt == 3:
                    raise
        self.click(p, point)

    def ending(self, p, scene):
        """From the last pages of a branch (whose corner shows `scene`) to the
        title: the ending's voice plays once the music has faded, the end
        card, then "Restart"."""
        # Page by page until the picture starts to fade into the night; the
        # audio from just before the click that began the ending is what is
        # checked.
        def begun():
            return on_the_way(p.logical_shot().average(*CORNER), scene, NIGHT_HILL)
        mark = None
        for _ in range(6):
            clicked = self.turn_page(p, begun)
            if clicked is None:
                break
            mark = clicked
        self.assertTrue(mark is not None and begun(), "the ending begins after a click")
        self.wait_for(p, CORNER, NIGHT_HILL, "the night of the ending")
        e2e.wait_until(lambda: brightest(p.logical_shot(), TEXT_WINDOW_LINE2) > 200, 10, 0.1,
                       "the ending's line in the text window")
        time.sleep(2.0)
        audio = p.audio()
        # Windows of 0.3 s every 0.1 s from the mark: the music (where one
        # plays) fades to a silence, and the voice comes after it.
        levels = [(t / 10.0, audio.rms(t / 10.0, t / 10.0 + 0.3))
                  for t in range(int(mark * 10), int((audio.seconds - 0.3) * 10) + 1)]
        quiet = next((t for t, level in levels if level < 0.004), None)
        self.assertIsNotNone(quiet, "a silence between the music's fade and the voice: %r" % levels[::5])
        loud = max((level for t, level in levels if t > quiet), default=0.0)
        self.assertGreater(loud, 0.02, "the voice of the ending's line is heard after the silence")
        self.read_until(p, lambda: self.shows(p, *END_CARD), "the end card", pages=3)
        time.sleep(1.0)
        # Away from where the title's buttons will stand.
        self.click_until(p, (100, 100), lambda: self.shows(p, *TITLE_SKY), "the title after the end card")

    def quit_from_title(self, p):
        self.click_until(p, QUIT, lambda: not p.alive(), "the program to end after quit")
        self.assertEqual(p.wait_exit(15), 0, p.stderr())

    def test_play_through_in_two_runs(self):
        self.t0 = time.monotonic()
        with e2e.Session(self) as s:
            copy_game(s)

            # ---------------- run 1
            p = s.start()
            p.wait_window()
            self.wait_for(p, *TITLE_SKY, "the title screen")
            time.sleep(1.0)
            self.assertTrue(self.shows(p, CONTINUE_AREA, CONTINUE_DISABLED),
                            "no save yet: continue is disabled: %r" % (p.logical_shot().average(*CONTINUE_AREA),))
            self.keep(p, "title")
            music = p.audio()
            self.assertGreater(music.rms(music.seconds - 1.0, music.seconds), 0.02, "the title music plays")

            # The opening movie: its frames (a zoom into a fractal, with the
            # title) fill the screen, and scene 1 follows when it has ended.
            self.click_until(p, START, lambda: not self.shows(p, *TITLE_SKY), "the title to give way")
            e2e.wait_until(lambda: brightest(p.logical_shot(), (200, 100, 1080, 620)) > 120, 10, 0.1,
                           "the opening movie's pictures")
            self.keep(p, "movie")
            self.wait_for(p, CORNER, ROOM_FLOOR, "the room of scene 1 after the movie", timeout=20)
            time.sleep(0.5)
            self.assertLess(brightest(p.logical_shot(), RUBY_AREA), 150, "no ruby over the first page")
            # 「東雲の空って、こんな色なんだね」: ruby and a colour tag.
            self.read_until(p, lambda: brightest(p.logical_shot(), RUBY_AREA) > 180, "the ruby しののめ over 東雲")
            still_page(p)
            shot = p.logical_shot()
            self.assertTrue(has_colour(shot, LINE2_AREA, lambda c: c[0] > 200 and c[1] < 170 and c[2] < 170),
                            "こんな色 in its colour (0xFF9090)")
            self.keep(p, "dialogue_ruby")
            # The rest of scene 1, the rule wipe, scene 2. On the way, the
            # thought （……近い） in its own colour (0xA0B0D0), not in the white
            # the page before ended with.
            near = []

            def street():
                shot = p.logical_shot()
                if not near and has_colour(shot, LINE1_AREA, near_colour):
                    near.append(True)
                return e2e.close_to(shot.average(*CORNER), STREET_SKY, 10)

            self.read_until(p, street, "the street of scene 2")
            self.assertTrue(near, "（……近い） in its colour (0xA0B0D0)")
            self.read_until(p, lambda: self.shows(p, CHOICE_AREA, CHOICE_OFF), "the choice")
            self.keep(p, "choice")
            self.choose(p, FIRST_ANSWER, CHOICE_AREA, CHOICE_ON, "the pointed answer lit")
            self.wait_for(p, CORNER, PARK_GRASS, "the park (first answer)")
            e2e.wait_until(lambda: s.user_file("save0000.dat").is_file(), 5, 0.1, "slot 0 saved by the choice")
            time.sleep(2.0)

            # Save from the menu into slot 1.
            self.click(p, PAGE, button=3)
            self.wait_for(p, *MENU_PANEL, "the menu")
            self.choose(p, MENU_SAVE, *MENU_SAVE_LIT, "save pointed at in the menu")
            self.wait_for(p, *SAVE_SCREEN, "the save screen")
            self.choose(p, SLOT1, SLOT1_TOP, slot_lit(PARK_SKY_85), "slot 1 pointed at to save")
            e2e.wait_until(lambda: s.user_file("save0001.dat").is_file(), 10, 0.1, "save0001.dat")
            self.wait_for(p, CORNER, PARK_GRASS, "the park after saving")
            time.sleep(0.8)

            # The backlog: the wheel turned up while reading.
            self.move(p, PAGE)
            p.wheel(up=True)
            self.wait_for(p, *BACKLOG, "the backlog")
            time.sleep(0.6)
            self.assertGreater(brightest(p.logical_shot(), (100, 500, 800, 540)), 200, "the newest page's text")
            self.keep(p, "backlog")
            # The newest page's ▶ replays its voice, 葵's ゆうやけ、きれいだね.
            button = newest_voice_button(p.logical_shot())
            self.assertIsNotNone(button, "the newest page's voice button")
            mark = p.audio().seconds
            self.click(p, button)
            voice = e2e.ogg_audio(GAME / "voice" / "aoi_004.ogg")
            e2e.wait_until(lambda: p.audio().seconds > mark + 1.5 + voice.seconds, 15, 0.2, "the voice's time")
            audio = p.audio()
            # Not the voice of the page above it, 蓮's.
            heard = {name: voice_heard(audio, mark, e2e.ogg_audio(GAME / "voice" / name))
                     for name in ("aoi_004.ogg", "ren_002.ogg")}
            self.assertTrue(heard["aoi_004.ogg"] > 0.8 > heard["ren_002.ogg"],
                            "the page's voice after a click on its ▶ at %r: %r" % (button, heard))
            self.click(p, PAGE, button=3)
            self.wait_for(p, CORNER, PARK_GRASS, "the park after the backlog")
            time.sleep(0.8)

            # The settings screen from the menu; space leaves it.
            self.click(p, PAGE, button=3)
            self.wait_for(p, *MENU_PANEL, "the menu again")
            self.choose(p, MENU_CONFIG, *MENU_CONFIG_LIT, "settings pointed at in the menu")
            self.wait_for(p, *SETTINGS_BACK, "the settings screen")
            self.wait_for(p, *SETTINGS_WINDOW_ON, "window mode lit")
            time.sleep(0.5)
            self.keep(p, "settings")
            p.key("space")
            self.wait_for(p, CORNER, PARK_GRASS, "the park after the settings")
            time.sleep(1.0)

            self.ending(p, PARK_GRASS)
            self.quit_from_title(p)
            for name in ("System.dat", "Already.dat", "save0000.dat", "save0001.dat"):
                self.assertTrue(s.user_file(name).is_file(), name)

            # ---------------- run 2: the same per-user folder
            p = s.start()
            p.wait_window()
            self.wait_for(p, *TITLE_SKY, "the title screen (run 2)")
            time.sleep(1.0)
            self.assertTrue(self.shows(p, CONTINUE_AREA, CONTINUE_ENABLED),
                            "saves exist: continue is offered: %r" % (p.logical_shot().average(*CONTINUE_AREA),))
            self.click_until(p, CONTINUE, lambda: self.shows(p, *LOAD_OVER_TITLE), "the load screen over the title")
            self.choose(p, SLOT1, SLOT1_TOP, slot_lit(TITLE_SKY[1]), "slot 1 pointed at to load")
            self.wait_for(p, CORNER, PARK_GRASS, "slot 1 loaded: the park")
            e2e.wait_until(lambda: brightest(p.logical_shot(), TEXT_WINDOW_LINE2) > 200, 10, 0.1,
                           "the saved page's text")
            time.sleep(1.0)

            # Auto mode (the A key): its mark shows, and the page goes on by
            # itself once its voice has ended.
            def speaker_named():
                return has_colour(p.logical_shot(), NAME_AREA, lambda c: c[0] > 200 and 140 < c[1] < 210 and c[2] < 160)
            self.assertTrue(speaker_named(), "葵's line, her name in its colour")
            p.key("a")
            self.wait_for(p, *AUTO_MARK, "the auto mark")
            e2e.wait_until(lambda: not speaker_named(), 15, 0.2, "auto mode to turn the page")
            p.key("a")
            e2e.wait_until(lambda: not self.shows(p, *AUTO_MARK), 5, 0.2, "the auto mark to go")
            # Skip mode (the S key) runs through what run 1 has read: the
            # rest of the branch, the ending, and "Restart" to the title.
            # (It may be through before the mark is ever seen; without it no
            # page would turn at all, auto mode being off.)
            p.key("s")
            e2e.wait_until(lambda: self.shows(p, *SKIP_MARK) or self.shows(p, *TITLE_SKY), 10, 0.1,
                           "the skip mark")
            self.wait_for(p, *TITLE_SKY, "skip mode through read pages to the title", timeout=30)

            # Slot 0 holds the moment of the choice: the other answer.
            self.click_until(p, CONTINUE, lambda: self.shows(p, *LOAD_OVER_TITLE), "the load screen again")
            self.choose(p, SLOT0, SLOT0_TOP, slot_lit(TITLE_SKY[1]), "slot 0 pointed at to load")
            # (Pointed at or not, as the pointer happens to stand.)
            e2e.wait_until(lambda: any(e2e.close_to(p.logical_shot().average(*CHOICE_AREA), c, 10)
                                       for c in (CHOICE_OFF, CHOICE_ON)), 20, 0.15, "the choice again")
            self.choose(p, SECOND_ANSWER, CHOICE2_AREA, CHOICE2_ON, "the second answer lit")
            # Closer than other places: the street's wipe to black passes
            # within 10 of the library's sky.
            self.wait_for(p, CORNER, LIBRARY_SKY, "the library (second answer)", tol=5)
            self.ending(p, LIBRARY_SKY)
            self.quit_from_title(p)


if __name__ == "__main__":
    e2e.main()
