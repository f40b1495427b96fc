#!/usr/bin/env bash
# Makes the private Wine prefix ready: Windows 10, Japanese font substitutes,
# no Mono or Gecko. Cheap when the prefix is already ready; safe to call from
# several processes at once.
#   scripts/prefix.sh <prefix-dir>
set -euo pipefail

PREFIX_DIR=${1:?usage: prefix.sh <prefix-dir>}
SCRIPTS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Bump when the set-up below changes; older prefixes are then set up again.
PREFIX_VERSION=5
STAMP="$PREFIX_DIR/.kova-prefix-ready"

if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$PREFIX_VERSION" ]; then
    exit 0
fi

mkdir -p "$(dirname "$PREFIX_DIR")"
exec 9>"$PREFIX_DIR.lock"
flock 9
if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$PREFIX_VERSION" ]; then
    exit 0
fi

export WINEPREFIX="$PREFIX_DIR" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine needs a display even to create a prefix.
run_wine() {
    if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a "$@"; fi
}

echo "Setting up the Wine prefix in $PREFIX_DIR ..." >&2
run_wine wineboot -i >/dev/null 2>&1
run_wine env LC_ALL=ja_JP.UTF-8 wine regedit /S "$(winepath -w "$SCRIPTS_DIR/prefix.reg" 2>/dev/null)" >/dev/null 2>&1
# The font substitutes have Japanese names: a UTF-16 file keeps them intact.
tmp_reg=$(mktemp --suffix=.reg)
iconv -f UTF-8 -t UTF-16 "$SCRIPTS_DIR/fonts.reg" > "$tmp_reg"
run_wine env LC_ALL=ja_JP.UTF-8 wine regedit /S "$(winepath -w "$tmp_reg" 2>/dev/null)" >/dev/null 2>&1
rm -f "$tmp_reg"
wineserver -w
echo "$PREFIX_VERSION" > "$STAMP"
