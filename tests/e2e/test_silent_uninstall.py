"""A silent uninstall through Uninstall.exe: no window is shown, the progress window's callbacks
log the run, the install directory is emptied of the product, the finish report carries the days
since the install date, and the process waits for the engine's last callback before it ends."""
import re
import time
import unittest

from harness import components
from harness.e2etest import E2ETestCase
from harness.system_entries import SystemEntries

EVER_KEY = r"HKCU\Software\orbWallPaperEver"


class SilentUninstallTest(E2ETestCase):
    def finish_reports(self):
        return [e["query"] for e in self.server.requests(path="/tarvo") if "action=uninstall_2" in e["query"]]

    def test_silent_run_uninstalls_and_reports_the_finish(self):
        self.prefix.reg_delete(EVER_KEY)
        installed = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(time.time() - 3 * 86400))
        inst = self.installation(values={"ProductName": "Lumetta", "InstallDate": installed})
        # Report URLs need a dotted "appver" under Wine: any file with a version resource serves.
        inst.files.update({"vantel.exe": self.prefix.drive_c / "windows" / "system32" / "kernel32.dll",
                           "Utils/x/deep.dat": b"x", "stranger.txt": b"not ours"})
        inst.lay_out()

        result = inst.run_uninstaller(["/S"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])
        log = result.new_log

        # The callbacks in the order the engine delivers them; the silent finish stops early.
        order = ["OnUninstallStart callback...", "Progress: 1\r\n", "Progress: 4\r\n", "Progress: 99\r\n",
                 "re unistinfo ret=", "CInstallingModel::OnRealInstallEnd"]
        at = 0
        for line in order:
            found = log.find(line, at)
            self.assertNotEqual(found, -1, f"missing or out of order: {line!r}\n{log}")
            at = found + len(line)
        self.assertNotIn("uninstall end callback", log)
        progress = [int(v) for v in re.findall(r"Progress: (\d+)", log)]
        self.assertEqual(progress[:7], [1, 4, 5, 6, 7, 8, 9])
        self.assertEqual(progress[-3:], [97, 98, 99])

        # Only the file the product does not own is left.
        self.assertEqual(inst.existing_files(), {"stranger.txt"})

        self.assertIsNotNone(self.prefix.reg_query(EVER_KEY, "unistdate"))


    def test_whole_run_calls_the_components_and_leaves_nothing_of_the_product_outside(self):
        journal = components.Journal(self.prefix)
        self.addCleanup(journal.close)
        entries = SystemEntries(self.prefix)
        self.addCleanup(entries.remove_all)
        inst = self.installation()
        inst.files.update(components.layout_files(self.prefix))
        inst.lay_out()
        entries.lay_out()

        result = inst.run_uninstaller(["/S"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])

        # The fixed component calls of the sequence, in its order.
        root = inst.install_dir
        calls = [(e.kind, e.name.lower(), e.fields) for e in journal.entries() if e.kind in ("exe", "dll")]
        expected = [
            ("exe", "daverud.exe", [f'"{root}\\Utils\\daverud.exe" /UnInstallDesk '
                                    f'/LockHomePagePath="{root}\\Utils\\daverud.exe" /Pid=tarvo']),
            ("dll", "mvkgamecenter_tarvo.dll", ["Start4RunDll", "/S /PID=tarvo /NOUNINSTALL"]),
            ("dll", "rurozizedoru.dll", ["Uninst", ""]),
            ("dll", "zentrik12.dll", ["Uninst", ""]),
        ]
        positions = []
        for call in expected:
            self.assertIn(call, calls)
            positions.append(calls.index(call))
        self.assertEqual(positions, sorted(positions), calls)

        entries.assert_product_entries_gone(self)
        # Top-level folders the allow list does not name are not the uninstaller's to delete.
        self.assertEqual(inst.existing_files(), {"Plugin", "Plugin/xdLauncher.exe", "ZavAdo", "ZavAdo/ZavAdo.exe"})


if __name__ == "__main__":
    unittest.main(verbosity=2)
