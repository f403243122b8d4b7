"""A Japanese window title reaches X whole, and setting it reports no failure."""

import subprocess

import velk2e2e as e2e

TITLE = "東雲の約束 — テスト"


def read_property(session, window, name):
    # xprop prints text in its own locale: UTF-8, so the title is not escaped.
    env = dict(session._x_env(), LC_ALL="C.UTF-8")
    return subprocess.run(["xprop", "-id", str(window), name], env=env, stdout=subprocess.PIPE,
                          timeout=30).stdout.decode("utf-8", errors="replace")


class WindowTitle(e2e.TestCase):
    def test_japanese_title(self):
        with e2e.Session(self) as s:
            s.game.basic('WindowTitle(Text="%s")\nWait(Time=600000)\n' % TITLE)
            p = s.start()
            p.wait_window()
            # Both the modern property and the old one that older window
            # managers and tools read.
            for prop in ("_NET_WM_NAME", "WM_NAME"):
                e2e.wait_until(lambda: TITLE in read_property(s, p.window, prop), 10, 0.1,
                               "%s to read %r" % (prop, TITLE))
            p.close_window()
            self.assertEqual(p.wait_exit(), 0)
            self.assertNotIn("waiting for events failed", p.stderr())
            self.assertNotIn("title", p.stderr())


if __name__ == "__main__":
    e2e.main()
