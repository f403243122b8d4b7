#!/usr/bin/env python3
"""The whole program on one scene: a 1280x720 background, a click, a 2 s
cross-fade to another background. Runs build/velk2 under its own Xvfb, on all
cores and pinned to two (program and X server alike), and prints one table:

  CPU per shown frame during the cross-fade, and per cent of one core
      (scheduler time of every thread, /proc/PID/task/*/schedstat)
  frames shown per second during it and the longest gap between two
      (the program's own frame log, VELK2_FRAME_LOG)
  click -> first visible change (a probe moved by more than 2 levels), and
      the first change of any size, start -> first non-black picture
      (the screen polled pixel by pixel through Xlib, the click stamped on
      the monotonic clock just before it is sent)
  VmRSS at the first wait (/proc/PID/status) and CPU while it waits, and
      VmRSS again once the cross-fade is over
  the earliest a visible change can show at all: the overlay's alpha is
      255 - (255 x the fade's share, truncated), so the probe moves by more
      than 2 levels only once the fade has run a few 255ths of its time
      (31 ms of 2 s for these two pictures); the fade's clock starts at the
      last frame before the click (the overlay is a copy of the scene, clock
      and all), so the earliest such frame is that many ms after that frame
  the first frame shown after the click: its own length (frame-log start to
      the end of its present), and the median length of the frames shown
      after it, from the same log (the click is stamped on the same clock);
      frames before it that showed nothing (a fade waiting for its pictures)
      count only in the time from the click to its start

With --rule, the click starts a 2 s rule-image wipe instead: the second
picture, with a diagonal rule in its alpha (0 at the top left, 255 at the
bottom right), wiped in over the first through ":Transition.CrossDissolve"
(crossdissolve, a soft edge) or ":Transition.DitherDissolve" (dither, a hard
one); the first change is looked for near the top left, where it begins.

With --layers, the cross-fade is between two scenes of several layers: the
background, a 400x600 sprite with clear sides and a text box with a line of
text; the click feeds the page and brings another background and sprite,
so the new scene is painted into a picture of its own before it is mixed.
The click's records come in more than one frame there, and the fade's clock
starts at the last frame before the one that makes the transition, which
may come after the click: the earliest row, worked out from the last frame
before the click, is then a bound from below, and the row after it an upper
bound on the time the program itself adds.

With --page, the click turns a page of text instead: the same background,
a dark text box over it with a page in font 9; the click feeds the page and
the next one starts to appear a character at a time. The first change is
looked for in the first character's cell, and the frames after the first are
those that show the next characters.

    python3 bench/crossfade.py [--runs N] [--binary build/velk2 ...]
                               [--rule crossdissolve|dither | --page | --layers]
                               [--cores all|two|both]

Each figure is the median of N runs (default 3). Given several binaries
(--binary again), their runs are interleaved, one of each in turn, so that a
change in the machine's load falls on all alike; each column gives the load
average (1 min) at the start of its runs, median. Uses the X helpers of the
whole-program tests (tests/e2e/velk2e2e.py).
"""

import argparse
import ctypes
import ctypes.util
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import velk2e2e as e2e  # noqa: E402

