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
