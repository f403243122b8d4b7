"""A "System.dat" or "Already.dat" that cannot be read at start-up is not lost
at exit: it is moved aside as "System.dat.damaged" ("Already.dat.damaged"),
byte for byte, said once on stderr, and the program starts with the defaults
and writes fresh files when it ends. A missing file is no damage, and the
kept files outlive later starts.

Damage past the header counts the same: one entry's size inside the
variable block, one bit of the block's offset, a file cut short, and in
"Already.dat" one script's mark count or a cut table. Read in part, such a
file lost every later global or read mark at the next exit without a word."""
import struct

import velk2e2e as e2e

VARIABLES = "Variable(Global, Name=runs)\nVariable(Global, Name=later)\n"
# Every run counts itself in a global variable, kept in "System.dat"; the
# statements it runs leave their read marks in "Already.dat". The first run
# also sets a global that only "System.dat" carries on.
START = """runs = runs + 1
if (runs = 1) {
    later = 7
}
"""


def runs(system_dat):
    return e2e.system_globals(system_dat)["runs"][1]


SYSTEM_MAGIC = b"\0VELK2SYSTEMFILE"
ALREADY_MAGIC = b"\0QV2ALREADY\0"


class DamagedSystemFiles(e2e.TestCase):
    def run_once(self, s):
        p = s.start()
        # The script ends at once, and with it the program.
        self.assertEqual(p.wait_exit(60), 0, p.stderr())
        return p.stderr()

    def test_a_damaged_file_is_kept_aside_and_the_program_starts_with_defaults(self):
        with e2e.Session(self) as s:
            s.game.basic(START, VARIABLES)
            system, already = s.user_file("System.dat"), s.user_file("Already.dat")

            err = self.run_once(s)
            self.assertNotIn("cannot be read", err, "missing files are the normal first run")
            self.assertEqual(runs(system.read_bytes()), 1)
            self.assertTrue(already.read_bytes().startswith(ALREADY_MAGIC))

            # One wrong byte in each header.
            damaged = {}
            for path, at in ((system, 3), (already, 2)):
                data = bytearray(path.read_bytes())
                data[at] ^= 0x20
                path.write_bytes(bytes(data))
                damaged[path.name] = bytes(data)

            err = self.run_once(s)
            for name, magic in (("System.dat", SYSTEM_MAGIC), ("Already.dat", ALREADY_MAGIC)):
                kept = s.user_file(name + ".damaged")
                self.assertTrue(kept.is_file(), "%s kept aside; stderr: %s" % (name, err))
                self.assertEqual(kept.read_bytes(), damaged[name], "%s kept byte for byte" % name)
                lines = [line for line in err.splitlines() if name + " cannot be read" in line]
                self.assertEqual(len(lines), 1, "%s said once: %s" % (name, err))
                self.assertIn(str(kept), lines[0])
                self.assertTrue(s.user_file(name).read_bytes().startswith(magic), "a fresh %s at exit" % name)
            self.assertEqual(runs(s.user_file("System.dat.damaged").read_bytes()), 1,
                             "the kept file still holds the first run's globals")
            self.assertEqual(runs(system.read_bytes()), 1, "the second run started from the defaults")

            # The kept files are no temporaries to clean, and the fresh files read back.
            err = self.run_once(s)
            self.assertNotIn("cannot be read", err)
            self.assertEqual(runs(system.read_bytes()), 2)
            for name in ("System.dat", "Already.dat"):
                self.assertEqual(s.user_file(name + ".damaged").read_bytes(), damaged[name])

    def test_a_file_damaged_past_its_header_is_kept_aside_whole(self):
        def flip(at, bit):
            def damage(data):
                data = bytearray(data)
                data[at] ^= 1 << bit
                return bytes(data)
            return damage

        def table_entry(data, n):
            return struct.unpack_from("<I", data, 16)[0] + 16 * n

        cases = [
            # (what, file, damage, the same damage undone or None when bytes are gone)
            ("an entry's size inside the block", "System.dat", flip(1688, 3), flip(1688, 3)),
            ("one bit of the block's offset", "System.dat", flip(1672, 0), flip(1672, 0)),
            ("cut inside its last entry", "System.dat", lambda d: d[:-20], None),
            ("a script's mark count", "Already.dat", lambda d: flip(table_entry(d, 0) + 8, 2)(d), None),
            ("cut inside its table", "Already.dat", lambda d: d[:-6], None),
        ]
        with e2e.Session(self) as s:
            s.game.basic(START, VARIABLES)
            system, already = s.user_file("System.dat"), s.user_file("Already.dat")
            self.run_once(s)
            good = {"System.dat": system.read_bytes(), "Already.dat": already.read_bytes()}
            self.assertEqual(e2e.system_globals(good["System.dat"])["later"][1], 7)

            for what, name, damage, undo in cases:
                with self.subTest(what):
                    self.damaged_start(s, good, what, name, damage, undo)

    def damaged_start(self, s, good, what, name, damage, undo):
        for other, data in good.items():
            s.user_file(other).write_bytes(data)
            if s.user_file(other + ".damaged").exists():
                s.user_file(other + ".damaged").unlink()
        damaged = damage(good[name])
        self.assertNotEqual(damaged, good[name], what)
        s.user_file(name).write_bytes(damaged)

        err = self.run_once(s)
        kept = s.user_file(name + ".damaged")
        self.assertTrue(kept.is_file(), "%s: kept aside; stderr: %s" % (what, err))
        self.assertEqual(kept.read_bytes(), damaged, "%s: kept byte for byte" % what)
        lines = [line for line in err.splitlines() if name + " cannot be read" in line]
        self.assertEqual(len(lines), 1, "%s: said once: %s" % (what, err))
        if undo is not None:
            globals_kept = e2e.system_globals(undo(kept.read_bytes()))
            self.assertEqual((globals_kept["runs"][1], globals_kept["later"][1]), (1, 7),
                             "%s: every global is still in the kept file" % what)
        # The program started: the game ran and wrote fresh files.
        globals_now = e2e.system_globals(s.user_file("System.dat").read_bytes())
        expected_runs = 1 if name == "System.dat" else 2
        self.assertEqual((globals_now["runs"][1], globals_now["later"][1]), (expected_runs, 7), what)
        magic = SYSTEM_MAGIC if name == "System.dat" else ALREADY_MAGIC
        self.assertTrue(s.user_file(name).read_bytes().startswith(magic), "%s: a fresh file at exit" % what)

if __name__ == "__main__":
    e2e.main()
