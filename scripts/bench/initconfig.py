#!/usr/bin/env python3
"""Benchmark: the time from InitConfig to a loaded setup configuration.

Runs bench_initconfig.exe against the built Uninstall.exe in the test tree's prefix: N fresh
processes (a cold load each, as at start-up) and one process with N warm loads, and prints the
medians. Usage: initconfig.py [BUILD_DIR] [N]
"""
import statistics
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests"))
from harness.wine import Prefix  # noqa: E402


def main():
    build = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "test-x64"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    subprocess.run(["bash", str(ROOT / "scripts/wine-prefix.sh"), str(build)], check=True)
    subprocess.run(["bash", str(ROOT / "scripts/wine-session.sh"), str(build), "start"], check=True)
    try:
        prefix = Prefix(build)
        bench = prefix.test_bin_path("bench_initconfig.exe")
        exe = prefix.windows_path(prefix.test_bin_path("cfgpkg/Uninstall.exe"))

        def times(repeats):
            r = prefix.run(bench, [exe, str(repeats)], timeout=300, check=True)
            return [float(x) for x in r.stdout.decode().split()]

        cold = [times(1)[0] for _ in range(runs)]
        warm = times(runs)[1:]
        print(f"InitConfig, cold (new process each, {runs} runs): median {statistics.median(cold):.1f} ms, "
              f"min {min(cold):.1f}, max {max(cold):.1f}")
        print(f"InitConfig, warm (same process, {len(warm)} loads): median {statistics.median(warm):.1f} ms")
    finally:
        subprocess.run(["bash", str(ROOT / "scripts/wine-session.sh"), str(build), "stop"], check=True)


if __name__ == "__main__":
    main()
