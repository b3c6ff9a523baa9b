#!/usr/bin/env bash
# Runs a Windows program of a build tree under that tree's Wine prefix.
# Used as CMake's cross-compiling emulator; the build tree is found from the program's path
# or from BUILD_DIR.
set -euo pipefail
exe="$1"; shift
dir="${BUILD_DIR:-}"
if [ -z "$dir" ]; then
  d="$(cd "$(dirname "$exe")" && pwd)"
  while [ "$d" != "/" ] && [ ! -f "$d/wine-env.sh" ]; do d="$(dirname "$d")"; done
  dir="$d"
fi
# shellcheck disable=SC1091
. "$dir/wine-env.sh"
exec "$WINE" "$exe" "$@"
