"""The product's stand-in components (product/components) laid out in an installation, and
the journal in which they record every call they receive.

Each component writes one line per call to <journal dir>\\journal.txt:
    kind \t tick count \t module path \t fields...
with kind "exe" (command line), "window" (class), "msg" (class, message, wParam, lParam),
"quit" (class), "load", "dll" (export, text[, capacity]) and "exit" (code). Its behaviour
comes from <journal dir>\\<file name>.ini, section [control]: window, stay, linger,
reply_delay, exit, answer.
"""
import time
from dataclasses import dataclass
from pathlib import Path

PROGRAM = "component_exe.exe"
RUNDLL_HOST = "rundll_host.exe"
PLAIN_DLL = "component_plain.dll"
INTERFACE_DLL = "component_iface.dll"
GAME_CENTER_DLL = "component_gamecenter.dll"

KNOWN_EXECUTABLES = ["kestotray.exe", "vantelmain.exe", "Lumetta.exe", "rodozivo.exe", "dazovoze.exe",
                     "vantel.exe"]

# Where the product keeps its components, relative to the install directory.
PRODUCT_LAYOUT = {
    **{name: PROGRAM for name in KNOWN_EXECUTABLES},
    "Utils/daverud.exe": PROGRAM,
    "Utils/rundll.exe": RUNDLL_HOST,
    "Utils/rundll64.exe": RUNDLL_HOST,
    "Utils/mvkgamecenter_tarvo.dll": GAME_CENTER_DLL,
    "Utils/mvkgamecenter_tarvo.exe": PROGRAM,
    "Utils/Beautify/RuroZizedoru.dll": PLAIN_DLL,
    "vevevevivarudir/Zentrik12.dll": PLAIN_DLL,
    "Utils/MVKBasic.dll": PLAIN_DLL,
    "Utils/TarvoHelper.exe": PROGRAM,
    "Utils/TarvoDesk.dll": PLAIN_DLL,
    "Utils/TarvoShellExt.dll": PLAIN_DLL,
    "Utils/x64/TarvoShellExt64.dll": PLAIN_DLL,
    "vevevevivarudir/GameCenter.exe": PROGRAM,
    "ZavAdo/ZavAdo.exe": PROGRAM,
    "Plugin/xdLauncher.exe": PROGRAM,
}


def component_path(prefix, build_name):
    return prefix.bin_path("components/" + build_name)


def layout_files(prefix, layout=None):
    """{relative path: build output} ready for Installation.files."""
    return {rel: component_path(prefix, name) for rel, name in (layout or PRODUCT_LAYOUT).items()}


@dataclass
class Entry:
    kind: str
    tick: int
    module: str
    fields: list

    @property
    def name(self):
        return self.module.replace("/", "\\").rsplit("\\", 1)[-1]


class Journal:
    """The journal directory inside the prefix; programs of the prefix find it through the
    environment variable COMPONENT_JOURNAL_DIR, which this object sets on the prefix."""

    def __init__(self, prefix, name="component_journal"):
        self.prefix = prefix
        self.dir = prefix.drive_c / name
        self.dir.mkdir(parents=True, exist_ok=True)
        for f in self.dir.iterdir():
            f.unlink()
        self.windows_dir = prefix.windows_path(self.dir)
        prefix.env["COMPONENT_JOURNAL_DIR"] = self.windows_dir

    def close(self):
        self.prefix.env.pop("COMPONENT_JOURNAL_DIR", None)

    def control(self, file_name, **values):
        """Behaviour of the component of that file name (e.g. "vantel.exe")."""
        lines = ["[control]"] + [f"{k}={v}" for k, v in values.items()]
        (self.dir / (file_name + ".ini")).write_text("\r\n".join(lines) + "\r\n", encoding="utf-16")

    def entries(self, kind=None, name=None):
        path = self.dir / "journal.txt"
        if not path.exists():
            return []
        out = []
        for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
            parts = line.split("\t")
            if len(parts) < 3:
                continue
            e = Entry(parts[0], int(parts[1]), parts[2], parts[3:])
            if (kind is None or e.kind == kind) and (name is None or e.name.lower() == name.lower()):
                out.append(e)
        return out

    def wait_for(self, predicate, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(0.1)
        return predicate()
