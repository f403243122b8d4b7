"""A main script that runs "ScriptInterrupt" itself: the interrupt script runs
once, then the main script goes on after the statement and ends, and with it
the program (exit code 0)."""
import velk2e2e as e2e

VARIABLES = """Variable(Global, Name=interrupts)
Variable(Global, Name=after)
"""
START = """ScriptInterrupt(File="intr.qvs")
after = after + 1
"""
INTERRUPT = "interrupts = interrupts + 1\n"


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


if __name__ == "__main__":
    e2e.main()
