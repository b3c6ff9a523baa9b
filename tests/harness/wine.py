"""The Wine prefix of a build tree: environment, paths, programs, registry."""
import os
import subprocess
import time
from pathlib import Path, PureWindowsPath

# Wine's own background programs; anything else still running belongs to a test.
SYSTEM_PROCESSES = {"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "explorer.exe",
                    "rpcss.exe", "conhost.exe", "wineboot.exe", "start.exe", "tabtip.exe", "rundll32.exe"}


def load_env(build_dir=None):
    """Environment of the build tree's prefix, read from its generated wine-env.sh."""
    build_dir = Path(build_dir or os.environ["BUILD_DIR"])
    script = f". '{build_dir}/wine-env.sh' && env -0"
    out = subprocess.run(["bash", "-c", script], check=True, capture_output=True).stdout
    env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
    return env


class Prefix:
    def __init__(self, build_dir=None):
        self.env = load_env(build_dir)
        self.build_dir = Path(self.env["BUILD_DIR"])
        self.source_dir = Path(self.env["SOURCE_DIR"])
        self.root = Path(self.env["WINEPREFIX"])
        self.wine = self.env["WINE"]
        self.drive_c = self.root / "drive_c"
        self.is_64bit_build = self.env.get("UNINST_TARGET_ARCH") == "x86_64"

    # --- paths -------------------------------------------------------------------------
    @property
    def user(self):
        users = [p.name for p in (self.drive_c / "users").iterdir() if p.name not in ("Public",) and p.is_dir()]
        return users[0]

    def unix_path(self, windows_path):
        """C:\\a\\b -> <prefix>/drive_c/a/b (drive C only)."""
        p = PureWindowsPath(windows_path)
        assert p.drive.upper() == "C:", windows_path
        return self.drive_c.joinpath(*p.parts[1:])

    def windows_path(self, unix_path):
        """A Unix path as Windows programs see it: C:\\ inside drive_c, else Z:\\."""
        path = Path(unix_path).resolve()
        try:
            return "C:\\" + str(path.relative_to(self.drive_c.resolve())).replace("/", "\\")
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    @property
    def temp_dir(self):
        """The user's temporary directory (Wine keeps it at users/<user>/Temp)."""
        for candidate in (self.drive_c / "users" / self.user / "Temp",
                          self.drive_c / "users" / self.user / "AppData" / "Local" / "Temp"):
            if candidate.is_dir():
                return candidate
        return self.drive_c / "users" / self.user / "Temp"

    @property
    def log_file(self):
        return self.temp_dir / "tarvo_uninst.log"

    def bin_path(self, name):
        return self.build_dir / "bin" / name

    def test_bin_path(self, name):
        return self.build_dir / "tests" / "bin" / name

    # --- programs ----------------------------------------------------------------------
    def run(self, exe, args=(), timeout=120, cwd=None, env=None, check=False):
        """Runs a Windows program (Unix or Windows path) and returns the CompletedProcess."""
        full_env = dict(self.env)
        full_env.update(env or {})
        return subprocess.run([self.wine, str(exe), *args], env=full_env, cwd=cwd, timeout=timeout,
                              stdin=subprocess.DEVNULL, capture_output=True, check=check)

    def start(self, exe, args=(), env=None):
        full_env = dict(self.env)
        full_env.update(env or {})
        return subprocess.Popen([self.wine, str(exe), *args], env=full_env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def processes(self):
        """(pid, image name) of every Windows process of this prefix, as Linux sees them."""
        found = []
        for proc in Path("/proc").iterdir():
            if not proc.name.isdigit():
                continue
            try:
                environ = (proc / "environ").read_bytes()
                cmdline = (proc / "cmdline").read_bytes().split(b"\0")
            except OSError:
                continue
            if f"WINEPREFIX={self.root}".encode() not in environ.split(b"\0"):
                continue
            if not cmdline or not cmdline[0]:
                continue
            image = cmdline[0].decode(errors="replace").replace("\\", "/").rsplit("/", 1)[-1]
            if image.startswith("wine") and len(cmdline) > 1 and cmdline[1]:
                image = cmdline[1].decode(errors="replace").replace("\\", "/").rsplit("/", 1)[-1]
            if image.lower().endswith(".exe"):  # Windows programs only, not Xvfb or the harness
                found.append((int(proc.name), image))
        return found

    def test_processes(self):
        return [(pid, name) for pid, name in self.processes()
                if name.lower() not in SYSTEM_PROCESSES and not name.startswith("wineserver")]

    def wait_for_test_processes(self, timeout=120):
        """Waits until no program a test started is left; returns what is still running."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            left = self.test_processes()
            if not left:
                return []
            time.sleep(0.2)
        return self.test_processes()

    def kill_test_processes(self):
        for pid, _ in self.test_processes():
            try:
                os.kill(pid, 9)
            except OSError:
                pass

    # --- registry ----------------------------------------------------------------------
    def reg(self, *args, view=32):
        return self.run("reg", [*args, f"/reg:{view}"], timeout=60)

    def reg_add(self, key, name, value, kind="REG_SZ", view=32):
        args = ["add", key, "/f", "/t", kind, "/d", str(value)]
        args[2:2] = ["/ve"] if name is None else ["/v", name]
        r = self.reg(*args, view=view)
        assert r.returncode == 0, r.stderr
        return r

    def reg_delete(self, key, view=32):
        return self.reg("delete", key, "/f", view=view)

    def reg_query(self, key, name=None, view=32):
        """The data of a value as reg prints it, or None when the key or value is missing."""
        args = ["query", key] + (["/v", name] if name else [])
        r = self.reg(*args, view=view)
        if r.returncode != 0:
            return None
        if name is None:
            return r.stdout.decode(errors="replace")
        for line in r.stdout.decode(errors="replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reg_key_exists(self, key, view=32):
        return self.reg("query", key, view=view).returncode == 0

    def import_reg(self, text):
        """Imports .reg text (written as UTF-16 with BOM, as regedit wants for every type)."""
        path = self.build_dir / "e2e-import.reg"
        path.write_text("Windows Registry Editor Version 5.00\r\n\r\n" + text.replace("\n", "\r\n"), encoding="utf-16")
        r = self.run("regedit", ["/S", str(path)], timeout=60)
        assert r.returncode == 0, r.stderr
