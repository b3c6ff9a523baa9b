"""The entry sequence in the prefix: the relaunch from a temporary copy, the caller token of
silent runs, the single-instance rule, the early failure of a copy without 7z.dll and the
removal of the copy's directory at the next restart."""
import re
import shutil
import subprocess
import time
import unittest
from urllib.parse import unquote

from harness.e2etest import E2ETestCase
from harness.installation import APP_KEY
from harness.cipher import decrypt_text
from harness.server import Reply

CACHE_NAME = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}-TemporaryCache$")
COPY_FILES = {"Uninstall.exe", "VuzOD.dll", "7z.dll", "Utils", "Utils/MVKBasic.dll"}
MID_KEY = r"HKLM\Software\Warden2\Liveup"


class EntryTestBase(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.caches_before = self.caches()
        self.addCleanup(self.remove_new_caches)

    def installation(self, files=None, **kwargs):
        # A main program with a version resource: the reports then carry a dotted "appver",
        # which Wine's URL download needs (it derives a file extension from the URL).
        all_files = {"vantel.exe": self.prefix.bin_path("Uninstall.exe")}
        all_files.update(files or {})
        return super().installation(files=all_files, **kwargs)

    def caches(self):
        temp = self.prefix.temp_dir
        return {p.name for p in temp.iterdir() if p.name.endswith("-TemporaryCache")} if temp.exists() else set()

    def new_caches(self):
        return sorted(self.caches() - self.caches_before)

    def remove_new_caches(self):
        for name in self.new_caches():
            shutil.rmtree(self.prefix.temp_dir / name, ignore_errors=True)

    def cache_files(self, name):
        root = self.prefix.temp_dir / name
        return {str(p.relative_to(root)) for p in root.rglob("*")}

    def stop_copy_at_install_dir_check(self, extra_work=None):
        """While the first instance waits for its synchronous "uninstall_from" report, the
        application key loses "path": the copy then exits at its install-directory check and
        leaves its directory as the first instance made it."""
        seen = {}

        def handler(entry):
            if "action=uninstall_from" in entry["query"]:
                seen["path_at_report"] = self.prefix.reg_query(APP_KEY, "path")
                seen["caches_at_report"] = self.new_caches()
                if extra_work:
                    extra_work(seen)
                self.prefix.reg("delete", APP_KEY, "/v", "path", "/f")
            return Reply("ok")

        self.server.script("/tarvo", Reply(handler=handler))
        return seen

    def actions(self):
        return [re.search(r"action=([^&]*)", e["query"]).group(1) for e in self.server.requests(path="/tarvo")
                if "action=" in e["query"]]

    def copy_lines(self, log):
        return [l for l in log.splitlines() if "uninstaller started" in l and "/READYUNINSTALL" in l]


class RelaunchTest(EntryTestBase):
    def test_copy_in_one_new_cache_directory_started_with_ready_uninstall_appended(self):
        seen = self.stop_copy_at_install_dir_check()
        inst = self.installation().lay_out()
        result = inst.run_uninstaller(["/S", "/extra=1", "/x=\"a b\""])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])
        caches = self.new_caches()
        self.assertEqual(len(caches), 1, caches)
        self.assertRegex(caches[0], CACHE_NAME)
        self.assertEqual(self.cache_files(caches[0]), COPY_FILES)
        root = self.prefix.temp_dir / caches[0]
        self.assertEqual((root / "Uninstall.exe").read_bytes(), (inst.root / "Uninstall.exe").read_bytes())
        self.assertEqual((root / "VuzOD.dll").read_bytes(), (inst.root / "vevevevivarudir/VuzOD.dll").read_bytes())
        self.assertEqual((root / "7z.dll").read_bytes(), (inst.root / "Utils/7z.dll").read_bytes())
        # The report left before the copy ran, and the copy got the whole command line.
        self.assertEqual(seen["path_at_report"], inst.install_dir)
        self.assertEqual(self.actions(), ["uninstall_from"])
        query = self.server.requests(path="/tarvo")[0]["query"]
        self.assertRegex(query, r"ex1=&ex2=\d+\.\d+")  # started from Linux: no parent process
        self.assertIn("parent process path= ", result.new_log)
        lines = self.copy_lines(result.new_log)
        self.assertEqual(len(lines), 1, result.new_log)
        first = [l for l in result.new_log.splitlines() if "uninstaller started" in l][0]
        original = first.split("command line: ", 1)[1]
        self.assertIn("/extra=1", original)
        self.assertTrue(lines[0].split("command line: ", 1)[1].startswith(original + "  /READYUNINSTALL  /CHK="),
                        lines[0])
        self.assertNotIn("illegal call", result.new_log)

    def test_rodudave_is_the_source_when_uninstall_exe_is_missing(self):
        self.stop_copy_at_install_dir_check()
        inst = self.installation(files={"Uninstall.exe": None, "Rodudave.exe": self.prefix.bin_path("Uninstall.exe")})
        inst.lay_out()
        result = inst.run_uninstaller(["/S"], exe_name="Rodudave.exe")
        self.assertEqual(result.returncode, 0)
        caches = self.new_caches()
        self.assertEqual(len(caches), 1)
        self.assertEqual(self.cache_files(caches[0]), COPY_FILES)
        self.assertEqual(len(self.copy_lines(result.new_log)), 1)

    def test_orbvuzod_is_the_library_source_and_a_missing_library_does_not_stop_the_relaunch(self):
        for files, expected in (({"vevevevivarudir/VuzOD.dll": None, "orbVuzOD.dll": b"MZ orb"}, b"MZ orb"),
                                ({"vevevevivarudir/VuzOD.dll": None}, None)):
            with self.subTest(files=sorted(files)):
                self.server.journal.clear()
                self.caches_before = self.caches()
                self.stop_copy_at_install_dir_check()
                inst = self.installation(files=files).lay_out()
                result = inst.run_uninstaller(["/S"])
                caches = self.new_caches()
                self.assertEqual(len(caches), 1)
                library = self.prefix.temp_dir / caches[0] / "VuzOD.dll"
                if expected is None:
                    self.assertFalse(library.exists())
                else:
                    self.assertEqual(library.read_bytes(), expected)
                self.assertEqual(len(self.copy_lines(result.new_log)), 1)
                self.remove_new_caches()

    def test_no_archive_library_means_no_copy_and_nothing_left(self):
        inst = self.installation(files={"Utils/7z.dll": None}).lay_out()
        result = inst.run_uninstaller(["/S"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.new_caches(), [])
        self.assertEqual(self.copy_lines(result.new_log), [])
        self.assertEqual(self.actions(), [])

    def test_missing_path_is_repaired_from_the_main_program_beside_the_executable(self):
        seen = self.stop_copy_at_install_dir_check()
        inst = self.installation(values={"ProductName": "Lumetta", "path": None}).lay_out()
        self.assertIsNone(self.prefix.reg_query(APP_KEY, "path"))
        result = inst.run_uninstaller(["/S"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(seen["path_at_report"], inst.install_dir)
        self.assertEqual(len(self.new_caches()), 1)
        self.assertEqual(len(self.copy_lines(result.new_log)), 1)

    def test_without_path_and_main_program_nothing_is_copied(self):
        inst = self.installation(values={"ProductName": "Lumetta", "path": None}, files={"vantel.exe": None})
        inst.lay_out()
        result = inst.run_uninstaller(["/S"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.new_caches(), [])
        self.assertIsNone(self.prefix.reg_query(APP_KEY, "path"))

    def test_unsigned_copy_is_not_started(self):
        unsigned = self.prefix.build_dir / "e2e-unsigned-Uninstall.exe"
        unsigned.unlink(missing_ok=True)
        subprocess.run(["osslsigncode", "remove-signature", "-in", str(self.prefix.bin_path("Uninstall.exe")),
                        "-out", str(unsigned)], check=True, capture_output=True)
        # The signed uninstaller runs as Rodudave.exe and copies the unsigned Uninstall.exe.
        inst = self.installation(files={"Uninstall.exe": unsigned, "Rodudave.exe": self.prefix.bin_path("Uninstall.exe")})
        inst.lay_out()
        result = inst.run_uninstaller(["/S"], exe_name="Rodudave.exe")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.actions(), ["uninstall_from"])  # the copy was made and reported
        self.assertEqual(self.copy_lines(result.new_log), [])
        self.assertEqual(self.new_caches(), [])               # and removed again


class CallerTokenTest(EntryTestBase):
    def mid(self):
        value = self.prefix.reg_query(MID_KEY, "mid")
        self.assertIsNotNone(value, "no cached machine identifier")
        return value[:32]

    def test_silent_first_instance_passes_a_token_the_copy_accepts(self):
        seen = self.stop_copy_at_install_dir_check()
        inst = self.installation().lay_out()
        result = inst.run_uninstaller(["/s"])   # lower case counts as silent
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])
        lines = self.copy_lines(result.new_log)
        self.assertEqual(len(lines), 1, result.new_log)
        token = re.search(r"/s  /READYUNINSTALL  /CHK=(\S+)$", lines[0])
        self.assertIsNotNone(token, lines[0])
        self.assertEqual(decrypt_text(token.group(1), self.mid()), "stillen")
        self.assertNotIn("illegal call", result.new_log)
        self.assertEqual(seen["path_at_report"], inst.install_dir)

    def test_silent_copy_without_a_valid_token_logs_illegal_call_and_does_nothing_else(self):
        inst = self.installation().lay_out()
        for args in (["/READYUNINSTALL", "/S"], ["/READYUNINSTALL", "/Z", "/CHK="],
                     ["/READYUNINSTALL", "/S", "/CHK=c3RpbGxlbg=="], ["/readyuninstall", "/s", "/CHK=stillen"]):
            with self.subTest(args=args):
                self.server.journal.clear()
                result = inst.run_uninstaller(args)
                self.assertEqual(result.returncode, 0)
                lines = [l for l in result.new_log.splitlines() if "Start Log" not in l and l.strip()]
                self.assertTrue(lines[-1].endswith("illegal call"), result.new_log)
                self.assertNotIn("pre init check failed", result.new_log)
                time.sleep(0.5)
                self.assertEqual(self.server.requests(), [])
                self.assertEqual(self.new_caches(), [])


class SingleInstanceTest(EntryTestBase):
    def start_installer(self):
        record = self.prefix.build_dir / "e2e-setup-window.txt"
        ready = self.prefix.build_dir / "e2e-setup-window.txt.ready"
        for f in (record, ready):
            f.unlink(missing_ok=True)
        holder = self.prefix.start(self.prefix.test_bin_path("setup_window.exe"),
                                   [self.prefix.windows_path(record), "60"])
        deadline = time.monotonic() + 20
        while not ready.exists() and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertTrue(ready.exists(), "the stand-in installer did not start")
        return holder, record

    def test_a_running_installer_gets_0x1400_and_a_silent_uninstaller_ends(self):
        holder, record = self.start_installer()
        inst = self.installation().lay_out()
        result = inst.run_uninstaller(["/S"], wait_bound=1)
        self.assertEqual(result.returncode, 0)
        self.assertIn("CheckSingleInstance failed, exit", result.new_log)
        self.assertEqual(holder.wait(timeout=20), 0)
        self.assertEqual(record.read_text().splitlines(), ["0x1400 0 0"])
        self.assertEqual(self.new_caches(), [])
        self.assertEqual(self.actions(), [])

    def test_interactive_second_start_shows_the_running_message_until_ok(self):
        from harness.screen import Screen
        screen = Screen(self.prefix)
        holder, record = self.start_installer()
        inst = self.installation().lay_out()
        screen._x("xdotool", "mousemove", "5", "5")
        proc = self.prefix.start(inst.install_dir + "\\Uninstall.exe", [])
        # The box (542 x 255, centred on the 1280 x 800 screen) shows its blue title band.
        left, top = (1280 - 542) // 2, (800 - 255) // 2
        deadline = time.monotonic() + 20
        shown = False
        while time.monotonic() < deadline and not shown:
            shown = screen.pixel(screen.screenshot("entry_single_instance"), left + 300, top + 10) == (47, 140, 255)
            time.sleep(0.2)
        self.assertTrue(shown, "no message box")
        self.assertEqual(holder.wait(timeout=20), 0)   # the installer was told before the box
        self.assertIsNone(proc.poll(), "the uninstaller ended while its box was up")
        time.sleep(0.3)
        screen.click(left + 542 - 73, top + 255 - 40)  # "确定"
        self.assertEqual(proc.wait(timeout=20), 0)
        self.assertIn("CheckSingleInstance failed, exit", self.prefix.log_file.read_bytes().decode("gbk", "replace"))


class OfferReinstallTest(EntryTestBase):
    def test_yes_on_the_broken_installation_box_opens_the_download_page(self):
        import os
        from harness.screen import Screen
        screen = Screen(self.prefix)
        stub_dir = self.prefix.build_dir / "e2e-xdg-stub"
        stub_dir.mkdir(exist_ok=True)
        opened = stub_dir / "opened.txt"
        opened.unlink(missing_ok=True)
        stub = stub_dir / "xdg-open"
        stub.write_text(f'#!/bin/sh\necho "$@" >> "{opened}"\n')
        stub.chmod(0o755)
        inst = self.installation(files={"Utils/7z.dll": None}).lay_out()   # the relaunch fails
        screen._x("xdotool", "mousemove", "5", "5")
        env = {"PATH": f"{stub_dir}:{os.environ.get('PATH', '')}"}
        proc = self.prefix.start(inst.install_dir + "\\Uninstall.exe", [], env=env)
        left, top = (1280 - 542) // 2, (800 - 255) // 2
        deadline = time.monotonic() + 20
        shown = False
        while time.monotonic() < deadline and not shown:
            shown = screen.pixel(screen.screenshot("entry_offer_reinstall"), left + 300, top + 10) == (47, 140, 255)
            time.sleep(0.2)
        self.assertTrue(shown, "no message box")
        time.sleep(0.3)
        screen.click(left + 542 - 73, top + 255 - 40)  # "是"
        self.assertEqual(proc.wait(timeout=20), 0)
        deadline = time.monotonic() + 20
        while not opened.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertTrue(opened.exists(), "nothing was opened")
        self.assertEqual(opened.read_text().split(), ["http://www.lumetta-soft.com/download/"])
        self.assertEqual(self.new_caches(), [])


class CopyFailureTest(EntryTestBase):
    def test_copy_without_7z_reports_pre_init_failure_3_in_a_silent_run(self):
        def drop_archive_library(seen):
            for name in seen["caches_at_report"]:
                (self.prefix.temp_dir / name / "7z.dll").unlink()

        seen = {}

        def handler(entry):
            if "action=uninstall_from" in entry["query"]:
                seen["caches_at_report"] = self.new_caches()
                drop_archive_library(seen)
            return Reply("ok")

        self.server.script("/tarvo", Reply(handler=handler))
        inst = self.installation().lay_out()
        started = time.monotonic()
        result = inst.run_uninstaller(["/S"])
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])
        self.assertEqual(len(seen["caches_at_report"]), 1)
        self.assertIn("pre init check failed, ret = 3", result.new_log)
        self.assertNotIn("init config failed", result.new_log)
        fail = [e for e in self.server.requests(path="/tarvo") if "action=unist_init_fail" in e["query"]]
        self.assertEqual(len(fail), 1, self.actions())
        self.assertTrue(unquote(fail[0]["query"]).endswith(
            "&{720260B5-154E-483f-A485-0B46C3D6C50D}=PreInitCheck:3") or
            "{720260B5-154E-483f-A485-0B46C3D6C50D}=PreInitCheck:3" in unquote(fail[0]["query"]), fail[0]["query"])
        self.assertGreaterEqual(time.monotonic() - started, 3.0)   # the pause after the report
        self.assertNotIn("silent_uninstall", self.actions())
        # An early exit leaves the copy's directory alone.
        self.assertEqual(self.cache_files(seen["caches_at_report"][0]), COPY_FILES - {"7z.dll"})


class TemporaryCopyRemovalTest(EntryTestBase):
    PENDING_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager"

    def test_the_copy_removes_its_directory_and_what_is_left_goes_at_the_next_restart(self):
        inst = self.installation().lay_out()
        result = inst.run_uninstaller(["/S"])   # runs through to the end without a window
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.leftover_processes, [])
        self.assertNotIn("pre init check failed", result.new_log)
        self.assertNotIn("init config failed", result.new_log)
        caches = self.new_caches()
        self.assertLessEqual(len(caches), 1, caches)
        if caches:
            # Only what is still in use may be left (the running executable, the loaded archive
            # library), and it is scheduled, the directory after it.
            left = self.cache_files(caches[0])
            self.assertLessEqual(left, {"Uninstall.exe", "7z.dll"})
            pending = self.prefix.reg_query(self.PENDING_KEY, "PendingFileRenameOperations", view=64) or ""
            for name in left:
                self.assertIn(caches[0] + "\\" + name, pending)
            self.assertIn(caches[0] + "\\0", pending)
        self.prefix.run("wineboot", ["-r"], timeout=120)
        self.assertEqual(self.new_caches(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
