"""The session's Xvfb display: clicks, typing and screenshots at Windows screen coordinates."""
import re
import subprocess
import time
from pathlib import Path


class Screen:
    def __init__(self, prefix):
        self.prefix = prefix
        self.env = dict(prefix.env)
        self.shots = prefix.build_dir / "screenshots"
        self.shots.mkdir(exist_ok=True)

    def _x(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, timeout=30)

    def click(self, x, y, button=1):
        self._x("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.1)
        self._x("xdotool", "click", str(button))

    def type_text(self, text):
        self._x("xdotool", "type", "--delay", "30", text)

    def key(self, name):
        self._x("xdotool", "key", name)

    def window_ids(self, name=None):
        args = ["xdotool", "search"] + (["--name", name] if name else ["--name", "."])
        out = self._x(*args).stdout.decode().split()
        return [int(w) for w in out]

    def wait_for_window(self, name, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ids = self.window_ids(name)
            if ids:
                return ids[0]
            time.sleep(0.1)
        return None

    def window_geometry(self, window_id):
        out = self._x("xdotool", "getwindowgeometry", "--shell", str(window_id)).stdout.decode()
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def screenshot(self, name):
        """Saves the whole screen as build/screenshots/<name>.png and returns the path."""
        path = self.shots / f"{name}.png"
        self._x("/usr/bin/import", "-window", "root", str(path))
        return path

    def pixel(self, png_path, x, y):
        """(r, g, b) of one pixel of a screenshot."""
        out = subprocess.run(["/usr/bin/convert", str(png_path), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                             capture_output=True, timeout=30).stdout.decode()
        hexpart = re.search(r"#([0-9A-Fa-f]{6})", out.splitlines()[-1]).group(1)
        return tuple(int(hexpart[i:i + 2], 16) for i in (0, 2, 4))
