"""Statistics reports as the statistics host sees them: exact URLs through the prefix's proxy,
the OEM host rewrite, and what happens without a network."""
import shutil
import subprocess
import unittest

from harness.e2etest import E2ETestCase
from harness.server import Reply

APP_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\dazovoze.exe"
PID_KEY = r"HKCU\Software\orbWallPaper"
PROBE_DIR = r"C:\probe-statistic"


class StatisticTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.dir = self.prefix.unix_path(PROBE_DIR)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.dir, True)
        shutil.copyfile(self.prefix.test_bin_path("service_probe.exe"), self.dir / "service_probe.exe")
        # A product program with a version resource: any of the prefix's system programs.
        shutil.copyfile(self.prefix.drive_c / "windows" / "system32" / "kernel32.dll", self.dir / "vantel.exe")
        self.prefix.reg_delete(APP_KEY)
        self.addCleanup(self.prefix.reg_delete, APP_KEY)
        self.prefix.reg_add(PID_KEY, "pid", "vezazuz&x=1")
        self.addCleanup(self.prefix.reg_delete, PID_KEY)
        self.server.script("/tarvo", Reply("ok"))

    def probe(self, *args, **kw):
        r = self.prefix.run(self.dir / "service_probe.exe", list(args), **kw)
        return r.returncode, r.stdout.decode("utf-8", "replace").strip()

    def expected_url(self, action, extra="", host="stat.lumetta-soft.com"):
        _, mid = self.probe("mid")
        _, ver = self.probe("version", PROBE_DIR + r"\vantel.exe")
        self.assertRegex(mid, r"^[0-9a-f]{32}$")
        self.assertRegex(ver, r"^\d+\.\d+\.\d+\.\d+$")
        return (f"http://{host}/tarvo?pid=vezazuz&x=1&type=tarvo&action={action}&appver={ver}"
                f"&mid={mid}&mid2={extra}")

    def test_synchronous_report_has_the_exact_url(self):
        rc, _ = self.probe("report", "uninstall_from", "&ex1=explorer&ex2=6.1", "1")
        self.assertEqual(rc, 0)
        hits = self.server.requests(path="/tarvo")
        self.assertEqual(len(hits), 1)
        self.assertEqual(hits[0]["method"], "GET")
        self.assertEqual(hits[0]["url"], self.expected_url("uninstall_from", "&ex1=explorer&ex2=6.1"))

    def test_asynchronous_report_arrives_from_its_thread(self):
        rc, _ = self.probe("report", "uninstall_1", "-", "0")
        self.assertEqual(rc, 0)
        hits = self.server.wait_for(lambda e: e["path"] == "/tarvo", timeout=10)
        self.assertEqual(len(hits), 1)
        self.assertEqual(hits[0]["url"], self.expected_url("uninstall_1"))

    def test_nothing_is_sent_before_the_type_is_set(self):
        rc, _ = self.probe("notype", "uninstall_1")
        self.assertEqual(rc, 1)
        self.assertEqual(self.server.requests(path="/tarvo"), [])

    def oem_setup(self, flag):
        _, name = self.probe("encrypt", "statis")
        _, host = self.probe("encrypt", "stat.oem-partner.net")
        if flag is not None:
            self.prefix.reg_add(APP_KEY, "oem_f", flag)
        self.prefix.reg_add(APP_KEY + r"\oemconfig", name, host)

    def test_oem_host_rewrite_when_the_flag_is_set(self):
        self.oem_setup("1")
        rc, _ = self.probe("report", "uninstall_1", "&ex1=stat.lumetta-soft.com", "1")
        self.assertEqual(rc, 0)
        hits = self.server.requests(path="/tarvo")
        self.assertEqual(len(hits), 1)
        self.assertEqual(hits[0]["host"], "stat.oem-partner.net")
        # Every occurrence of the host is replaced, as the rewrite is defined on the whole URL.
        self.assertEqual(hits[0]["url"], self.expected_url("uninstall_1", "&ex1=stat.oem-partner.net",
                                                           host="stat.oem-partner.net"))

    def test_no_rewrite_without_the_flag(self):
        for flag in (None, "0"):
            with self.subTest(flag=flag):
                self.prefix.reg_delete(APP_KEY)
                self.oem_setup(flag)
                rc, _ = self.probe("report", "uninstall_1", "-", "1")
                self.assertEqual(rc, 0)
                self.assertEqual(self.server.requests(path="/tarvo")[-1]["host"], "stat.lumetta-soft.com")

    def test_offline_asynchronous_reports_are_dropped_the_synchronous_one_is_tried(self):
        if shutil.which("unshare") is None or subprocess.run(["unshare", "-n", "true"]).returncode != 0:
            self.skipTest("no network namespaces here")
        # Wine's sockets belong to the wineserver, so the whole prefix goes into an empty network
        # namespace: the session's wineserver stops and a private one runs there. Only loopback
        # exists (brought up here), and a server on the proxy port inside sees what is still sent.
        port = self.prefix.env["UNINST_TEST_PROXY_PORT"]
        journal = self.prefix.build_dir / "e2e-offline-journal.jsonl"
        out_file = self.prefix.build_dir / "e2e-offline-out.txt"
        journal.unlink(missing_ok=True)
        probe = str(self.dir / "service_probe.exe")
        wine = self.prefix.wine
        script = (
            "ip link set lo up 2>/dev/null || true; "
            f"python3 -m harness.server {port} 60 {journal} </dev/null >/dev/null 2>&1 & srv=$!; "
            "wineserver -p </dev/null >/dev/null 2>&1; sleep 1; "
            f"'{wine}' '{probe}' report uninstall_1 - 0 </dev/null >/dev/null 2>&1; echo async=$? > {out_file}; "
            f"'{wine}' '{probe}' report uninstall_from '&ex1=a&ex2=6.1' 1 </dev/null >/dev/null 2>&1; "
            f"echo sync=$? >> {out_file}; "
            "wineserver -k </dev/null >/dev/null 2>&1; wineserver -w </dev/null >/dev/null 2>&1; kill $srv")
        env = dict(self.prefix.env)
        env["PYTHONPATH"] = str(self.prefix.source_dir / "tests")
        session = str(self.prefix.source_dir / "scripts" / "wine-session.sh")
        subprocess.run(["bash", "-c", "wineserver -k; wineserver -w"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        try:
            subprocess.run(["unshare", "-n", "bash", "-c", script], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        finally:
            subprocess.run([session, str(self.prefix.build_dir), "start"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        out = out_file.read_text() if out_file.exists() else ""
        self.assertIn("async=0", out)  # handed to its thread, which drops it
        lines = journal.read_text().splitlines() if journal.exists() else []
        actions = [l for l in lines if "/tarvo?" in l]
        self.assertEqual(len(actions), 1, out + "\n".join(lines))
        self.assertIn("action=uninstall_from", actions[0])

if __name__ == "__main__":
    unittest.main(verbosity=2)
