"""A "System.dat" or "Already.dat" that cannot be read at start-up is not lost
at exit: it is moved aside as "System.dat.damaged" ("Already.dat.damaged"),
byte for byte, said once on stderr, and the program starts with the defaults
and writes fresh files when it ends. A missing file is no damage, and the
kept files outlive later starts."""
import velk2e2e as e2e

VARIABLES = "Variable(Global, Name=runs)\n"
# Every run counts itself in a global variable, kept in "System.dat"; the
# statements it runs leave their read marks in "Already.dat".
START = "runs = runs + 1\n"


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


if __name__ == "__main__":
    e2e.main()
