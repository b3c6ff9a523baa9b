"""The cleanup steps against an installation that has every outside entry, and the restore
mode's registrations, checked in the prefix with reg and the file system."""
import unittest

from harness.e2etest import E2ETestCase
from harness.installation import APP_KEY
from harness.system_entries import CLASS_KEY, RUN_KEY, UNINSTALL_KEY, USER_KEY, SystemEntries


class SystemCleanupTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.entries = SystemEntries(self.prefix)
        self.addCleanup(self.entries.remove_all)

    def test_nothing_of_the_product_remains_and_others_entries_survive(self):
        inst = self.installation().lay_out()
        e = self.entries
        e.lay_out()
        self.assertTrue(all(e.services().values()))
        self.assertTrue(e.task_present())
        log_before = self.prefix.log_file.read_bytes() if self.prefix.log_file.exists() else b""

        e.probe("cleanup", inst.install_dir, APP_KEY.split("\\", 1)[1])

        e.assert_product_entries_gone(self)
        p = self.prefix
        self.assertEqual(e.config_open(inst.root), "0")
        log = p.log_file.read_bytes()[len(log_before):].decode("gbk", errors="replace")
        for line in ("Delete AutoRun Registry, ret = 1", "Delete AutoRun Task Schedule, ret = 1",
                     "Delete uninstall registry"):
            self.assertIn(line, log)

    def test_empty_regapppath_subkey_keeps_every_product_key(self):
        inst = self.installation().lay_out()
        self.entries.lay_out()
        self.entries.probe("cleanup", inst.install_dir, "")
        for key in (APP_KEY, USER_KEY, CLASS_KEY):
            self.assertTrue(self.prefix.reg_key_exists(key), key)

    def test_restore_rebuilds_registration_and_autorun_for_each_edition(self):
        # reg prints Chinese data in a code page the harness does not decode: ASCII values only.
        for product_name, menu, display_name in (("Lumetta", "Lumetta", "Lumetta"),
                                                 (None, "orb安全中心/orb壁纸", None)):
            with self.subTest(edition=product_name or "partner"):
                inst = self.installation(values={"ProductName": product_name}).lay_out()
                e = self.entries
                e.probe("restore")
                self.assertEqual(e.config_open(inst.root), "1")
                self.assertTrue((e.common_programs / menu).is_dir())
                self.assertEqual(len(list((e.common_programs / menu).glob("*.lnk"))), 2)
                p = self.prefix
                if display_name:
                    self.assertEqual(p.reg_query(UNINSTALL_KEY, "DisplayName"), display_name)
                self.assertEqual(p.reg_query(UNINSTALL_KEY, "UninstallString"), inst.install_dir + "\\Uninstall.exe")
                self.assertEqual(p.reg_query(UNINSTALL_KEY, "InstallLocation"), inst.install_dir)
                self.assertEqual(p.reg_query("HKLM\\" + RUN_KEY, "divov-srv"),
                                 f'"{inst.install_dir}\\rodozivo.exe" /autorun --from=task')
                e.remove_all()

    def test_restore_without_the_main_program_writes_only_autorun(self):
        inst = self.installation(files={"vantel.exe": None}).lay_out()
        (inst.root / "vantel.exe").unlink(missing_ok=True)
        e = self.entries
        e.probe("restore")
        self.assertFalse(self.prefix.reg_key_exists(UNINSTALL_KEY))
        self.assertFalse((e.common_desktop / "Lumetta.lnk").exists())
        self.assertEqual(e.config_open(inst.root), "1")
        self.assertIsNotNone(self.prefix.reg_query("HKLM\\" + RUN_KEY, "divov-srv"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
