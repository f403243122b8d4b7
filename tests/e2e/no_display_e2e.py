"""Without a display the program says so on stderr and exits with 1 instead of
playing unseen; SDL's offscreen driver is used only when SDL_VIDEODRIVER asks
for it, and then the game plays to its end."""
import velk2e2e as e2e

NO_DISPLAY = {"DISPLAY": None, "WAYLAND_DISPLAY": None}


class NoDisplay(e2e.TestCase):
    def test_no_display_is_an_error_unless_an_unseen_driver_is_asked_for(self):
        with e2e.Session(self) as s:
            s.game.basic("Wait(Time=300)\n")
            cases = [
                ("no display at all", NO_DISPLAY, 1, "no display: neither DISPLAY nor WAYLAND_DISPLAY is set"),
                ("a display that cannot be reached", {"DISPLAY": ":93", "WAYLAND_DISPLAY": None}, 1,
                 "no display: DISPLAY=:93 cannot be reached"),
                ("the offscreen driver asked for", dict(NO_DISPLAY, SDL_VIDEODRIVER="offscreen"), 0, None),
            ]
            for name, env, code, message in cases:
                p = s.start(env=env)
                self.assertEqual(p.wait_exit(30), code, "%s: %s" % (name, p.stderr()))
                if message is not None:
                    self.assertIn("velk2: " + message, p.stderr(), name)
                else:
                    self.assertNotIn("no display", p.stderr(), name)


if __name__ == "__main__":
    e2e.main()
