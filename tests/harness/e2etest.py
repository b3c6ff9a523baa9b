"""Base class of the end-to-end tests: one prefix, one test server, clean state per test."""
import os
import unittest

from harness.installation import Installation
from harness.server import TestServer
from harness.wine import Prefix


class E2ETestCase(unittest.TestCase):
    prefix = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = Prefix(os.environ.get("BUILD_DIR"))

    def setUp(self):
        self.prefix.kill_test_processes()
        self.server = TestServer(int(self.prefix.env["UNINST_TEST_PROXY_PORT"]), lifetime=300)
        self.server.__enter__()
        self.addCleanup(self.server.__exit__, None, None, None)
        self.addCleanup(self.prefix.kill_test_processes)

    def installation(self, **kwargs):
        inst = Installation(self.prefix, **kwargs)
        self.addCleanup(inst.remove)
        return inst


class ComponentTestCase(E2ETestCase):
    """An installation holding the product's stand-in components, their journal, and runs of
    the engine probe that logs to a file of its own."""
    probe_log_name = "engine_probe.log"

    def setUp(self):
        super().setUp()
        from harness import components
        self.journal = components.Journal(self.prefix)
        self.addCleanup(self.journal.close)
        self.inst = self.installation()
        self.inst.files.update(components.layout_files(self.prefix))
        self.log = self.prefix.temp_dir / self.probe_log_name
        self.log.unlink(missing_ok=True)

    def run_probe(self, *args, exe=None, env=None, timeout=180):
        """Runs engine_probe.exe (or the given copy of it); returns the result and its log."""
        self.log.unlink(missing_ok=True)
        r = self.prefix.run(exe or self.prefix.test_bin_path("engine_probe.exe"),
                            [self.prefix.windows_path(self.log), *args], env=env, timeout=timeout)
        text = self.log.read_bytes().decode("gbk", errors="replace") if self.log.exists() else ""
        return r, text
