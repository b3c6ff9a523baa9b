"""The encrypted uninstall report as the public service sees it: the server decrypts "data" to
the members in their fixed order and answers in kind; the answer decides the result."""
import json
import shutil
import unittest
from urllib.parse import parse_qs

from harness.cipher import decrypt_text, encrypt_text
from harness.e2etest import E2ETestCase
from harness.server import Reply

KEY = "4e7a1d08-b6c3-4f59-8a2e-0d91c5f3b7e6"
MID2 = "ffffffff0123456789abcdef0123456789abcdef1087"  # the probe's stand-in
PROBE_DIR = r"C:\probe-report"


class UninstallReportTest(E2ETestCase):
    def setUp(self):
        super().setUp()
        self.dir = self.prefix.unix_path(PROBE_DIR)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.dir, True)
        shutil.copyfile(self.prefix.test_bin_path("service_probe.exe"), self.dir / "service_probe.exe")
        shutil.copyfile(self.prefix.bin_path("VuzOD.dll"), self.dir / "VuzOD.dll")
        self.received = []

    def answer(self, make_reply):
        def handler(entry):
            data = parse_qs(entry["body"].encode("latin-1").decode())["data"][0]
            self.received.append(json.loads(decrypt_text(data, KEY)))
            return Reply(make_reply())
        self.server.script("/pc/ud/dogsun", Reply(handler=handler))

    def report(self, pid):
        r = self.prefix.run(self.dir / "service_probe.exe", ["uninstall-info", pid])
        return r.stdout.decode().strip()

    def test_members_in_order_and_a_reply_with_mid2_is_true(self):
        self.answer(lambda: encrypt_text('{"r":"' + MID2 + '"}', KEY))
        self.assertEqual(self.report("vuridav01"), "true")
        hits = self.server.requests(path="/pc/ud/dogsun")
        self.assertEqual(len(hits), 1)
        self.assertEqual(hits[0]["host"], "pub.lumetta-soft.com")
        self.assertEqual(hits[0]["method"], "POST")
        body = self.received[0]
        self.assertEqual(list(body), ["type", "pid", "mid", "mid2", "appver", "modver", "appname"])
        self.assertEqual((body["type"], body["pid"], body["mid2"], body["appver"], body["appname"]),
                         ("set", "vuridav01", MID2, "3.2.1.0", "wp"))
        self.assertRegex(body["mid"], r"^[0-9a-f]{32}$")

    def test_other_replies_are_false(self):
        for reply in (lambda: encrypt_text('{"r":"nothing"}', KEY), lambda: encrypt_text(MID2, KEY),
                      lambda: "not base64", lambda: ""):
            with self.subTest():
                self.answer(reply)
                self.assertEqual(self.report("vuridav01"), "false")

    def test_unreachable_service_gives_the_pid_default(self):
        self.server.__exit__(None, None, None)  # nothing listens on the proxy port
        self.addCleanup(self.server.__enter__)
        self.assertEqual(self.report("System_2"), "true")
        self.assertEqual(self.report("vuridav01"), "false")


if __name__ == "__main__":
    unittest.main(verbosity=2)
