"""Whole-program tests of velk2: the real binary, a real X server, real input.

Each test file ``tests/e2e/<name>_e2e.py`` is one ctest test (label ``e2e``);
ctest passes the binary in ``VELK2_BINARY``. Run one by hand with
``VELK2_BINARY=build/velk2 python3 tests/e2e/first_frame_e2e.py``
(``VELK2_E2E_KEEP=1`` keeps the temp folder and prints where it is).

Typical use::

    import velk2e2e as e2e

    class FirstFrame(e2e.TestCase):
        def test_red(self):
            with e2e.Session(self) as s:           # own Xvfb (and WM if asked)
                s.game.basic('Graphic(Layer=1, File="red.png", x=0, y=0)\\nApply()\\n'
                             "Wait(Time=600000)\\n")
                s.game.png("red.png", 64, 64, (255, 0, 0))
                p = s.start()                       # runs velk2 in the game folder
                p.wait_window()
                e2e.wait_until(lambda: e2e.close_to(p.logical_shot().pixel(640, 360), (255, 0, 0)))
                p.close_window()                    # WM_DELETE_WINDOW, as the title bar's X
                self.assertEqual(p.wait_exit(), 0)
                self.assertTrue(s.user_file("System.dat").exists())

    if __name__ == "__main__":
        e2e.main()

What a Session gives (all cleaned up on exit, processes killed):
  - ``Session(test, screen=(1280, 720, 24), wm=False, timeout=240)``: Xvfb on a
    free display (``-displayfd``), optionally openbox as window manager; every
    process dies with the test, however it ends (a failure, an exception,
    SIGTERM, or the test process killed outright), and velk2 is killed after
    ``timeout`` s. An X server that stops answering fails the test with a
    message (within ``X_ANSWER_SECONDS``) instead of hanging it.
  - ``s.game``: a ``Game`` folder. ``basic(start_text, variable_text)`` writes
    "Start.qvs", "Variable.qvs" and the system scripts a game needs (they only
    wait; overwrite one with ``script`` to give it work);
    ``script(name, text, encoding="utf-8-sig")``
    (also "cp932"), ``png(name, w, h, rgb_or_fn)`` (solid colour or fn(x, y) ->
    (r, g, b[, a])), ``wav(name, seconds, freq, amplitude, rate, channels)``,
    ``file(name, bytes)``.
  - ``s.start(env=None, args=(), program=None, cwd=None, cpus=None)`` -> ``Velk2``: the program
    with SDL_AUDIODRIVER=disk (each copy its own file), scratch XDG_DATA_HOME
    and XDG_RUNTIME_DIR; a value of None in ``env`` removes that variable;
    ``program`` runs another copy of the program file; ``cwd`` another
    working directory than the game folder;
    ``s.start()`` again starts another copy (same folders); ``cpus`` (a set of
    CPU numbers) pins it and all its threads there.
  - ``s.user_dir`` (``$XDG_DATA_HOME/Hollin-Gate/Merisande``), ``s.user_file(name)``.
  - ``s.screen_shot()``: the whole screen as an ``Image``.
  - ``s.end_x()``: the X server ends (killed) under whatever runs on it.
  - ``system_globals(data)``: the global variables of a "System.dat" as
    {name: (tag, integer, real)}; tag 2 is an integer, 3 a real.
On a ``Velk2``:
  - ``wait_window(title=None)``: its game window id (searched by pid), or the
    one whose title contains ``title``; ``windows()`` -> {id: title};
    ``geometry()`` -> (x, y, w, h) of the client area on the screen.
  - ``shot()``: the window's client area as an ``Image`` (window pixels);
    ``logical_shot()`` maps it to the 1280x720 logical screen by scaling.
  - ``click(lx, ly, button=1)`` at logical coordinates, ``move(lx, ly)``,
    ``wheel(up=True)``, ``key("Return")`` (xdotool key names), ``close_window()``.
  - ``wait_exit(timeout)`` -> exit code; ``terminate(sig)``; ``alive()``;
    ``stdout()``/``stderr()`` (text so far); ``audio()`` -> ``Audio``.
Scene positions are logical pixels from the screen centre, y upwards, and a
picture is centred on its position: x, y land at logical pixel (640 + x, 360 - y).
Images: ``img.pixel(x, y)`` -> (r, g, b); ``img.average(x0, y0, x1, y1)``;
``img.save_png(path)`` (handy with VELK2_E2E_KEEP);
``close_to(c, expected, tol=8)``. ``Audio`` (S16LE stereo 44100, as the engine
opens the device): ``rms(t0, t1)``, ``peak(t0, t1)``, ``dominant_frequency(t0, t1)``,
``envelope(t0, t1, window, hop)``, ``seconds``, ``first_sound(threshold)``;
``ogg_audio(path)`` decodes a game's Ogg Vorbis file into an ``Audio``.
``system_globals(bytes)``: the global variables of a "System.dat".
``wait_until(predicate, timeout=10, interval=0.05, message=...)`` polls.
"""

