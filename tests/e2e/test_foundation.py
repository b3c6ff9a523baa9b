"""The rig itself: a run of Uninstall.exe in the prefix, a request reaching the test server
through the proxy setting, and a window on the session's display."""
import subprocess
import time
import unittest

from harness.e2etest import E2ETestCase
from harness.screen import Screen
from harness.server import Reply

STAT_URL = "http://stat.lumetta-soft.com/tarvo/report?action=rig_check&v=1.0"


class RigTest(E2ETestCase):
    def test_uninstaller_runs_from_the_install_directory_and_logs(self):
        inst = self.installation().lay_out()
        result = inst.run_uninstaller(["/S", "/extra=1"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])
        self.assertIn("================== Start Log:", result.new_log)
        self.assertIn("/extra=1", result.new_log)

    def test_request_for_a_product_host_reaches_the_test_server(self):
        self.server.script("/tarvo/report", Reply("served"))
        out = self.prefix.build_dir / "http_get.out"
        out.unlink(missing_ok=True)
        r = self.prefix.run(self.prefix.test_bin_path("http_get.exe"), [STAT_URL, self.prefix.windows_path(out)])
        self.assertEqual(r.returncode, 0, r.stderr)
        hits = self.server.requests(path="/tarvo/report")
        self.assertEqual(len(hits), 1)
        self.assertEqual(hits[0]["url"], STAT_URL)
        self.assertEqual(hits[0]["host"], "stat.lumetta-soft.com")
        self.assertEqual(out.read_text().splitlines(), ["200", "served"])

    def test_window_on_the_display_screenshot_and_click(self):
        screen = Screen(self.prefix)
        proc = self.prefix.start(self.prefix.test_bin_path("show_window.exe"), ["RigWindow"])
        self.assertIsNotNone(screen.wait_for_window("RigWindow"), "window did not appear")
        time.sleep(0.5)
        shot = screen.screenshot("rig_window")
        self.assertGreater(shot.stat().st_size, 1000)
        # The window is white inside its border at (100,100)-(500,300).
        self.assertEqual(screen.pixel(shot, 300, 160), (255, 255, 255))
        screen.click(100 + 200, 100 + 140)
        self.assertEqual(proc.wait(timeout=20), 7)


if __name__ == "__main__":
    unittest.main(verbosity=2)
