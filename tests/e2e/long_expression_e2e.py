"""A start-up script that opens with 120 KB of one long expression of a
declared name, "a + a + ... a", none of whose names is an assignment: the game
still starts, and the picture the statements after the expression show
reaches the window."""
import velk2e2e as e2e

COLOUR = (40, 180, 90)
EXPRESSION = "a + " * 30000 + "a\n"

START = EXPRESSION + """Graphic(Layer=1, File="after.png", x=0, y=0)
Apply()
Wait(Time=600000)
"""


class LongExpression(e2e.TestCase):
    def test_statements_after_a_long_expression_run(self):
        with e2e.Session(self) as s:
            s.game.basic(START, "Variable(Global, Name=a)\n")
            s.game.png("after.png", e2e.LOGICAL_W, e2e.LOGICAL_H, COLOUR)
            p = s.start()
            p.wait_window()
            e2e.wait_until(lambda: e2e.close_to(p.logical_shot().average(600, 320, 680, 400), COLOUR, 3),
                           20, 0.2, "the picture after the expression")
            p.close_window()
            self.assertEqual(p.wait_exit(), 0, p.stderr())


if __name__ == "__main__":
    e2e.main()