import array
import ctypes
import ctypes.util
import math
import os
import resource
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import wave
import zlib
from pathlib import Path

LOGICAL_W, LOGICAL_H = 1280, 720
AUDIO_RATE, AUDIO_CHANNELS = 44100, 2
USER_SUBDIR = Path("Hollin-Gate") / "Merisande"
# How long a request to the X server may go unanswered before the test fails
# (far beyond what a loaded machine needs for one screenshot or click).
X_ANSWER_SECONDS = 30

TestCase = unittest.TestCase


class Terminated(KeyboardInterrupt):
    """SIGTERM (as a test runner's time-out sends it) or SIGHUP: raised in the
    main thread, so every Session on the way out kills what it started; like
    an interrupt, unittest does not go on with further tests."""


def _raise_terminated(number, _frame):
    raise Terminated("velk2e2e: ended by signal %d" % number)


def main():
    if threading.current_thread() is threading.main_thread():
        for number in (signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, _raise_terminated)
    unittest.main(verbosity=2)


def binary():
    path = os.environ.get("VELK2_BINARY")
    if not path:
        here = Path(__file__).resolve().parents[2]
        path = str(here / "build" / "velk2")
    if not os.access(path, os.X_OK):
        raise RuntimeError("velk2 binary not found at %s (set VELK2_BINARY)" % path)
    return os.path.abspath(path)


