"""Closing and terminating the product's programs: configured window messages, the widget
window's pause, termination of everything inside the install directory (but not beside it),
the spare program, the uninstaller and its parent, and the known executables by path."""
import shutil
import unittest

from harness import components
from harness.e2etest import ComponentTestCase

WIDGET = "orbWallPaperCtrlCls"


class ProcessControlTest(ComponentTestCase):
    probe_log_name = "process_control_probe.log"

    def setUp(self):
        super().setUp()
        self.inst.files["engine_probe.exe"] = self.prefix.test_bin_path("engine_probe.exe")
        self.inst.lay_out()
        # A folder beside the install directory whose name begins with the install folder's name.
        self.sibling = self.inst.install_dir + "2"
        sib = self.prefix.unix_path(self.sibling)
        sib.mkdir(parents=True, exist_ok=True)
        for name in ("vantel.exe", "beside.exe"):
            shutil.copyfile(components.component_path(self.prefix, components.PROGRAM), sib / name)
        self.addCleanup(shutil.rmtree, sib, True)

    def start(self, windows_path, **control):
        name = windows_path.rsplit("\\", 1)[-1]
        if control:
            self.journal.control(name, **control)
        proc = self.prefix.start(windows_path)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        return proc

    def wait_started(self, count, kind="exe"):
        self.assertTrue(self.journal.wait_for(lambda: len(self.journal.entries(kind)) >= count),
                        self.journal.entries())

    def probe(self, *args, in_install_dir=False, timeout=120):
        exe = (self.inst.install_dir + "\\engine_probe.exe") if in_install_dir else None
        return self.run_probe(*args, exe=exe, timeout=timeout)

    def path(self, rel):
        return self.inst.install_dir + "\\" + rel

    def test_windows_get_their_messages_then_everything_inside_is_terminated(self):
        main = self.start(self.path("vantel.exe"), window="LumettaWallpaperMainWnd")
        widget = self.start(self.path("rodozivo.exe"), window=WIDGET)
        layer = self.start(self.path("vantelmain.exe"), window="LumettaDesktopLayerWnd", stay=1)
        helper = self.start(self.path("Utils\\daverud.exe"), stay=1)
        spare = self.start(self.path("ZavAdo\\ZavAdo.exe"), stay=1)
        beside = self.start(self.sibling + "\\beside.exe", stay=1)
        self.wait_started(3, "window")
        self.wait_started(6)

        r, log = self.probe("as-child", "close-all", self.inst.install_dir,
                            "LumettaWallpaperMainWnd|16|0x168|0x168|2000",
                            WIDGET + "|16|0|0|2000",
                            "LumettaDesktopLayerWnd|273|0x9C4B|0|2000",
                            "NoSuchWindowClass|16|0|0|2000", in_install_dir=True)
        self.assertEqual(r.returncode, 0, log)

        msgs = {e.fields[0]: e for e in self.journal.entries("msg")}
        self.assertEqual(msgs["LumettaWallpaperMainWnd"].fields[1:], ["16", "0x168", "0x168"])
        self.assertEqual(msgs[WIDGET].fields[1:], ["16", "0x0", "0x0"])
        self.assertEqual(msgs["LumettaDesktopLayerWnd"].fields[1:], ["273", "0x9C4B", "0x0"])
        # The widget window costs its pause before the next entry is messaged.
        self.assertGreaterEqual(msgs["LumettaDesktopLayerWnd"].tick - msgs[WIDGET].tick, 2000)
        # The quit broadcast reached the product's windows.
        self.assertIn("LumettaDesktopLayerWnd", [e.fields[0] for e in self.journal.entries("quit")])

        for cls in ("LumettaWallpaperMainWnd", WIDGET, "LumettaDesktopLayerWnd"):
            self.assertIn(f"Send msg to {cls} wnd", log)
        self.assertNotIn("NoSuchWindowClass", log)
        self.assertIn("enter KillProcessesInInstallPath szTargetDir=" + self.inst.install_dir, log)
        self.assertIn("enter KillMultiProcesses", log)
        self.assertIn("end KillMultiProcesses", log)
        self.assertIn("end KillProcessesInInstallPath", log)

        for proc in (layer, helper):
            self.assertIsNotNone(proc.wait(timeout=10))
        self.assertIn("Kill process: " + self.path("vantelmain.exe"), log)
        self.assertIn("Kill process: " + self.path("Utils\\daverud.exe"), log)
        for proc in (main, widget):  # they closed on their message
            self.assertIsNotNone(proc.wait(timeout=10))
        # Spared: the spare program, the process beside the directory, the probe and its parent.
        self.assertIsNone(spare.poll())
        self.assertIn("Ignore process : " + self.path("ZavAdo\\ZavAdo.exe"), log)
        self.assertIsNone(beside.poll())
        self.assertNotIn("Lumetta2", log)
        self.assertNotIn("Kill process: " + self.path("engine_probe.exe"), log)
        self.assertIn("probe parent alive, child exit=0", log)

    def test_known_executable_is_terminated_by_its_exact_path(self):
        inside = self.start(self.path("vantel.exe"), stay=1)
        beside = self.start(self.sibling + "\\vantel.exe")
        self.wait_started(2)
        r, log = self.probe("kill-path", self.path("VANTEL.EXE"))
        self.assertEqual(r.returncode, 0, log)
        self.assertIsNotNone(inside.wait(timeout=10))
        self.assertIn("Kill process: " + self.path("vantel.exe"), log)
        self.assertIsNone(beside.poll())

    def test_short_directory_stops_after_the_first_line(self):
        r, log = self.probe("kill-in", "C:\\")
        self.assertEqual(r.returncode, 0)
        self.assertIn("enter KillProcessesInInstallPath szTargetDir=C:\\", log)
        self.assertNotIn("KillMultiProcesses", log)
        self.assertNotIn("end KillProcessesInInstallPath", log)


if __name__ == "__main__":
    unittest.main(verbosity=2)
