"""What the product registers outside its install directory, laid out in the prefix and
checked afterwards: desktop shortcuts, programs-menu folders, registry keys, Run values,
kernel services, the autorun task and config.set."""
import configparser
import shutil

from harness.installation import APP_KEY

RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\dazovoze"
USER_KEY = r"HKCU\Software\orbWallPaper"
CLASS_KEY = r"HKCR\Lumetta"
SERVICES = ("ZentrikLock", "ZentrikLockWp", "VivazavoDirazazIv", "RuvediduruveZI")
DESKTOP_LINKS = ("orb壁纸.lnk", "Lumetta.lnk", "LumettaLite.lnk")


class SystemEntries:
    def __init__(self, prefix):
        self.prefix = prefix
        users = prefix.drive_c / "users"
        self.common_desktop = users / "Public" / "Desktop"
        self.user_desktop = users / prefix.user / "Desktop"
        self.common_programs = prefix.drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs"
        self.user_programs = users / prefix.user / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"

    def probe(self, *args):
        r = self.prefix.run(self.prefix.test_bin_path("cleanup_probe.exe"), list(args))
        assert r.returncode == 0, (args, r.returncode, r.stderr)
        return r.stdout.decode(errors="replace")

    def lay_out(self):
        """Every entry the product may leave, plus entries of others that must survive."""
        for desktop in (self.common_desktop, self.user_desktop):
            desktop.mkdir(parents=True, exist_ok=True)
            for name in DESKTOP_LINKS:
                (desktop / name).write_bytes(b"lnk")
            (desktop / "Mine.lnk").write_bytes(b"lnk")
        for rel in ("Lumetta/Lumetta.lnk", "Lumetta/卸载Lumetta.lnk", "orb安全中心/orb壁纸/orb壁纸.lnk",
                    "orb安全中心/orb卫士/orb卫士.lnk"):
            (self.common_programs / rel).parent.mkdir(parents=True, exist_ok=True)
            (self.common_programs / rel).write_bytes(b"lnk")
        own = self.user_programs / "Lumetta" / "Mine.lnk"
        own.parent.mkdir(parents=True, exist_ok=True)
        own.write_bytes(b"lnk")
        p = self.prefix
        p.reg_add(APP_KEY + r"\file_list", "a.dll", "")
        p.reg_add(APP_KEY + r"\file_pe", "b.dll", "")
        p.reg_add(USER_KEY, "pid", "p1")
        p.reg_add(CLASS_KEY + r"\shell", None, "open")
        p.reg_add("HKCU\\" + RUN_KEY, "divov-srv", "x")
        p.reg_add("HKLM\\" + RUN_KEY, "divov-srv", "x")
        p.reg_add("HKLM\\" + RUN_KEY, "wpapp", "x", view=32)
        p.reg_add("HKLM\\" + RUN_KEY, "wpapp", "y", view=64)
        p.reg_add("HKLM\\" + RUN_KEY, "OtherProduct", "z")
        p.reg_add(UNINSTALL_KEY, "DisplayName", "Lumetta")
        self.probe("seed-services")
        self.probe("seed-task")

    def assert_product_entries_gone(self, test):
        """None of the product's entries remain; the others' entries and the user's own survive."""
        for desktop in (self.common_desktop, self.user_desktop):
            test.assertEqual([n for n in DESKTOP_LINKS if (desktop / n).exists()], [], desktop)
            test.assertTrue((desktop / "Mine.lnk").exists())
        test.assertFalse((self.common_programs / "Lumetta").exists())
        test.assertFalse((self.common_programs / "orb安全中心/orb壁纸").exists())
        test.assertTrue((self.common_programs / "orb安全中心/orb卫士/orb卫士.lnk").exists())
        test.assertTrue((self.user_programs / "Lumetta/Mine.lnk").exists(), "the user's own menu is untouched")
        p = self.prefix
        for key in (APP_KEY, USER_KEY, CLASS_KEY, UNINSTALL_KEY):
            test.assertFalse(p.reg_key_exists(key), key)
        test.assertIsNone(p.reg_query("HKCU\\" + RUN_KEY, "divov-srv"))
        test.assertIsNone(p.reg_query("HKLM\\" + RUN_KEY, "divov-srv"))
        test.assertIsNone(p.reg_query("HKLM\\" + RUN_KEY, "wpapp", view=32))
        test.assertIsNone(p.reg_query("HKLM\\" + RUN_KEY, "wpapp", view=64))
        test.assertEqual(p.reg_query("HKLM\\" + RUN_KEY, "OtherProduct"), "z")
        test.assertFalse(self.task_present())
        test.assertEqual(self.services(), {name: False for name in SERVICES})

    def services(self):
        """{name: present?} as the service control manager answers."""
        out = {}
        for line in self.probe("query-services").splitlines():
            name, state = line.split()
            out[name] = state == "present"
        return out

    def task_present(self):
        return self.probe("query-task").startswith("task present")

    @staticmethod
    def config_open(install_root):
        """Key "open" of section "auto_run" in config.set (an ANSI profile file)."""
        parser = configparser.ConfigParser()
        parser.read_string((install_root / "config.set").read_bytes().decode("latin-1"))
        return parser.get("auto_run", "open", fallback=None)

    def remove_all(self):
        """Clean state for the next test."""
        p = self.prefix
        for key in (UNINSTALL_KEY, USER_KEY, CLASS_KEY):
            p.reg_delete(key)
        for view in (32, 64):
            for name in ("divov-srv", "wpapp", "OtherProduct"):
                p.reg("delete", "HKLM\\" + RUN_KEY, "/v", name, "/f", view=view)
        p.reg("delete", "HKCU\\" + RUN_KEY, "/v", "divov-srv", "/f")
        for desktop in (self.common_desktop, self.user_desktop):
            for name in DESKTOP_LINKS + ("Mine.lnk",):
                (desktop / name).unlink(missing_ok=True)
        for root in (self.common_programs, self.user_programs):
            for folder in ("Lumetta", "orb安全中心"):
                shutil.rmtree(root / folder, ignore_errors=True)
        self.probe("cleanup", "", "")  # services and task