def wait_until(predicate, timeout=10.0, interval=0.05, message="condition"):
    """Polls predicate until it returns a true value, which is returned."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except Exception as error:  # a half-made window or file: try again
            last_error = error
        if time.monotonic() >= deadline:
            detail = " (last error: %r)" % last_error if last_error else ""
            raise AssertionError("timed out after %.1f s waiting for %s%s" % (timeout, message, detail))
        time.sleep(interval)


def close_to(colour, expected, tol=8):
    return all(abs(int(a) - int(b)) <= tol for a, b in zip(colour, expected))


# ---------------------------------------------------------------- files of a game

def png_bytes(width, height, colour):
    """An RGBA PNG; colour is (r, g, b[, a]) or fn(x, y) -> that."""
    fn = colour if callable(colour) else (lambda x, y: colour)
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            c = tuple(fn(x, y))
            rows.extend(bytes(c + (255,) if len(c) == 3 else c))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 6))
            + chunk(b"IEND", b""))


def wav_bytes(seconds, freq=440.0, amplitude=0.5, rate=44100, channels=2):
    """A 16-bit PCM sine tone; amplitude is a fraction of full scale."""
    frames = int(round(seconds * rate))
    samples = array.array("h")
    for i in range(frames):
        v = int(round(amplitude * 32767 * math.sin(2 * math.pi * freq * i / rate)))
        samples.extend([v] * channels)
    if sys.byteorder != "little":
        samples.byteswap()
    path = tempfile.mktemp(suffix=".wav")
    try:
        with wave.open(path, "wb") as w:
            w.setnchannels(channels)
            w.setsampwidth(2)
            w.setframerate(rate)
            w.writeframes(samples.tobytes())
        return Path(path).read_bytes()
    finally:
        if os.path.exists(path):
            os.unlink(path)


def system_globals(system_dat):
    """The global variables held in the bytes of a "System.dat": name ->
    (tag, integer, real), read by the documented layout (the block's offset
    and size at 1672, then one entry per variable)."""
    offset, size = struct.unpack_from("<qq", system_dat, 1672)
    block = system_dat[offset:offset + size]
    out = {}
    at = 0
    while at + 32 < len(block):
        entry_size, name_offset, name_size, _index, value_offset, _value_size = struct.unpack_from(
            "<QIIqII", block, at)
        name = block[at + name_offset:at + name_offset + name_size - 1].decode()
        _record_size, tag, integer, real = struct.unpack_from("<Qqqd", block, at + value_offset)
        out[name] = (tag, integer, real)
        at += entry_size
    return out


class Game:
    """The game folder velk2 runs in (its working directory)."""

    def __init__(self, root):
        self.root = Path(root)
        self.root.mkdir(parents=True, exist_ok=True)

    def path(self, name):
        p = self.root / name
        p.parent.mkdir(parents=True, exist_ok=True)
        return p

    def file(self, name, data):
        self.path(name).write_bytes(data)
        return self.path(name)

    def basic(self, start, variable="// no names\n"):
        """The scripts every game has: "Start.qvs" as given, "Variable.qvs",
        "system/Function.qvs" and "system/ExitFunction.qvs" that only wait, and
        "system/PreDataLoad.qvs" (run after a load) that does nothing."""
        self.script("Variable.qvs", variable)
        self.script("system/Function.qvs", "Wait(Time=60000)\n")
        self.script("system/ExitFunction.qvs", "Wait(Time=60000)\n")
        self.script("system/PreDataLoad.qvs", "Dammy()\n")
        return self.script("Start.qvs", start)

    def script(self, name, text, encoding="utf-8-sig"):
        return self.file(name, text.encode(encoding))

    def png(self, name, width, height, colour):
        return self.file(name, png_bytes(width, height, colour))

    def wav(self, name, seconds, freq=440.0, amplitude=0.5, rate=44100, channels=2):
        return self.file(name, wav_bytes(seconds, freq, amplitude, rate, channels))


# ---------------------------------------------------------------- screenshots

class Image:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb  # rgb: bytes, 3 per pixel

    def pixel(self, x, y):
        x, y = int(x), int(y)
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError("pixel (%d, %d) outside %dx%d" % (x, y, self.width, self.height))
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def average(self, x0, y0, x1, y1):
        """Mean colour of the half-open rectangle [x0, x1) x [y0, y1)."""
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.width, int(x1)), min(self.height, int(y1))
        n = (x1 - x0) * (y1 - y0)
        if n <= 0:
            raise ValueError("empty region")
        sums = [0, 0, 0]
        for y in range(y0, y1):
            row = self.rgb[(y * self.width + x0) * 3:(y * self.width + x1) * 3]
            for c in range(3):
                sums[c] += sum(row[c::3])
        return tuple(s / n for s in sums)

    def region(self, x0, y0, x1, y1):
        """The bytes of the half-open rectangle [x0, x1) x [y0, y1), row by row:
        equal for two shots exactly when that part of the picture is."""
        return b"".join(self.rgb[(y * self.width + x0) * 3:(y * self.width + x1) * 3] for y in range(y0, y1))

    def scaled(self, width, height):
        """Nearest-neighbour resample (for mapping window pixels to logical ones)."""
        out = bytearray(width * height * 3)
        for y in range(height):
            sy = min(self.height - 1, y * self.height // height)
            for x in range(width):
                sx = min(self.width - 1, x * self.width // width)
                i, j = (y * width + x) * 3, (sy * self.width + sx) * 3
                out[i:i + 3] = self.rgb[j:j + 3]
        return Image(width, height, bytes(out))

    def padded(self, width, height):
        out = bytearray(width * height * 3)
        w = min(width, self.width)
        for y in range(min(height, self.height)):
            out[y * width * 3:(y * width + w) * 3] = self.rgb[y * self.width * 3:(y * self.width + w) * 3]
        return Image(width, height, bytes(out))

    def save_png(self, path):
        Path(path).write_bytes(png_bytes(self.width, self.height, lambda x, y: self.pixel(x, y)))


def _mask_shift(mask):
    shift = 0
    while mask and not mask & 1:
        mask >>= 1
        shift += 1
    return shift, mask


def parse_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    (header_size, _version, pixmap_format, _depth, width, height, _xoff, byte_order, _unit, _bit_order,
     _pad, bpp, bytes_per_line, _visual, red_mask, green_mask, blue_mask, _bits_rgb, _map_entries,
     ncolors) = fields[:20]
    if pixmap_format != 2 or bpp not in (24, 32):
        raise ValueError("unsupported xwd image: format %d, %d bpp" % (pixmap_format, bpp))
    offset = header_size + ncolors * 12
    step = bpp // 8
    shifts = [_mask_shift(m) for m in (red_mask, green_mask, blue_mask)]
    endian = "little" if byte_order == 0 else "big"
    rgb = bytearray(width * height * 3)
    fast = (step == 4 and endian == "little" and [s for s, _ in shifts] == [16, 8, 0])
    for y in range(height):
        row = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        out = y * width * 3
        if fast:  # BGRX in memory
            rgb[out:out + width * 3:3] = row[2::4]
            rgb[out + 1:out + width * 3:3] = row[1::4]
            rgb[out + 2:out + width * 3:3] = row[0::4]
            continue
        for x in range(width):
            p = int.from_bytes(row[x * step:(x + 1) * step], endian)
            for c, (shift, m) in enumerate(shifts):
                v = (p >> shift) & m
                rgb[out + x * 3 + c] = v * 255 // m if m else 0
    return Image(width, height, bytes(rgb))


# ---------------------------------------------------------------- audio

class Audio:
    """Raw interleaved S16LE at 44100 Hz, 2 channels, as SDL's disk driver writes."""

    def __init__(self, data, rate=AUDIO_RATE, channels=AUDIO_CHANNELS):
        usable = len(data) - len(data) % (2 * channels)
        self.samples = array.array("h")
        self.samples.frombytes(data[:usable])
        if sys.byteorder != "little":
            self.samples.byteswap()
        self.rate, self.channels = rate, channels
        self.frames = len(self.samples) // channels
        self.seconds = self.frames / rate

    def _range(self, t0, t1):
        f0 = max(0, int(t0 * self.rate))
        f1 = self.frames if t1 is None else min(self.frames, int(t1 * self.rate))
        return f0, f1

    def channel(self, t0=0.0, t1=None, channel=0):
        f0, f1 = self._range(t0, t1)
        return self.samples[f0 * self.channels + channel:f1 * self.channels:self.channels]

    def rms(self, t0=0.0, t1=None):
        """Over every channel, as a fraction of full scale."""
        f0, f1 = self._range(t0, t1)
        part = self.samples[f0 * self.channels:f1 * self.channels]
        if not part:
            return 0.0
        return math.sqrt(sum(v * v for v in part) / len(part)) / 32768.0

    def peak(self, t0=0.0, t1=None):
        f0, f1 = self._range(t0, t1)
        part = self.samples[f0 * self.channels:f1 * self.channels]
        return max((abs(v) for v in part), default=0) / 32768.0

    def dominant_frequency(self, t0=0.0, t1=None, channel=0):
        """Rough: from the rate of upward zero crossings of one channel."""
        part = self.channel(t0, t1, channel)
        if len(part) < 2:
            return 0.0
        crossings = sum(1 for a, b in zip(part, part[1:]) if a < 0 <= b)
        return crossings * self.rate / len(part)

    def envelope(self, t0=0.0, t1=None, window=0.05, hop=0.05):
        """RMS of each `window` s, one every `hop` s from t0 on."""
        end = self.seconds if t1 is None else min(t1, self.seconds)
        count = max(0, int((end - t0 - window) / hop + 1e-9) + 1)
        return [self.rms(t0 + i * hop, t0 + i * hop + window) for i in range(count)]

    def first_sound(self, threshold=0.01, window=0.01):
        """Start time (s) of the first window whose RMS passes threshold, or None."""
        step = window
        t = 0.0
        while t < self.seconds:
            if self.rms(t, t + step) > threshold:
                return t
            t += step
        return None


