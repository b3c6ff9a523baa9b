"""The plugin's own uninstaller: its launcher started with the parameters from config.set."""
import unittest

from harness.e2etest import ComponentTestCase

LAUNCHER_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\VOVAzevaroraRezezi.exe"


class PluginTaskTest(ComponentTestCase):
    probe_log_name = "plugin_task_probe.log"

    def setUp(self):
        super().setUp()
        self.launcher = self.inst.install_dir + "\\Plugin\\xdLauncher.exe"
        self.addCleanup(self.prefix.reg_delete, LAUNCHER_KEY)

    def run_task(self, parameters, registered=True):
        settings = b"[auto_run]\r\nopen=1\r\n"
        if parameters is not None:
            settings += b"[plugin_xd]\r\nuninstall_cmd_param=" + parameters.encode() + b"\r\n"
        self.inst.files["config.set"] = settings
        self.inst.lay_out()
        self.prefix.reg_delete(LAUNCHER_KEY)
        if registered:
            self.prefix.reg_add(LAUNCHER_KEY, "Launcher", self.launcher)
        r, log = self.run_probe("plugin", self.inst.install_dir)
        self.assertEqual(r.returncode, 0)
        return log

    def launches(self):
        return [e.fields[0] for e in self.journal.entries("exe", "xdLauncher.exe")]

    def test_launcher_gets_the_parameters_and_its_exit_code_is_logged(self):
        self.journal.control("xdLauncher.exe", exit=5)
        log = self.run_task("/uninstall /silent")
        self.assertEqual(self.launches(), [f'"{self.launcher}" /uninstall /silent'])
        self.assertIn("CPluginTask::StartTask result=1 code=5", log)

    def test_launcher_past_its_three_seconds_keeps_running(self):
        self.journal.control("xdLauncher.exe", linger=6000)
        log = self.run_task("/u")
        self.assertIn("CPluginTask::StartTask result=1 code=259", log)  # STILL_ACTIVE
        self.assertTrue(self.journal.wait_for(lambda: self.journal.entries("exit", "xdLauncher.exe"), 15))

    def test_nothing_starts_without_parameters_or_without_a_launcher(self):
        for label, parameters, registered in (("no launcher", "/u", False), ("no parameters", None, True),
                                              ("empty parameters", "", True)):
            with self.subTest(label):
                log = self.run_task(parameters, registered)
                self.assertIn("CPluginTask::StartTask result=0 code=-1", log)
                self.assertEqual(self.launches(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
