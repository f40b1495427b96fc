#!/usr/bin/env bash
# The demo: kova.exe at work in the build's Wine prefix. Called by ./run demo
# with the display and the Wine environment already set up.
set -uo pipefail

PROGRAM_DIR="C:\\Program Files\\ZUZIDAZOR"
wine_run() { env LC_ALL=ja_JP.UTF-8 wine "$@"; }
step() { printf '\033[1m--> %s\033[0m\n' "$*"; }
say() { printf '    %s\n' "$*"; }

# The stand-in libraries write what kova asked of them here.
JOURNAL_WIN="C:\\users\\Public\\kova-demo.journal"
JOURNAL="$WINEPREFIX/drive_c/users/Public/kova-demo.journal"
rm -f "$JOURNAL"

step "Starting kova.exe from $PROGRAM_DIR (hidden, no settings: test mode)"
KOVA_JOURNAL="$JOURNAL_WIN" wine_run "$PROGRAM_DIR\\kova.exe" </dev/null >/dev/null 2>&1 &
kova_pid=$!
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" wait 20000 | tr -d '\r')"

step "Starting a second copy"
wine_run "$PROGRAM_DIR\\kova.exe" </dev/null >/dev/null 2>&1
second=$?
if kill -0 "$kova_pid" 2>/dev/null; then still="the first keeps running"; else still="the first has gone!"; fi
say "second copy exited with code $second; $still"

step "A client program registers a window of its own (WM_COPYDATA, as kovaapi does)"
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" register 5 | tr -d '\r')"

step "The Windows session ends (then the end is cancelled)"
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" endsession | tr -d '\r')"
say "client library called: $(grep -a kovaapi.dll "$JOURNAL" 2>/dev/null | tr -d '\r' || echo nothing)"

step "Closing kova (WM_CLOSE to its main window)"
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" close 15000 | tr -d '\r')"
wait "$kova_pid"
say "wine reports exit code $?"

step "On-screen display: a button text and the volume picture, through our display libraries"
build_dir=$(dirname "$WINEPREFIX")
shot="$build_dir/osd-demo.png"
journal="$build_dir/osd-demo-journal.txt"
rm -f "$shot" "$journal"
# The text travels as code page 932 bytes: Wine may not get a Unix
# argument with Japanese letters across intact.
track=$(printf '次のトラック' | iconv -f UTF-8 -t CP932 | od -An -tx1 | tr -d ' \n' | sed 's/../\\x&/g')
KOVA_JOURNAL="$(winepath -w "$journal")" wine_run "$PROGRAM_DIR\\osdshow.exe" --backdrop text "$track" volume 60 \
    --shot "$(winepath -w "$shot")" </dev/null >/dev/null 2>&1
if [ -f "$journal" ]; then
    # One journal line per call; shown here shortened to what was asked.
    iconv -f CP932 -t UTF-8 "$journal" | tr -d '\r' | grep -E '^(orlanosd|OSDPIC)' |
        sed -E -e 's/^([^ ]+ [^ ]+) .* type=0 .* kind=([0-9]+) .* text=(.*)$/\1: text \3 at place \2/' \
               -e 's/^([^ ]+ [^ ]+) .* type=1 .* kind=([0-9]+) .* max=([0-9]+) value=([0-9]+) .*$/\1: bar \4 of \3 at place \2/' |
        while read -r line; do say "$line"; done
fi
if [ -f "$shot" ]; then say "screenshot saved to $shot"; else say "no screenshot was taken"; fi