class _VorbisInfo(ctypes.Structure):
    _fields_ = [("version", ctypes.c_int), ("channels", ctypes.c_int), ("rate", ctypes.c_long)]


def ogg_audio(path):
    """An Ogg Vorbis file decoded whole (by libvorbisfile, which the engine
    itself is built with), at the file's own rate and channels."""
    lib = ctypes.CDLL(ctypes.util.find_library("vorbisfile") or "libvorbisfile.so.3")
    lib.ov_info.restype = ctypes.POINTER(_VorbisInfo)
    lib.ov_read.restype = ctypes.c_long
    handle = ctypes.create_string_buffer(16384)  # an OggVorbis_File, with room to spare
    if lib.ov_fopen(str(path).encode(), handle) != 0:
        raise ValueError("not an Ogg Vorbis file: %s" % path)
    info = lib.ov_info(handle, -1).contents
    rate, channels = info.rate, info.channels
    chunks, buffer, section = [], ctypes.create_string_buffer(65536), ctypes.c_int()
    while True:
        got = lib.ov_read(handle, buffer, len(buffer), 0, 2, 1, ctypes.byref(section))
        if got <= 0:
            break
        chunks.append(buffer.raw[:got])
    lib.ov_clear(handle)
    return Audio(b"".join(chunks), rate, channels)


