#!/usr/bin/env bash
# Lays out a sample installation of the product in the Wine prefix, runs Uninstall.exe
# there as a user would, and shows what it logged and what is left.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$ROOT"
bash scripts/setup.sh
mkdir -p build
preset=$(test_preset)
configure_and_build "$preset"
BUILD="$ROOT/build/$preset"
bash scripts/wine-prefix.sh "$BUILD"
bash scripts/wine-session.sh "$BUILD" start
trap 'bash scripts/wine-session.sh "$BUILD" stop' EXIT
BUILD_DIR="$BUILD" PYTHONPATH="$ROOT/tests" PYTHONDONTWRITEBYTECODE=1 python3 "$ROOT/tests/harness/demo.py" "$@"
