#!/usr/bin/env bash
# Runs the installer tests on a machine of their own: a Wine prefix where
# nothing is installed but what the tests install (build/installprefix), with
# its own wineserver and its own virtual display, so that installing into and
# removing "C:\Program Files\ZUZIDAZOR" never touches the build's prefix, and
# the second desktop never covers the first one.
#   scripts/install-test.sh <prefix> <test.exe> <kova.msi> <older.msi> <settings.txt> <files.txt> [gtest args]
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# First the display of its own, then this script again inside it.
if [ "${1:-}" != "--inside" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "${BASH_SOURCE[0]}" --inside "$@"
fi
shift
PREFIX=$1 EXE=$2 MSI=$3 OLDER=$4 SETTINGS=$5 FILES=$6
shift 6

export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source "$ROOT/scripts/sound/sound-env.sh"

inner() {
    "$ROOT/scripts/prefix.sh" "$WINEPREFIX" || return 1
    # Whatever the tests leave running in this prefix ends with them.
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    export KOVA_MSI KOVA_MSI_OLDER KOVA_INSTALL_SETTINGS KOVA_INSTALL_FILES
    KOVA_MSI=$(winepath -w "$MSI" 2>/dev/null)
    KOVA_MSI_OLDER=$(winepath -w "$OLDER" 2>/dev/null)
    KOVA_INSTALL_SETTINGS=$(winepath -w "$SETTINGS" 2>/dev/null)
    KOVA_INSTALL_FILES=$(winepath -w "$FILES" 2>/dev/null)
    # Into a file, not the caller's pipe: Wine's helper processes would keep
    # a pipe open after the test has ended (see wine-run).
    local out rc
    out=$(mktemp)
    env LC_ALL=ja_JP.UTF-8 wine "$EXE" "$@" >"$out" 2>&1
    rc=$?
    cat "$out"
    rm -f "$out"
    return $rc
}
inner "$@"