# ---------------------------------------------------------------- X and processes

def _xlib():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    lib = ctypes.CDLL(name)
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    lib.XInternAtom.restype = ctypes.c_ulong
    lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    lib.XFlush.argtypes = [ctypes.c_void_p]
    lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return lib


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


def _answered(what, display, call):
    """Runs call() (an Xlib request made in this process) off the main thread:
    Xlib waits without limit for a server that no longer answers, and a
    test must fail instead."""
    timeout = X_ANSWER_SECONDS
    outcome = {}

    def run():
        try:
            outcome["value"] = call()
        except BaseException as error:  # handed to the caller below
            outcome["error"] = error

    worker = threading.Thread(target=run, daemon=True)
    worker.start()
    worker.join(timeout)
    if worker.is_alive():
        raise AssertionError("the X server on %s did not answer %s within %d s" % (display, what, timeout))
    if "error" in outcome:
        raise outcome["error"]
    return outcome.get("value")


def send_delete_window(display, window):
    """Sends WM_DELETE_WINDOW, as a window manager does for the close button."""
    _answered("WM_DELETE_WINDOW", display, lambda: _send_delete_window(display, window))


def _send_delete_window(display, window):
    lib = _xlib()
    dpy = lib.XOpenDisplay(display.encode())
    if not dpy:
        raise RuntimeError("cannot open display %s" % display)
    try:
        event = _XEvent()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = lib.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = lib.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        event.client.data[1] = 0  # CurrentTime
        lib.XSendEvent(dpy, window, 0, 0, ctypes.byref(event))
        lib.XFlush(dpy)
    finally:
        lib.XCloseDisplay(dpy)


def _read_output(path):
    # Read while a test fails too, when the file may be gone: the report of
    # the failure must not turn into one about the file.
    try:
        return path.read_text(errors="replace")
    except OSError as error:
        return "(cannot read %s: %s)" % (path, error.strerror)


class Velk2:
    """One running copy of the program."""

    def __init__(self, session, process, out_path, err_path, audio_path):
        self.session, self.process = session, process
        self._out, self._err = out_path, err_path
        self.audio_path = audio_path
        self.window = None

    # process
    def alive(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=20.0):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("velk2 did not exit within %.1f s; stderr:\n%s" % (timeout, self.stderr()))

    def terminate(self, sig=signal.SIGTERM):
        if self.alive():
            self.process.send_signal(sig)

    def kill(self):
        if self.alive():
            self.process.kill()
            self.process.wait()

    def stdout(self):
        return _read_output(self._out)

    def stderr(self):
        return _read_output(self._err)

    def audio(self):
        """What this copy has played so far (SDL's disk driver, real-time paced)."""
        data = self.audio_path.read_bytes() if self.audio_path.exists() else b""
        return Audio(data)

    # window
    def windows(self):
        """{window id: title} of this copy's visible top-level windows."""
        out = self.session.xdotool("search", "--onlyvisible", "--pid", str(self.process.pid), check=False)
        found = {}
        for line in out.split():
            window = int(line)
            found[window] = self.session.xdotool("getwindowname", str(window), check=False).strip()
        return found

    def wait_window(self, timeout=20.0, title=None):
        """The game's window (the first one made), or the first window whose
        title contains `title` (a message box, say); it becomes the window
        that shot(), click() and the rest act on."""
        def find():
            if not self.alive():
                raise AssertionError("velk2 exited (%s) before its window appeared; stderr:\n%s"
                                     % (self.process.returncode, self.stderr()))
            found = self.windows()
            if title is not None:
                found = {w: name for w, name in found.items() if title in name}
            return min(found) if found else None

        self.window = wait_until(find, timeout, 0.1, "a velk2 window" + (" titled %r" % title if title else ""))
        return self.window

    def geometry(self):
        """(x, y, width, height) of the client area on the screen."""
        out = self.session.run(["xwininfo", "-id", str(self.window)])
        values = {}
        for line in out.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"], values["Width"],
                values["Height"])

    def shot(self):
        data = self.session.run_bytes(["xwd", "-silent", "-id", str(self.window)])
        return parse_xwd(data)

    def logical_shot(self):
        """The window mapped onto the logical screen; parts of the window off
        the X screen read as black."""
        img = self.shot()
        _x, _y, w, h = self.geometry()
        if (img.width, img.height) != (w, h):
            img = img.padded(w, h)
        if (w, h) == (LOGICAL_W, LOGICAL_H):
            return img
        return img.scaled(LOGICAL_W, LOGICAL_H)

    def to_screen(self, lx, ly):
        x, y, w, h = self.geometry()
        return x + int(lx * w / LOGICAL_W), y + int(ly * h / LOGICAL_H)

    def move(self, lx, ly):
        sx, sy = self.to_screen(lx, ly)
        # xdotool's --sync waits (some 15 s) for the pointer to leave where it
        # stood, so it never returns early when that is already the target.
        if self.session.pointer() == (sx, sy):
            return
        self.session.xdotool("mousemove", "--sync", str(sx), str(sy))

    def click(self, lx, ly, button=1):
        self.move(lx, ly)
        time.sleep(0.05)
        self.session.xdotool("click", str(button))

    def wheel(self, up=True):
        self.session.xdotool("click", "4" if up else "5")

    def focus(self):
        self.session.xdotool("windowfocus", "--sync", str(self.window), check=False)

    def key(self, *names):
        self.focus()
        self.session.xdotool("key", "--delay", "30", *names)

    def close_window(self):
        send_delete_window(self.session.display, self.window)


