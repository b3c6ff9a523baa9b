"""Restore mode ("/K") through Uninstall.exe, relaunched from its temporary copy like every run:
the edition's shortcuts read back through IShellLinkW, the uninstall registration with the exact
data sizes, config.set and the autorun entry, and nothing uninstalled."""
import struct
import unittest

from harness.e2etest import E2ETestCase
from harness.installation import APP_KEY
from harness.system_entries import DESKTOP_LINKS, RUN_KEY, UNINSTALL_KEY, SystemEntries

REG_SZ = 1
PARTNER_HOME_PAGE = "http://www.orbwp.cn/"


def file_version(path):
    """The fixed file version of a program's version resource as "a.b.c.d"."""
    data = path.read_bytes()
    at = data.index(struct.pack("<I", 0xFEEF04BD))   # VS_FIXEDFILEINFO's signature
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


class RestoreModeTest(E2ETestCase):
    maxDiff = None

    def setUp(self):
        super().setUp()
        self.entries = SystemEntries(self.prefix)
        self.addCleanup(self.entries.remove_all)

    def restore(self, values, files=None):
        """Lays out an installation with autorun switched off and runs "Uninstall.exe /K"."""
        all_files = {"vantel.exe": self.prefix.bin_path("Uninstall.exe"),   # a program with a version resource
                     "config.set": b"[auto_run]\r\nopen=0\r\n"}
        all_files.update(files or {})
        inst = self.installation(values=values, files=all_files).lay_out()
        self.assertFalse(self.prefix.reg_key_exists(UNINSTALL_KEY))
        result = inst.run_uninstaller(["/K"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])
        copies = [l for l in result.new_log.splitlines() if "uninstaller started" in l and "/READYUNINSTALL" in l]
        self.assertEqual(len(copies), 1, result.new_log)
        self.assertIn("/K  /READYUNINSTALL", copies[0])
        # Nothing was uninstalled, and the uninstall's own start was never reported.
        self.assertTrue((inst.root / "Uninstall.exe").exists())
        self.assertTrue(self.prefix.reg_key_exists(APP_KEY))
        self.assertNotIn("action=uninstall_1", " ".join(e["query"] for e in self.server.requests()))
        # Autorun, here through the Run value: Wine's task scheduler cannot make the logon task.
        self.assertEqual(self.entries.config_open(inst.root), "1")
        program = inst.install_dir + "\\rodozivo.exe"
        self.assertEqual(self.prefix.reg_query("HKLM\\" + RUN_KEY, "divov-srv"), f'"{program}" /autorun --from=task')
        self.assertIn("Add auto run register, " + program, result.new_log)
        self.assertFalse(self.entries.task_present())
        return inst

    def expect_link(self, link, target, icon_index):
        out = self.entries.probe("read-link", self.prefix.windows_path(link))
        fields = dict(line.split("=", 1) for line in out.splitlines())
        short_target = self.entries.probe("short-path", target).strip()
        self.assertEqual(fields, {"path": target, "arguments": "", "working_dir": target.rsplit("\\", 1)[0],
                                  "icon": short_target, "icon_index": str(icon_index)}, link)

    def expect_registration(self, expected):
        stored = {}
        for line in self.entries.probe("registration").splitlines():
            name, kind, size, text = line.split("\t", 3)
            stored[name] = (int(kind), int(size), text)
        # Twice the character count: no terminating zero.
        self.assertEqual(stored, {name: (REG_SZ, len(text.encode("utf-16-le")), text)
                                  for name, text in expected.items()})

    def test_own_edition(self):
        stale = self.entries.user_desktop / "orb壁纸.lnk"
        stale.parent.mkdir(parents=True, exist_ok=True)
        stale.write_bytes(b"lnk")
        inst = self.restore({"ProductName": "LUMETTA"})
        d, e = inst.install_dir, self.entries
        main, uninstaller = d + "\\vantel.exe", d + "\\Uninstall.exe"
        self.expect_link(e.common_desktop / "Lumetta.lnk", main, 1)
        self.expect_link(e.common_programs / "Lumetta/Lumetta.lnk", main, 1)
        self.expect_link(e.common_programs / "Lumetta/卸载Lumetta.lnk", uninstaller, 0)
        self.assertFalse(stale.exists())
        self.expect_registration({
            "DisplayIcon": d + "\\Utils\\lumetta.ico", "DisplayName": "Lumetta",
            "DisplayVersion": file_version(inst.root / "vantel.exe"), "InstallLocation": d, "Publisher": "",
            "UninstallString": uninstaller, "URLInfoAbout": ""})

    def test_partner_edition_keeps_another_products_menu_entry(self):
        other = self.entries.common_programs / "orb安全中心/orb卫士/orb卫士.lnk"
        other.parent.mkdir(parents=True, exist_ok=True)
        other.write_bytes(b"lnk")
        inst = self.restore({"ProductName": None})
        d, e = inst.install_dir, self.entries
        main, uninstaller = d + "\\vantel.exe", d + "\\Uninstall.exe"
        menu = e.common_programs / "orb安全中心/orb壁纸"
        self.expect_link(e.common_desktop / "orb壁纸.lnk", main, 0)
        self.expect_link(menu / "orb壁纸.lnk", main, 0)
        self.expect_link(menu / "卸载orb壁纸.lnk", uninstaller, 0)
        self.assertTrue(other.exists())
        self.expect_registration({
            "DisplayIcon": main, "DisplayName": "orb壁纸", "DisplayVersion": file_version(inst.root / "vantel.exe"),
            "InstallLocation": d, "Publisher": "orb互联网安全中心", "UninstallString": uninstaller,
            "URLInfoAbout": PARTNER_HOME_PAGE})

    def test_without_the_main_program_only_config_and_autorun_are_written(self):
        self.restore({"ProductName": "Lumetta"}, files={"vantel.exe": None})
        e = self.entries
        self.assertEqual([n for n in DESKTOP_LINKS if (e.common_desktop / n).exists()], [])
        self.assertFalse((e.common_programs / "Lumetta").exists())
        self.assertFalse(self.prefix.reg_key_exists(UNINSTALL_KEY))


if __name__ == "__main__":
    unittest.main(verbosity=2)