START = """// the benchmark scene: a background, a click, a 2 s cross-fade to another
Graphic(Layer=1, File="first.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=1, File="second.png", x=0, y=0)
Transition(Time=2000)
Wait(Time=600000)
"""
WIPE = """// the benchmark scene: a background, a click, a 2 s rule wipe to another
Graphic(Layer=1, File="first.png", x=0, y=0)
Apply()
KeyWait()
Graphic(Layer=790, File="rule.png", PixelShader="%s", Transmittance=1)
GraphicSlot(Layer=790, No=1, Time=2000, Transmittance=-1)
Wait(Time=600000)
"""
LAYERS = """// the benchmark scene: three layers, a click, a 2 s cross-fade to another background and sprite
Graphic(Layer=1, File="first.png", x=0, y=0)
Graphic(Layer=50, File="sprite.png", x=-300, y=0)
Graphic(Layer=100:0, File="box.png", x=0, y=-200)
GraphicTextOut(Layer=100:0, Text="一頁目の文がここに並ぶ。", FontNo=9, DrawSpeed=0)
Apply()
KeyWait()
PageFeed(Layer=100:0)
Graphic(Layer=1, File="second.png", x=0, y=0)
Graphic(Layer=50, File="sprite2.png", x=300, y=0)
Transition(Time=2000)
Wait(Time=600000)
"""
PAGE = """// the benchmark scene: a page of text, a click, the next page appears
SystemTextSpeed(Speed=40)
Graphic(Layer=1, File="first.png", x=0, y=0)
Graphic(Layer=100:0, File="box.png", x=0, y=-200)
GraphicTextOut(Layer=100:0, Text="%s", FontNo=9, DrawSpeed=0)
Apply()
KeyWait()
PageFeed(Layer=100:0)
GraphicTextOut(Layer=100:0, Text="%s", FontNo=9)
Apply()
Wait(Time=600000)
""" % ("一頁目の文がここに並ぶ。", "二頁目の文が一字ずつ出る。")
# The box is 600 x 200 at scene (0, -200), font 9 30 pixels and fixed pitch:
# the first character's cell is centred at logical (355, 465).
PAGE_CELL = (340, 450, 30, 30)
RULE_SHADERS = {"crossdissolve": ":Transition.CrossDissolve", "dither": ":Transition.DitherDissolve"}
FADE_S = 2.0
PROBE = (640, 360)
WIPE_PROBE = (8, 8)


