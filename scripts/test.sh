#!/usr/bin/env bash
# Installs what is missing, builds the shipped and the test build, and runs every test.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$ROOT"
bash scripts/setup.sh
mkdir -p build
configure_and_build release
preset=$(test_preset)
echo "test: running the tests on the '$preset' build"
configure_and_build "$preset"
export UNINST_RELEASE_EXE="$ROOT/build/release/bin/Uninstall.exe"
cd "build/$preset"
ctest --output-on-failure --timeout 900
