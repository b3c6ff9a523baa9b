"""The shipped Uninstall.exe: a PE32 GUI program for Intel 80386 that imports only system
libraries and whose manifest asks for administrator rights."""
import os
import re
import subprocess
import unittest
from pathlib import Path

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
               "oleaut32.dll", "comctl32.dll", "shlwapi.dll", "version.dll", "wininet.dll", "urlmon.dll",
               "wintrust.dll", "crypt32.dll", "psapi.dll", "iphlpapi.dll", "netapi32.dll", "gdiplus.dll",
               "msvcrt.dll", "msimg32.dll", "uxtheme.dll", "bcrypt.dll", "comdlg32.dll", "winmm.dll",
               "ws2_32.dll", "taskschd.dll", "userenv.dll", "secur32.dll", "ntdll.dll", "imm32.dll"}


class ReleaseBinaryTest(unittest.TestCase):
    exe = Path(os.environ.get("UNINST_RELEASE_EXE", Path(__file__).resolve().parents[2] / "build/release/bin/Uninstall.exe"))

    def test_is_a_pe32_gui_program_for_i386(self):
        self.assertTrue(self.exe.exists(), f"{self.exe} missing: build the release preset first")
        kind = subprocess.run(["file", "-b", str(self.exe)], capture_output=True, text=True).stdout
        self.assertRegex(kind, r"^PE32 executable \(GUI\) Intel 80386")

    def test_imports_only_system_libraries(self):
        dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(self.exe)], capture_output=True, text=True).stdout
        dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
        self.assertTrue(dlls)
        self.assertEqual(dlls - SYSTEM_DLLS, set())

    def test_manifest_requires_administrator_and_lists_supported_systems(self):
        data = self.exe.read_bytes()
        self.assertIn(b'level="requireAdministrator"', data)
        self.assertIn(b"Microsoft.Windows.Common-Controls", data)
        self.assertIn(b'{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}', data)  # Windows 10
        self.assertIn(b'{e2011457-1546-43c5-a5fe-008deee3d3f0}', data)  # Vista


if __name__ == "__main__":
    unittest.main(verbosity=2)
