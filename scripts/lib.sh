# Shared by the top-level scripts.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The test build's preset: the shipped i686 build where this machine can execute 32-bit x86
# code (Wine's 32-bit loader needs it), otherwise the x86-64 build of the same sources.
test_preset() {
  if [ -x /usr/lib/wine/wine ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo test
  else
    echo test-x64
  fi
}

configure_and_build() {  # preset
  local preset=$1
  if [ ! -f "$ROOT/build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" >"$ROOT/build/$preset.configure.log" 2>&1 || { cat "$ROOT/build/$preset.configure.log"; return 1; }
  fi
  cmake --build --preset "$preset" -- --no-print-directory -s 2>&1 | grep -v '^\[' || true
  test "${PIPESTATUS[0]}" -eq 0
}