def first_colour(x, y):
    return (200 + (x * 55) // 1279, (y * 255) // 719, 90)


def second_colour(x, y):
    return (20, 255 - (x * 255) // 1279, (y * 200) // 719 + 30)


def visible_share(before, after, levels=2):
    """The fewest 255ths of the fade after which a pixel going from `before`
    to `after` has moved by more than `levels` in some channel (the overlay's
    alpha truncated to 255ths, the blend rounded to the nearest level)."""
    for k in range(1, 256):
        alpha = (255 - k) / 255.0
        if any(abs(int(round(b * alpha + a * (1 - alpha))) - b) > levels for a, b in zip(after, before)):
            return k
    return 255


def rule_colour(x, y):
    return second_colour(x, y) + ((x * 255 // 1279 + y * 255 // 719) // 2,)


class Screen:
    """Single pixels of the X screen and clicks, straight through Xlib (a
    pixel read costs well under a millisecond)."""

    def __init__(self, display):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.c_void_p
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XGetPixel.restype = ctypes.c_ulong
        self.x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XWarpPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                        ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_int]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x.XDefaultRootWindow(self.dpy)

    def pixel(self, x, y):
        image = self.x.XGetImage(self.dpy, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return (0, 0, 0)
        value = self.x.XGetPixel(image, 0, 0)
        # XDestroyImage is a macro: the data, then the structure (data is the
        # fifth field, after four ints).
        data = ctypes.c_void_p.from_address(image + 16).value
        if data:
            self.x.XFree(data)
        self.x.XFree(image)
        return ((value >> 16) & 255, (value >> 8) & 255, value & 255)

    def region(self, x, y, width, height):
        """The bytes of a box of the screen: a change anywhere in it shows."""
        image = self.x.XGetImage(self.dpy, self.root, x, y, width, height, 0xFFFFFFFF, 2)
        if not image:
            return b""
        # data is the fifth field, bytes_per_line the sixth int after it.
        data = ctypes.c_void_p.from_address(image + 16).value
        stride = ctypes.c_int.from_address(image + 44).value
        out = ctypes.string_at(data, stride * height) if data else b""
        if data:
            self.x.XFree(data)
        self.x.XFree(image)
        return out

    def click(self, x, y):
        self.x.XWarpPointer(self.dpy, 0, self.root, 0, 0, 0, 0, x, y)
        self.x.XFlush(self.dpy)
        time.sleep(0.1)
        at = time.monotonic()
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x.XFlush(self.dpy)
        return at


def cpu_seconds(pid):
    total = 0
    for task in Path("/proc/%d/task" % pid).iterdir():
        try:
            total += int((task / "schedstat").read_text().split()[0])
        except (OSError, IndexError, ValueError):
            pass  # a thread that just ended
    return total / 1e9


def vm_rss_mb(pid):
    for line in Path("/proc/%d/status" % pid).read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) / 1024.0
    return float("nan")


def poll(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
    raise RuntimeError("timed out waiting for " + what)


def sprite_colour(shade):
    # Opaque in its middle 300 columns, clear at its sides.
    return lambda x, y: ((x + shade) % 256, (y * shade) % 256, shade, 255 if 50 <= x < 350 else 0)


def one_run(binary, cores, rule, page, layers):
    """One start of the program; returns the row of figures."""
    probe = WIPE_PROBE if rule else PROBE
    with e2e.Session(None) as s:
        s.game.png("first.png", 1280, 720, first_colour)
        if layers:
            # The probe sees the backgrounds alone: the sprites stand left and right of it.
            s.game.basic(LAYERS)
            s.game.png("second.png", 1280, 720, second_colour)
            s.game.png("sprite.png", 400, 600, sprite_colour(128))
            s.game.png("sprite2.png", 400, 600, sprite_colour(64))
            s.game.png("box.png", 600, 200, (20, 20, 20))
        elif page:
            s.game.basic(PAGE)
            s.game.png("box.png", 600, 200, (20, 20, 20))
        elif rule:
            s.game.basic(WIPE % RULE_SHADERS[rule])
            s.game.png("rule.png", 1280, 720, rule_colour)
        else:
            s.game.basic(START)
            s.game.png("second.png", 1280, 720, second_colour)
        xvfb = s.processes[0]
        pin = []
        if cores:
            subprocess.run(["taskset", "-a", "-p", "-c", cores, str(xvfb.pid)], check=True,
                           stdout=subprocess.DEVNULL)
            pin = ["taskset", "-c", cores]
        screen = Screen(s.display)
        log = s.tmp / "frames.txt"
        env = s._x_env()
        for key in list(env):
            if key.startswith("SDL_") or key.startswith("VELK2_"):
                del env[key]
        env.update({"SDL_AUDIODRIVER": "dummy", "XDG_DATA_HOME": str(s.data_home),
                    "XDG_RUNTIME_DIR": str(s.runtime), "HOME": str(s.tmp), "VELK2_FRAME_LOG": str(log),
                    "VELK2_DIALOGS": "stderr"})
        err = open(s.tmp / "stderr.txt", "wb")
        load = os.getloadavg()[0]
        started = time.monotonic()
        process = subprocess.Popen(pin + [binary], cwd=s.game.root, env=env, stdout=subprocess.DEVNULL,
                                   stderr=err, stdin=subprocess.DEVNULL)
        try:
            poll(lambda: screen.pixel(*probe) != (0, 0, 0), 20, "the first picture")
            first_picture = time.monotonic() - started
            expected = first_colour(*probe)
            poll(lambda: e2e.close_to(screen.pixel(*probe), expected, 3), 20, "the first background")
            time.sleep(1.0)  # settled in its first wait
            rss = vm_rss_mb(process.pid)
            idle0, idle_t0 = cpu_seconds(process.pid), time.monotonic()
            time.sleep(3.0)
            idle = 100 * (cpu_seconds(process.pid) - idle0) / (time.monotonic() - idle_t0)

            if page:
                before_cell = screen.region(*PAGE_CELL)
                clicked = screen.click(*PROBE)
                changed_at = poll(lambda: time.monotonic() if screen.region(*PAGE_CELL) != before_cell else 0,
                                  10, "the next page to begin")
                touched_at = changed_at
            else:
                before = screen.pixel(*probe)
                clicked = screen.click(*PROBE)
                touched = []

                def seen():
                    # The first frame of a fade moves the probe by a level
                    # or so, less than "visible" asks; noted on its own.
                    pixel = screen.pixel(*probe)
                    if not touched and pixel != before:
                        touched.append(time.monotonic())
                    return time.monotonic() if not e2e.close_to(pixel, before, 2) else 0

                changed_at = poll(seen, 10, "the cross-fade to begin")
                touched_at = touched[0] if touched else changed_at
            cpu0 = cpu_seconds(process.pid)
            window = FADE_S - 0.1
            time.sleep(window - (time.monotonic() - changed_at))
            cpu1, ended_at = cpu_seconds(process.pid), time.monotonic()
            fade_cpu = cpu1 - cpu0
            fade_wall = ended_at - changed_at
            time.sleep(FADE_S)
            rss_after = vm_rss_mb(process.pid)
        finally:
            process.terminate()
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            err.close()
        frames = [tuple(int(v) for v in line.split()) for line in log.read_text().splitlines() if line.strip()]
        shown = [end / 1e6 for start, end, flag in frames if flag == 1 and changed_at <= end / 1e6 <= ended_at]
        gaps = [b - a for a, b in zip(shown, shown[1:])]
        per_frame_ms = 1000 * fade_cpu / max(1, len(shown))
        # The frames shown from the click on: the first is the one that ran
        # the click's records; those after it until the probe window's end.
        after = [(start / 1e6, end / 1e6) for start, end, flag in frames if flag == 1 and start / 1e6 >= clicked]
        first = after[0] if after else (float("nan"), float("nan"))
        earliest = float("nan")
        if not rule and not page:
            floor_s = FADE_S * visible_share(first_colour(*probe), second_colour(*probe)) / 255.0
            clock = [start / 1e6 for start, end, flag in frames if start / 1e6 <= clicked]
            if clock:
                earliest = max(0.0, clock[-1] + floor_s - clicked)
        later = [end - start for start, end in after[1:] if end <= ended_at]
        return {
            "load": load,
            "first_frame_ms": 1000 * (first[1] - first[0]),
            "later_frame_ms": 1000 * statistics.median(later) if later else float("nan"),
            "click_to_frame_ms": 1000 * (first[0] - clicked),
            "click_to_present_ms": 1000 * (first[1] - clicked),
            "cpu_per_frame_ms": per_frame_ms,
            "fps": len(shown) / fade_wall,
            "max_gap_ms": 1000 * max(gaps) if gaps else float("nan"),
            "fade_cpu_pct": 100 * fade_cpu / fade_wall,
            "click_ms": 1000 * (changed_at - clicked),
            "touch_ms": 1000 * (touched_at - clicked),
            "earliest_ms": 1000 * earliest,
            "beyond_ms": 1000 * (changed_at - clicked) - 1000 * earliest,
            "first_ms": 1000 * first_picture,
            "rss_mb": rss,
            "idle_pct": idle,
            "rss_after_mb": rss_after,
        }


ROWS = [
    ("load average (1 min) at the start", "load", "%.1f", "-"),
    ("the first frame shown after the click, start to end of present", "first_frame_ms", "%.1f ms", "<= 2 x next row"),
    ("a later frame (median), start to end of present", "later_frame_ms", "%.1f ms", "-"),
    ("click -> start of that first frame", "click_to_frame_ms", "%.1f ms", "-"),
    ("click -> end of its present", "click_to_present_ms", "%.1f ms", "-"),
    ("CPU per frame during the cross-fade", "cpu_per_frame_ms", "%.1f ms", "<= 6 ms"),
    ("frames shown per second during it", "fps", "%.0f", "60"),
    ("longest gap between shown frames", "max_gap_ms", "%.0f ms", "<= 20 ms"),
    ("CPU during the cross-fade, % of one core", "fade_cpu_pct", "%.0f %%", "<= 40 %"),
    ("click -> first visible change (more than 2 levels)", "click_ms", "%.0f ms", "<= 20 ms"),
    ("click -> first changed pixel (any change)", "touch_ms", "%.0f ms", "-"),
    ("click -> the earliest the fade's own pace lets the probe move more than 2 levels", "earliest_ms", "%.0f ms",
     "-"),
    ("click -> first visible change, less that earliest", "beyond_ms", "%.0f ms", "-"),
    ("start -> first non-black picture", "first_ms", "%.0f ms", "<= 100 ms"),
    ("VmRSS at the first wait", "rss_mb", "%.0f MB", "<= 100 MB"),
    ("CPU at the first wait, % of one core", "idle_pct", "%.2f %%", "<= 1 %"),
    ("VmRSS once the cross-fade is over", "rss_after_mb", "%.0f MB", "-"),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--binary", action="append", help="the program (again for another, interleaved)")
    parser.add_argument("--rule", choices=sorted(RULE_SHADERS), help="a rule wipe instead of the cross-fade")
    parser.add_argument("--page", action="store_true", help="a page of text turned instead of the cross-fade")
    parser.add_argument("--layers", action="store_true", help="the cross-fade between scenes of several layers")
    parser.add_argument("--cores", choices=["all", "two", "both"], default="both")
    args = parser.parse_args()
    if sum(map(bool, (args.rule, args.page, args.layers))) > 1:
        sys.exit("--rule, --page and --layers are different scenes: one at a time")
    binaries = [os.path.abspath(b) for b in (args.binary or [str(ROOT / "build" / "velk2")])]
    for binary in binaries:
        if not os.access(binary, os.X_OK):
            sys.exit("no program at %s: build it first (bash scripts/build.sh release)" % binary)
    configs = []
    if args.cores in ("all", "both"):
        configs.append(("all %d cores" % os.cpu_count(), None))
    if args.cores in ("two", "both"):
        configs.append(("2 cores (taskset)", "0,1"))
    columns = [(b, c) for c in configs for b in binaries]
    runs = {column: [] for column in columns}
    for name, cores in configs:
        for _ in range(args.runs):
            for binary in binaries:
                runs[(binary, (name, cores))].append(one_run(binary, cores, args.rule, args.page, args.layers))
    results, names = {}, []
    for binary, (name, cores) in columns:
        label = name if len(binaries) == 1 else "%s: %s" % (name, binaries.index(binary) + 1)
        names.append(label)
        results[label] = {key: statistics.median(run[key] for run in runs[(binary, (name, cores))])
                          for _, key, _, _ in ROWS}
    print("| measure | " + " | ".join(names) + " | goal |")
    print("|---|" + "---|" * len(names) + "---|")
    for label, key, fmt, goal in ROWS:
        if key in ("earliest_ms", "beyond_ms") and (args.rule or args.page):
            continue  # the cross-fade's own arithmetic
        if args.rule:
            label = label.replace("cross-fade", "wipe")
        if args.page:
            label = label.replace("during the cross-fade", "while the page appears").replace(
                "(more than 2 levels)", "(in the first character's cell)").replace(
                "during it", "while it appears").replace("once the cross-fade is over", "once it has appeared")
        print("| %s | %s | %s |" % (label, " | ".join(fmt % results[n][key] for n in names), goal))
    what = "the %s wipe (%s)" % (args.rule, RULE_SHADERS[args.rule]) if args.rule else "the cross-fade"
    if args.layers:
        what = "the cross-fade between scenes of several layers"
    if args.page:
        what = "a page of text turned"
    print("(%s; median of %d runs each; %s)" % (
        what, args.runs, ", ".join("%d: %s" % (i + 1, b) for i, b in enumerate(binaries))))


if __name__ == "__main__":
    main()
