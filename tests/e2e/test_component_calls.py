"""Calls into the product's components: every program start and export call arrives with its
exact command line, export and text; unsigned components are never loaded or started.

The tests run the x86-64 build, which always counts as a 64-bit system: the rundll host seen
here is "Utils\\rundll64.exe" (the 32-bit build on a 32-bit system picks "Utils\\rundll.exe")."""
import unittest

from harness import components
from harness.e2etest import ComponentTestCase
from harness.installation import APP_KEY

GUARD = "Utils\\daverud.exe"


class ComponentCallsTest(ComponentTestCase):
    probe_log_name = "component_calls_probe.log"

    def lay_out(self, extra=None, **kwargs):
        for k, v in kwargs.items():
            setattr(self.inst, k, v)
        for rel, build_name in (extra or {}).items():
            self.inst.files[rel] = components.component_path(self.prefix, build_name)
        self.inst.lay_out()

    def probe(self, *args, unsigned=(), env=None, timeout=180):
        full_env = {"UNSIGNED_FILES": ";".join(unsigned), "SIGNER_NAME": "Lumetta Signer", "PRODUCT_PID": "77881"}
        full_env.update(env or {})
        r, log = self.run_probe(*args, env=full_env, timeout=timeout)
        self.assertEqual(r.returncode, 0, log)
        return log

    def path(self, rel):
        return self.inst.install_dir + "\\" + rel.replace("/", "\\")

    def commands(self, name):
        return [e.fields[0] for e in self.journal.entries("exe", name)]

    def dll_calls(self, name):
        return [e.fields for e in self.journal.entries("dll", name)]

    # --- configured programs and exports ---------------------------------------------------
    def test_configured_programs_wait_as_configured(self):
        self.lay_out()
        # Each program lingers; the next start shows whether the call waited for it.
        self.journal.control("TarvoHelper.exe", linger=2500)   # WaitTime 0 -> waits up to 50 s
        self.journal.control("GameCenter.exe", linger=9000)    # WaitTime 5000 -> gives up after 5 s
        self.journal.control("kestotray.exe", linger=2500)     # WaitTime 90000 -> waits up to 50 s
        self.journal.control("vantelmain.exe", linger=2500)    # Sync 0 -> no wait
        log = self.probe("programs", self.inst.install_dir,
                         "Utils\\TarvoHelper.exe|exe|||/uninstall /quiet||0|1",
                         "vevevevivarudir\\GameCenter.exe|EXE|||/uninst||5000|1",
                         "kestotray.exe|exe|||/k||90000|1",
                         "vantelmain.exe|exe|||/v||5000|0",
                         "Utils\\MVKBasic.dll|dll|UninstallCleanup|tarvo||||")
        e = {(x.kind, x.name.lower()): x for x in self.journal.entries()}
        self.assertLessEqual(e["exit", "tarvohelper.exe"].tick, e["exe", "gamecenter.exe"].tick)
        # Journal ticks are taken once each program is up, so the start-up time of the two
        # programs (a few hundred ms apart under load) blurs the 5000 ms wait.
        gap = e["exe", "kestotray.exe"].tick - e["exe", "gamecenter.exe"].tick
        self.assertGreaterEqual(gap, 4500)
        self.assertLess(gap, 9000)
        self.assertLessEqual(e["exit", "kestotray.exe"].tick, e["exe", "vantelmain.exe"].tick)
        self.assertLess(e["dll", "mvkbasic.dll"].tick, e["exit", "vantelmain.exe"].tick)
        self.assertEqual(self.dll_calls("MVKBasic.dll"), [["UninstallCleanup", "tarvo"]])
        helper = self.path("Utils\\TarvoHelper.exe")
        self.assertEqual(self.commands("TarvoHelper.exe"), [f'"{helper}" /uninstall /quiet'])
        self.assertIn(f"call exe begin, path=[{helper}] cmd=[/uninstall /quiet]", log)
        self.assertIn(f"call exe return [1], path=[{helper}], cmd=[/uninstall /quiet], sync[1]", log)
        self.assertIn(f"call exe return [1], path=[{self.path('vantelmain.exe')}], cmd=[/v], sync[0]", log)
        self.assertIn(f"call dll func start, path=[{self.path('Utils/MVKBasic.dll')}]", log)
        self.assertIn(f"call dll fun end, path=[{self.path('Utils/MVKBasic.dll')}]", log)

    def test_configured_entries_missing_or_unsigned_are_skipped(self):
        self.lay_out()
        log = self.probe("programs", self.inst.install_dir,
                         "Utils\\Missing.exe|exe|||/x||0|1",
                         "Utils\\TarvoHelper.exe|exe|||/named|Other Signer|0|1",
                         "Utils\\TarvoHelper.exe|exe|||/signed-by|LUMETTA SIGNER|0|1",
                         "Utils\\TarvoDesk.dll|dll|Uninst|p||||",
                         unsigned=["TarvoDesk.dll"])
        self.assertIn(f"file[{self.path('Utils/Missing.exe')}] is not exist", log)
        self.assertIn(f"check sign fail, signType[Other Signer], filepath[{self.path('Utils/TarvoHelper.exe')}]", log)
        self.assertIn(f"check sign fail, signType[], filepath[{self.path('Utils/TarvoDesk.dll')}]", log)
        helper = self.path("Utils\\TarvoHelper.exe")
        self.assertEqual(self.commands("TarvoHelper.exe"), [f'"{helper}" /signed-by'])
        self.assertEqual(self.journal.entries(name="TarvoDesk.dll"), [])

    def test_unsigned_export_is_never_loaded(self):
        self.lay_out()
        lib = self.path("Utils\\Beautify\\RuroZizedoru.dll")
        log = self.probe("call-dll", lib, "Uninst", "", "1", unsigned=["RuroZizedoru.dll"])
        self.assertIn(f"file[{lib}] check sign fail.", log)
        self.assertEqual(self.journal.entries(name="RuroZizedoru.dll"), [])
        log = self.probe("call-dll", lib, "Uninst", "", "1")
        self.assertEqual(self.dll_calls("RuroZizedoru.dll"), [["Uninst", ""]])

    # --- rundll host -----------------------------------------------------------------------
    def test_rundll_host_calls_each_item_export(self):
        self.lay_out()
        log = self.probe("rundll", self.inst.install_dir,
                         "Utils\\TarvoDesk.dll|UnregisterDesktopHook|/all|2000",
                         "Utils\\x64\\TarvoShellExt64.dll|DllUnregisterServer||3000",
                         "Utils\\Gone.dll|DllUnregisterServer||3000")
        host = self.path("Utils\\rundll64.exe")
        desk = self.path("Utils\\TarvoDesk.dll")
        ext = self.path("Utils\\x64\\TarvoShellExt64.dll")
        self.assertEqual(self.commands("rundll64.exe"),
                         [f'"{host}" --dll="{desk}" --entry=UnregisterDesktopHook /all',
                          f'"{host}" --dll="{ext}" --entry=DllUnregisterServer '])
        self.assertEqual(self.commands("rundll.exe"), [])
        self.assertEqual(self.dll_calls("TarvoDesk.dll"), [["UnregisterDesktopHook", "/all"]])
        self.assertEqual(self.dll_calls("TarvoShellExt64.dll"), [["DllUnregisterServer", ""]])
        self.assertIn(f"file[{self.path('Utils/Gone.dll')}] is not exist", log)
        self.assertIn("probe rundll result=1", log)

    def test_unsigned_rundll_host_is_not_started(self):
        self.lay_out()
        log = self.probe("rundll", self.inst.install_dir, "Utils\\TarvoDesk.dll|UnregisterDesktopHook|/all|2000",
                         unsigned=["rundll64.exe"])
        self.assertIn("probe rundll result=0", log)
        self.assertEqual(self.journal.entries(), [])

    # --- homepage guard --------------------------------------------------------------------
    def test_guard_pid_follows_the_oem_marker(self):
        guard = self.path(GUARD)
        cases = [("2", "/Pid=tarvo_oem"), ("21", "/Pid=tarvo_oem"), ("1", "/Pid=tarvo"), ("", "/Pid=tarvo"),
                 (None, "/Pid=tarvo")]
        for oem, pid in cases:
            with self.subTest(oem_f=oem):
                self.journal = components.Journal(self.prefix)
                values = {"ProductName": "Lumetta"}
                if oem is not None:
                    values["oem_f"] = oem
                self.lay_out(values=values)
                self.probe("guard", self.inst.install_dir)
                self.assertEqual(self.commands("daverud.exe"),
                                 [f'"{guard}" /UnInstallDesk /LockHomePagePath="{guard}" {pid}'])

    def test_guard_that_lingers_costs_five_seconds_and_is_logged(self):
        self.lay_out()
        self.journal.control("daverud.exe", linger=7000)
        log = self.probe("guard", self.inst.install_dir)
        self.assertIn("等待进程退出超时", log)

    def test_unsigned_guard_is_not_started(self):
        self.lay_out()
        log = self.probe("guard", self.inst.install_dir, unsigned=["daverud.exe"])
        self.assertEqual(self.journal.entries(), [])
        self.assertNotIn("等待进程退出超时", log)

    # --- game centre -----------------------------------------------------------------------
    def test_game_centre_library_gets_the_parameters(self):
        self.lay_out()
        log = self.probe("gamecenter", self.inst.install_dir, "1")
        self.assertEqual(self.dll_calls("mvkgamecenter_tarvo.dll"), [["Start4RunDll", "/S /PID=tarvo /UNINSTALL"]])
        self.assertEqual(self.commands("mvkgamecenter_tarvo.exe"), [])
        self.assertNotIn("Call exe:", log)

    def test_game_centre_falls_back_to_the_program(self):
        exe = self.path("Utils\\mvkgamecenter_tarvo.exe")
        for label, extra, unsigned in (("no Start4RunDll", {"Utils/mvkgamecenter_tarvo.dll": components.PLAIN_DLL}, ()),
                                       ("unsigned library", None, ("mvkgamecenter_tarvo.dll",))):
            with self.subTest(label):
                self.journal = components.Journal(self.prefix)
                self.inst.files.update(components.layout_files(self.prefix))
                self.lay_out(extra)
                log = self.probe("gamecenter", self.inst.install_dir, "0", unsigned=unsigned)
                self.assertEqual(self.commands("mvkgamecenter_tarvo.exe"), [f'"{exe}" /S /PID=tarvo /NOUNINSTALL'])
                self.assertIn(f"Call exe:{exe},param:/S /PID=tarvo /NOUNINSTALL", log)
                self.assertEqual(self.journal.entries("dll", "mvkgamecenter_tarvo.dll"), [])

    def test_game_centre_program_missing_is_still_logged(self):
        self.inst.files.pop("Utils/mvkgamecenter_tarvo.exe")
        self.lay_out()
        log = self.probe("gamecenter", self.inst.install_dir, "1", unsigned=["mvkgamecenter_tarvo.dll"])
        exe = self.path("Utils\\mvkgamecenter_tarvo.exe")
        self.assertIn(f"Call exe:{exe},param:/S /PID=tarvo /UNINSTALL", log)

    # --- run_list and file_pe ----------------------------------------------------------------
    def test_run_list_components(self):
        answer = "A" * 299 + "Z"
        self.lay_out({"Plugin/conv.tpi": components.INTERFACE_DLL, "Plugin/evil.dll": components.INTERFACE_DLL,
                      "Plugin/regtest.dll": components.INTERFACE_DLL, "Utils/runexe.exe": components.PROGRAM,
                      "Utils/notes.txt": components.PLAIN_DLL},
                     subkeys={"run_list": {"Plugin\\conv.tpi": "/u conv", "Plugin\\evil.dll": "/u",
                                           "Plugin\\regtest.dll": "/Regtest /u", "Utils\\runexe.exe": "/x",
                                           "Utils\\notes.txt": "", "Utils\\absent.exe": "/gone"}})
        self.journal.control("conv.tpi", answer=answer)
        log = self.probe("run-list", self.inst.install_dir, unsigned=["evil.dll", "regtest.dll"])
        # The answer of 300 characters needs a second call with room for all of it.
        self.assertEqual(self.dll_calls("conv.tpi"), [["Uninst", "/u conv", "260"], ["Uninst", "/u conv", "301"]])
        self.assertIn("CallDllInterfaceEx return value=" + answer, log)
        self.assertIn(f"file[{self.path('Plugin/evil.dll')}] check sign fail\n", log.replace("\r\n", "\n"))
        self.assertEqual(self.journal.entries(name="evil.dll"), [])
        self.assertIn("Regtest, no need to check sign.", log)
        self.assertEqual(self.dll_calls("regtest.dll"), [["Uninst", "/Regtest /u", "260"]])
        runexe = self.path("Utils\\runexe.exe")
        self.assertEqual(self.commands("runexe.exe"), [f'"{runexe}" /x --PRODUCT=tarvo --PID=77881'])
        self.assertIn(f"call exe begin, path=[{runexe}] ,cmd=[/x --PRODUCT=tarvo --PID=77881]", log)
        self.assertIn(f"call exe return [1], path=[{runexe}], cmd=[/x --PRODUCT=tarvo --PID=77881], sync[1]", log)
        for ext in (".tpi", ".dll", ".exe", ".txt"):
            self.assertIn("file extension:" + ext, log)
        self.assertNotIn("absent", log)

    def test_file_pe_components(self):
        self.lay_out({"Utils/fp.dll": components.PLAIN_DLL, "Utils/fpbad.dll": components.PLAIN_DLL,
                      "Utils/fp.exe": components.PROGRAM},
                     subkeys={"file_pe": {"Utils\\fp.dll": "data one", "Utils\\fpbad.dll": "x",
                                          "Utils\\fp.exe": "/a"}})
        log = self.probe("file-pe", self.inst.install_dir, unsigned=["fpbad.dll"])
        self.assertEqual(self.dll_calls("fp.dll"), [["Uninst", "data one"]])
        self.assertIn(f"file[{self.path('Utils/fpbad.dll')}] check sign fail.", log)
        self.assertEqual(self.journal.entries(name="fpbad.dll"), [])
        fp = self.path("Utils\\fp.exe")
        self.assertEqual(self.commands("fp.exe"), [f'"{fp}" /a /uninstall /product=tarvo'])
        self.assertIn(f"call exe return [1], path=[{fp}], cmd=[/a /uninstall /product=tarvo], sync[1]", log)

    def test_unsigned_file_pe_program_is_not_started(self):
        # Program starts are checked by the real publisher test: a changed byte breaks the signature.
        self.lay_out({"Utils/fp.exe": components.PROGRAM}, subkeys={"file_pe": {"Utils\\fp.exe": "/a"}})
        exe = self.inst.root / "Utils" / "fp.exe"
        data = bytearray(exe.read_bytes())
        data[0x400] ^= 0xFF
        exe.write_bytes(bytes(data))
        log = self.probe("file-pe", self.inst.install_dir)
        self.assertEqual(self.journal.entries(), [])
        self.assertIn(f"call exe return [0], path=[{self.path('Utils/fp.exe')}]", log)


if __name__ == "__main__":
    unittest.main(verbosity=2)