def _dies_with_this_process(file_size_limit=None, cpus=None):
    """A preexec_fn: the child is killed when the test process ends, however
    that happens (ctest kills a test that overruns outright). With a file-size
    limit, every write of the child past it fails with EFBIG, as on a full disk.
    With cpus, the child and every thread it starts run only on those."""
    parent = os.getpid()

    def preexec():
        if cpus is not None:
            os.sched_setaffinity(0, cpus)
        if file_size_limit is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, resource.getrlimit(resource.RLIMIT_FSIZE)[1]))
        try:
            ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG
        except (OSError, AttributeError):
            pass
        # A parent that died before the wish was made has left the child to
        # another: then it goes at once.
        if os.getppid() != parent:
            os._exit(1)
    return preexec


class Session:
    """An X server (and optionally a window manager), a temp folder with the
    game and a scratch per-user folder. A context manager; everything it
    started is killed on exit, and every copy of velk2 once `timeout` seconds
    have passed (so a hung program fails the test instead of hanging it)."""

    def __init__(self, test=None, screen=(1280, 720, 24), wm=False, timeout=240):
        self.test, self.screen, self.wm, self.timeout = test, screen, wm, timeout
        self.processes = []
        self.copies = []
        self._watchdog = None

    def __enter__(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="velk2-e2e-"))
        try:
            self.game = Game(self.tmp / "game")
            self.data_home = self.tmp / "data"
            self.runtime = self.tmp / "runtime"
            for p in (self.data_home, self.runtime):
                p.mkdir()
            os.chmod(self.runtime, 0o700)
            self.user_dir = self.data_home / USER_SUBDIR
            self._start_x()
            if self.wm:
                self._start_wm()
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        self._watchdog = threading.Timer(self.timeout, self._expire)
        self._watchdog.daemon = True
        self._watchdog.start()
        return self

    def _expire(self):
        sys.stderr.write("velk2e2e: the session ran past %d s; killing velk2\n" % self.timeout)
        for copy in list(self.copies):
            if copy.alive():
                copy.process.kill()

    def __exit__(self, *exc):
        if self._watchdog is not None:
            self._watchdog.cancel()
        for copy in self.copies:
            copy.kill()
        for p in reversed(self.processes):
            if p.poll() is None:
                p.terminate()
                # A stopped server takes its SIGTERM (and removes its lock
                # file) only once it runs again.
                p.send_signal(signal.SIGCONT)
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if exc[0] is not None:
            for i, copy in enumerate(self.copies):
                sys.stderr.write("--- velk2 copy %d stderr:\n%s\n" % (i, copy.stderr()))
        if os.environ.get("VELK2_E2E_KEEP"):
            sys.stderr.write("kept %s\n" % self.tmp)
        else:
            shutil.rmtree(self.tmp, ignore_errors=True)
        return False

    # X
    def _start_x(self):
        read_fd, write_fd = os.pipe()
        w, h, d = self.screen
        with open(self.tmp / "xvfb.log", "wb") as log:
            xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "%dx%dx%d" % (w, h, d), "-nolisten",
                 "tcp", "-ac", "-noreset"],
                pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=log, preexec_fn=_dies_with_this_process())
        os.close(write_fd)
        self.processes.append(xvfb)
        number = b""
        deadline = time.monotonic() + X_ANSWER_SECONDS
        with os.fdopen(read_fd, "rb", buffering=0) as pipe:
            # A server that neither writes its display nor exits must not
            # hold the test: each read waits only as long as is left.
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([pipe], [], [], left)[0]:
                    break
                chunk = pipe.read(16)
                if not chunk:
                    break
                number += chunk
        if not number.endswith(b"\n") or not number.strip():
            raise RuntimeError("Xvfb did not give its display within %d s: %s"
                               % (X_ANSWER_SECONDS, (self.tmp / "xvfb.log").read_text(errors="replace")))
        self.display = ":" + number.decode().strip()

    def _start_wm(self):
        with open(self.tmp / "wm.log", "wb") as log:
            wm = subprocess.Popen(["openbox", "--sm-disable"], env=self._x_env(), stdout=subprocess.DEVNULL,
                                  stderr=log, preexec_fn=_dies_with_this_process())
        self.processes.append(wm)
        # Ready once it owns the screen's WM selection.
        wait_until(lambda: "_NET_SUPPORTING_WM_CHECK" in self.run(["xprop", "-root"]), 10, 0.1, "openbox")

    def _x_env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env.pop("WAYLAND_DISPLAY", None)
        # Opening its window, SDL asks for the session bus. With none, the bus
        # library forks a child to launch one, and a sanitized build's child
        # can deadlock in the allocator before its exec, leaving the program
        # waiting for it with no window and nothing said. An address that
        # leads nowhere fails at once, as on a desktop with no bus to find.
        env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=%s" % (self.tmp / "no-session-bus")
        return env

    def _run_x_client(self, argv):
        try:
            return subprocess.run(argv, env=self._x_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=X_ANSWER_SECONDS)
        except subprocess.TimeoutExpired:
            raise AssertionError("the X server on %s did not answer %s within %d s"
                                 % (self.display, " ".join(argv), X_ANSWER_SECONDS)) from None

    def run(self, argv, check=True):
        result = self._run_x_client(argv)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(argv), result.stderr.decode(errors="replace")))
        return result.stdout.decode(errors="replace")

    def run_bytes(self, argv):
        result = self._run_x_client(argv)
        if result.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(argv), result.stderr.decode(errors="replace")))
        return result.stdout

    def xdotool(self, *args, check=True):
        return self.run(["xdotool"] + list(args), check=check)

    def pointer(self):
        """(x, y) of the pointer on the screen."""
        out = self.xdotool("getmouselocation", "--shell")
        shell = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(shell["X"]), int(shell["Y"])

    def screen_shot(self):
        return parse_xwd(self.run_bytes(["xwd", "-silent", "-root"]))

    def end_x(self):
        """Kills the X server, as a desktop session that crashes or is closed
        under a running program."""
        xvfb = self.processes[0]
        xvfb.kill()
        xvfb.wait()

    # the program
    def start(self, env=None, args=(), program=None, file_size_limit=None, cwd=None, cpus=None):
        environment = self._x_env()
        for key in list(environment):
            if key.startswith("SDL_") or key.startswith("VELK2_") and key != "VELK2_BINARY":
                del environment[key]
        index = len(self.copies)
        audio_path = self.tmp / ("audio%d.raw" % index)
        environment.update({
            "SDL_AUDIODRIVER": "disk",
            "SDL_DISKAUDIOFILE": str(audio_path),
            "XDG_DATA_HOME": str(self.data_home),
            "XDG_RUNTIME_DIR": str(self.runtime),
            "HOME": str(self.tmp),
        })
        for key, value in (env or {}).items():
            if value is None:
                environment.pop(key, None)
            else:
                environment[key] = value
        out_path, err_path = self.tmp / ("stdout%d.txt" % index), self.tmp / ("stderr%d.txt" % index)
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            process = subprocess.Popen([program or binary()] + list(args), cwd=cwd or self.game.root, env=environment,
                                       stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                       preexec_fn=_dies_with_this_process(file_size_limit, cpus))
        copy = Velk2(self, process, out_path, err_path, audio_path)
        self.copies.append(copy)
        return copy

    def user_file(self, name):
        return self.user_dir / name
