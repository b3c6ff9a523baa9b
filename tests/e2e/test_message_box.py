"""The program's message box on the session's display: each style's picture, the results of
its buttons and of its close button, and the suppression switch."""
import subprocess
import time
import unittest

from harness.e2etest import E2ETestCase
from harness.screen import Screen

W, H = 542, 255
SCREEN_W, SCREEN_H = 1280, 800
# The box has no owner here, so it is centred on the screen.
LEFT, TOP = (SCREEN_W - W) // 2, (SCREEN_H - H) // 2
BUTTON_A = (LEFT + W - 73, TOP + H - 40)       # centre of (W-126, H-60, W-20, H-20)
BUTTON_B = (BUTTON_A[0] - 126, BUTTON_A[1])
CLOSE = (LEFT + W - 29, TOP + 25)             # centre of (W-38, 16, W-20, 34)
TITLE_BAND = (47, 140, 255)
SECOND_INSTANCE = "安装或卸载程序已经在运行,点击“确定”退出"
BROKEN = "卸载程序已被破坏，请重新下载安装后再进行卸载"


class MessageBoxTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.screen = Screen(self.prefix)

    def show(self, style, text):
        self.screen._x("xdotool", "mousemove", "5", "5")  # no hover frame from an earlier click
        proc = self.prefix.start(self.prefix.test_bin_path("msgbox_fixture.exe"), [str(style), text])
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            shot = self.screen.screenshot("msgbox_wait")
            if self.screen.pixel(shot, LEFT + 300, TOP + 10) == TITLE_BAND:
                time.sleep(0.3)
                return proc
            time.sleep(0.2)
        proc.kill()
        self.fail("message box did not appear")

    def is_white(self, shot, x, y):
        return self.screen.pixel(shot, x, y) == (255, 255, 255)

    def dark_pixels(self, shot, x0, y0, x1, y1):
        """Pixels clearly darker than the white body: glyphs drawn there."""
        ppm = subprocess.run(["/usr/bin/convert", str(shot), "-crop", f"{x1 - x0}x{y1 - y0}+{x0}+{y0}", "+repage",
                              "-depth", "8", "ppm:-"], capture_output=True, timeout=30, check=True).stdout
        # P6 header: magic, width, height, maxval, each followed by one whitespace byte.
        fields, pos = [], 0
        while len(fields) < 4:
            while ppm[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[pos:end])
            pos = end
        data = ppm[pos + 1:]
        return sum(1 for i in range(0, len(data) - 2, 3) if data[i] + data[i + 1] + data[i + 2] < 600)

    def test_style_4_yes_no_and_close(self):
        proc = self.show(4, BROKEN)
        shot = self.screen.screenshot("msgbox_style4")
        self.assertEqual(self.screen.pixel(shot, BUTTON_A[0] - 40, BUTTON_A[1]), TITLE_BAND)  # primary "是"
        self.assertTrue(self.is_white(shot, BUTTON_B[0] - 40, BUTTON_B[1]))                   # secondary "否"
        self.assertGreater(self.dark_pixels(shot, LEFT + 150, TOP + 112, LEFT + 400, TOP + 132), 20)
        self.screen.click(*BUTTON_A)
        self.assertEqual(proc.wait(timeout=20), 6)

        proc = self.show(4, BROKEN)
        self.screen.click(*BUTTON_B)
        self.assertEqual(proc.wait(timeout=20), 7)

        proc = self.show(4, BROKEN)
        self.screen.click(*CLOSE)
        self.assertEqual(proc.wait(timeout=20), 8)

    def test_style_0_second_instance_message_and_ok(self):
        proc = self.show(0, SECOND_INSTANCE)
        shot = self.screen.screenshot("msgbox_style0_second_instance")
        self.assertEqual(self.screen.pixel(shot, BUTTON_A[0] - 40, BUTTON_A[1]), TITLE_BAND)
        self.assertTrue(self.is_white(shot, BUTTON_B[0] - 40, BUTTON_B[1]))  # no second button
        self.assertGreater(self.dark_pixels(shot, LEFT + 120, TOP + 112, LEFT + 420, TOP + 132), 20)
        self.screen.click(*BUTTON_A)
        self.assertEqual(proc.wait(timeout=20), 1)

    def test_style_1_cancel_on_the_right_ok_on_its_left(self):
        proc = self.show(1, BROKEN)
        self.screen.screenshot("msgbox_style1")
        self.screen.click(*BUTTON_A)
        self.assertEqual(proc.wait(timeout=20), 2)
        proc = self.show(1, BROKEN)
        self.screen.click(*BUTTON_B)
        self.assertEqual(proc.wait(timeout=20), 1)

    def test_style_2_has_only_the_close_button(self):
        proc = self.show(2, BROKEN)
        shot = self.screen.screenshot("msgbox_style2")
        self.assertTrue(self.is_white(shot, BUTTON_A[0] - 40, BUTTON_A[1]))
        self.screen.click(*BUTTON_A)
        time.sleep(1)
        self.assertIsNone(proc.poll(), "a click on an empty spot ended the box")
        self.screen.click(*CLOSE)
        self.assertEqual(proc.wait(timeout=20), 8)

    def test_suppressed_box_returns_minus_one_without_a_window(self):
        start = time.monotonic()
        r = self.prefix.run(self.prefix.test_bin_path("msgbox_fixture.exe"), ["0", SECOND_INSTANCE, "suppress"],
                            timeout=60)
        self.assertEqual(r.returncode, 255)
        self.assertLess(time.monotonic() - start, 30)
        shot = self.screen.screenshot("msgbox_suppressed")
        self.assertNotEqual(self.screen.pixel(shot, LEFT + 300, TOP + 10), TITLE_BAND)


if __name__ == "__main__":
    unittest.main(verbosity=2)
