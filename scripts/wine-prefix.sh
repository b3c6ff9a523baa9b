#!/usr/bin/env bash
# Creates (once) and configures the Wine prefix of a build tree for tests.
#   wine-prefix.sh BUILD_DIR          create if missing
#   wine-prefix.sh BUILD_DIR --reset  delete and create anew
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
# shellcheck disable=SC1091
. "$BUILD/wine-env.sh"
if [ "${2:-}" = "--reset" ]; then
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
STAMP="$WINEPREFIX/.uninst-configured"
[ -f "$STAMP" ] && exit 0
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
echo "wine-prefix: creating $WINEPREFIX"
"$WINE" wineboot -i </dev/null >/dev/null 2>&1
wineserver -w

# Keep the prefix away from the machine's home: real folders instead of links to $HOME.
for user_dir in "$WINEPREFIX"/drive_c/users/*/; do
  for f in "$user_dir"*; do
    if [ -L "$f" ]; then rm -f "$f"; mkdir -p "$f"; fi
  done
done
mkdir -p "$WINEPREFIX/drive_c/users/Public/Desktop"

# Wine's own fonts (Tahoma, Marlett) where Windows keeps fonts.
cp -f /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true

reg_file="$WINEPREFIX/uninst-test.reg"
python3 - "$reg_file" "$UNINST_TEST_PROXY_PORT" <<'PY'
import sys
path, port = sys.argv[1], sys.argv[2]
cjk = "WenQuanYi Micro Hei"
text = "\r\n".join([
    "Windows Registry Editor Version 5.00", "",
    r"[HKEY_CURRENT_USER\Software\Wine\WineDbg]", '"ShowCrashDialog"=dword:00000000', "",
    r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]", '"Managed"="N"', '"Decorated"="N"', "",
    r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]",
    f'"Microsoft YaHei"="{cjk}"', f'"微软雅黑"="{cjk}"', f'"SimSun"="{cjk}"', f'"宋体"="{cjk}"', "",
    r"[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings]",
    '"ProxyEnable"=dword:00000001', f'"ProxyServer"="127.0.0.1:{port}"', '"ProxyOverride"=""', "",
    "",
])
open(path, "w", encoding="utf-16").write(text)
PY
"$WINE" regedit /S "$reg_file" </dev/null >/dev/null 2>&1
wineserver -w
touch "$STAMP"
echo "wine-prefix: ready"
