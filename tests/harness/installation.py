"""A product installation laid out in the prefix, and whole runs of Uninstall.exe against it."""
import shutil
import time
from dataclasses import dataclass, field
from pathlib import Path

APP_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\dazovoze.exe"
DEFAULT_INSTALL_DIR = r"C:\Program Files (x86)\Lumetta"


@dataclass
class RunResult:
    returncode: int
    log: str                       # the whole log file, decoded from code page 936
    new_log: str                   # what this run added to it
    leftover_processes: list
    stdout: bytes = b""
    stderr: bytes = b""
    duration: float = 0.0


@dataclass
class Installation:
    prefix: object
    install_dir: str = DEFAULT_INSTALL_DIR
    values: dict = field(default_factory=lambda: {"ProductName": "Lumetta"})
    subkeys: dict = field(default_factory=dict)   # name -> {value name: data}
    files: dict = field(default_factory=dict)     # relative path -> bytes or Path to copy

    @property
    def root(self):
        return self.prefix.unix_path(self.install_dir)

    def default_files(self):
        p = self.prefix
        arch_dir = p.source_dir / ".cache" / p.env.get("UNINST_TARGET_ARCH", "i686")
        return {
            "Uninstall.exe": p.bin_path("Uninstall.exe"),
            "Utils/7z.dll": arch_dir / "7z.dll",
            "Utils/MVKBasic.dll": b"MZ placeholder",
            "vantel.exe": b"MZ placeholder",
            "vevevevivarudir/VuzOD.dll": b"MZ placeholder",
            "config.set": b"[auto_run]\r\nopen=1\r\n",
        }

    def lay_out(self, with_defaults=True):
        """Writes the files and the registry; removes an earlier layout first."""
        self.remove()
        files = dict(self.default_files()) if with_defaults else {}
        files.update(self.files)
        for rel, content in files.items():
            target = self.root / rel
            target.parent.mkdir(parents=True, exist_ok=True)
            if content is None:
                continue
            if isinstance(content, Path):
                shutil.copyfile(content, target)
            else:
                target.write_bytes(content)
        values = {"path": self.install_dir}
        values.update(self.values)
        self.write_registry(values)
        return self

    def write_registry(self, values):
        lines = [f"[{self._reg_key(APP_KEY)}]"]
        lines += [self._reg_value(k, v) for k, v in values.items() if v is not None]
        for sub, sub_values in self.subkeys.items():
            lines += ["", f"[{self._reg_key(APP_KEY)}\\{sub}]"]
            lines += [self._reg_value(k, v) for k, v in sub_values.items()]
        self.prefix.import_reg("\n".join(lines) + "\n")

    @staticmethod
    def _reg_key(key):
        return key.replace("HKLM\\", "HKEY_LOCAL_MACHINE\\").replace("HKCU\\", "HKEY_CURRENT_USER\\")

    @staticmethod
    def _reg_value(name, value):
        name_text = "@" if name == "" else '"' + name.replace("\\", "\\\\").replace('"', '\\"') + '"'
        if isinstance(value, int):
            return f"{name_text}=dword:{value:08x}"
        return f'{name_text}="' + str(value).replace("\\", "\\\\").replace('"', '\\"') + '"'

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)
        self.prefix.reg_delete(APP_KEY)

    # --- runs ----------------------------------------------------------------------------
    def run_uninstaller(self, args=(), exe_name="Uninstall.exe", timeout=120, wait_bound=120):
        """Starts the uninstaller from the install directory as a user would and waits until
        every program it started has ended (at most wait_bound seconds)."""
        p = self.prefix
        log = p.log_file
        before = log.read_bytes() if log.exists() else b""
        started = time.monotonic()
        exe = self.install_dir + "\\" + exe_name
        completed = p.run(exe, list(args), timeout=timeout, cwd=str(self.root))
        leftovers = p.wait_for_test_processes(wait_bound)
        duration = time.monotonic() - started
        after = log.read_bytes() if log.exists() else b""
        new = after[len(before):] if after.startswith(before) else after
        return RunResult(completed.returncode, after.decode("gbk", errors="replace"),
                         new.decode("gbk", errors="replace"), leftovers, completed.stdout, completed.stderr,
                         duration)

    def existing_files(self):
        """Relative paths of everything left in the install directory."""
        if not self.root.exists():
            return set()
        return {str(p.relative_to(self.root)) for p in self.root.rglob("*")}
