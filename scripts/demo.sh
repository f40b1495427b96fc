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

build_dir=$(dirname "$WINEPREFIX")

# The receiver's identity is the one thing the installer must have written;
# with no Controls key at all kova runs its test-mode key controller.
step "Registering the receiver's identity (vendor 0x0bda, product 0x0150) and nothing else"
wine_run reg add 'HKLM\Software\Orlan\Kova' /v VendorID1 /t REG_DWORD /d 0x0bda /f >/dev/null 2>&1
wine_run reg add 'HKLM\Software\Orlan\Kova' /v ProductID1 /t REG_DWORD /d 0x0150 /f >/dev/null 2>&1
say "no Controls key: Test_Mode is 1 by default"

step "Starting a virtual receiver (a classic receiver: col01 to col03) and kova.exe (hidden)"
# The receiver reads its commands from a pipe that this script writes to
# (remote "command"); its events go to a file ($events).
start_receiver() {
    fifo="$build_dir/demo-$1.fifo"
    events="$build_dir/demo-$1.txt"
    rm -f "$fifo" "$events"
    mkfifo "$fifo"
    wine_run "$PROGRAM_DIR\\vreceiver.exe" --name demo - <"$fifo" >"$events" 2>/dev/null &
    receiver_pid=$!
    exec 3>"$fifo"
}
remote() { printf '%s\n' "$*" >&3; }
start_receiver receiver
remote "plug 1 vid=0x0bda pid=0x0150 page=0x0001 usage=0x06 in=9 feature=0"
remote "plug 2 vid=0x0bda pid=0x0150 page=0x000c usage=0x01 in=3 feature=0"
remote "plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=8 feature=4"
remote "feature 3 03 6e"
# The radio receiver's vendor collection, which drives the remote's display.
remote "plug 4 vid=0x0bda pid=0x0150 page=0xff01 usage=0x01 in=8 out=8 feature=8"
for _ in $(seq 100); do grep -q '^plugged 4' "$events" 2>/dev/null && break; sleep 0.1; done
KOVA_JOURNAL="$JOURNAL_WIN" KOVA_VIRTUAL_RECEIVER=demo wine_run "$PROGRAM_DIR\\kova.exe" </dev/null >/dev/null 2>&1 &
kova_pid=$!
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" wait 20000 | tr -d '\r')"
for _ in $(seq 100); do grep -q '^opened 3' "$events" && break; sleep 0.1; done
held=$(awk '/^opened/ {o[$2]++} /^closed/ {o[$2]--} END {for (c in o) if (o[c] > 0) print "col0" c}' "$events" |
       sort | paste -sd' ' -)
say "kova holds ${held:-nothing} open (col01 is the keyboard part, looked at and let go)"

step "Starting a second copy"
wine_run "$PROGRAM_DIR\\kova.exe" </dev/null >/dev/null 2>&1
second=$?
if kill -0 "$kova_pid" 2>/dev/null; then still="the first keeps running"; else still="the first has gone!"; fi
say "second copy exited with code $second; $still"

step "A client program registers a window of its own (WM_COPYDATA, as kovaapi does)"
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" register 5 | tr -d '\r')"

step "A client program uses kovaapi.dll: its window for the buttons, a text and a symbol, 123 on the remote's display"
KOVA_JOURNAL="$JOURNAL_WIN" KOVA_VIRTUAL_RECEIVER=demo wine_run "$PROGRAM_DIR\\kovaapi_sample.exe" 2 </dev/null 2>/dev/null |
    tr -d '\r' | while read -r line; do say "sample: $line"; done
say "the receiver got: $(grep '^output 4' "$events" | tail -1)"

step "The Windows session ends (then the end is cancelled)"
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" endsession | tr -d '\r')"
for _ in $(seq 50); do [ "$(grep -c '^output 4' "$events")" -ge 2 ] && break; sleep 0.1; done
say "kova blanked the remote's display: $(grep '^output 4' "$events" | tail -1)"

step "Pressing buttons on the virtual remote (the receiver woke the PC with button 110)"
shown() { grep -a '^orlanosd.dll OnScreen_DisplayA' "$JOURNAL" 2>/dev/null | LC_ALL=C sed -E 's/.* text="(.*)"\r?$/\1/'; }
for _ in $(seq 80); do shown | grep -qx F19 && break; sleep 0.1; done
press() { remote "send 3 $1"; remote "send 3 $2 00 00 00 00 00 00 00"; sleep 0.5; }
press "02 01 00 00 00 00 00 00" 02                    # NextTrack (remote button word)
press "03 cd 00 00 00 00 00 00" 03                    # Play/Pause (keyboard report, consumer usage)
remote "send 3 02 10 00 00 00 00 00 00"; sleep 1      # volume up, held for a second
remote "send 3 02 00 00 00 00 00 00 00"; sleep 0.1
press "04 0d 00 00 00 00 00 00" 04                    # MCE Start (media-center code)
shot="$build_dir/keys-demo.png"
rm -f "$shot" "$build_dir/keys-demo-name.png"
wine_run "$PROGRAM_DIR\\kovashot.exe" "$(winepath -w "$shot")" >/dev/null 2>&1
# The name's corner of the screen, for the documentation.
wine_run "$PROGRAM_DIR\\kovashot.exe" "$(winepath -w "$build_dir/keys-demo-name.png")" 880 0 400 80 >/dev/null 2>&1
say "pressed: wake button 110, NextTrack, Play/Pause, volume up (held 1 s), MCE Start"
say "shown:   $(shown | paste -sd, - | sed 's/,/, /g')"
bars=$(grep -a '^OSDPIC.dll OnScreen_ImageA' "$JOURNAL" 2>/dev/null)
say "volume:  $(grep -c 'time=300 ' <<<"$bars") refreshes while held and $(grep -c 'time=1500 ' <<<"$bars") final bar," \
    "volume $(tail -1 <<<"$bars" | sed -E 's/.* max=([0-9]+) value=([0-9]+) .*/\2 of \1/') from the mixer"
if [ -f "$shot" ]; then say "screenshot saved to $shot"; else say "no screenshot was taken"; fi

step "Closing kova (WM_CLOSE to its main window) and unplugging the receiver"
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" close 15000 | tr -d '\r')"
wait "$kova_pid"
say "wine reports exit code $?"
remote "quit"
exec 3>&-
wait "$receiver_pid"
rm -f "$fifo"
wine_run reg delete 'HKLM\Software\Orlan' /f >/dev/null 2>&1

step "A configured machine: the buttons do what the settings say"
# Test mode off, the keyboard features on; a player, and one-touch button 1
# of the default set, which starts a window (msgwin) titled "Notes".
JOURNAL_WIN="C:\\users\\Public\\kova-configured.journal"
JOURNAL="$WINEPREFIX/drive_c/users/Public/kova-configured.journal"
rm -f "$JOURNAL"
reg_dword() { wine_run reg add "HKLM\\Software\\Orlan\\$1" /v "$2" /t REG_DWORD /d "$3" /f >/dev/null 2>&1; }
reg_text() { wine_run reg add "HKLM\\Software\\Orlan\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1; }
reg_dword Kova VendorID1 0x0bda
reg_dword Kova ProductID1 0x0150
reg_dword 'Kova\Controls' Test_Mode 0
reg_dword 'Kova\Controls' Tesk_Enable 1
reg_dword 'Kova\Controls' ApResume 0
reg_text 'OrlanTesk\AudioControl\Player' CD_TITLE "Demo Player"
reg_dword 'OrlanTesk\AudioControl\Player' CD_CONTROL 2
# Texts stay 5 s on screen, long enough for the picture.
reg_dword 'OrlanTesk\Default\OnScreen' Time 10
touch_key='OrlanTesk\Default\Setting\Set1\AppKey1'
reg_text "$touch_key" DispTitle "Notes"
reg_dword "$touch_key" NumAP 1
reg_text "$touch_key" Execute M
reg_text "$touch_key" Btn1_AP1 "$PROGRAM_DIR\\msgwin.exe|/class=KovaDemoNotes /title=Notes /close-after=30000"
say "Test_Mode 0, Tesk_Enable 1; CD player \"Demo Player\" told by its private message; one-touch button 1 starts \"Notes\""
start_receiver configured
remote "plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=8 feature=4"
for _ in $(seq 100); do grep -q '^plugged 3' "$events" 2>/dev/null && break; sleep 0.1; done
KOVA_JOURNAL="$JOURNAL_WIN" wine_run "$PROGRAM_DIR\\msgwin.exe" "/class=KovaDemoPlayer" "/title=Demo Player" \
    /show=max "/close-after=30000" </dev/null >/dev/null 2>&1 &
KOVA_JOURNAL="$JOURNAL_WIN" KOVA_VIRTUAL_RECEIVER=demo wine_run "$PROGRAM_DIR\\kova.exe" </dev/null >/dev/null 2>&1 &
kova_pid=$!
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" wait 20000 | tr -d '\r')"
for _ in $(seq 100); do grep -q '^opened 3' "$events" && break; sleep 0.1; done
client_out="$build_dir/demo-client.txt"
KOVA_VIRTUAL_RECEIVER=demo wine_run "$PROGRAM_DIR\\kovaapi_sample.exe" 15 </dev/null >"$client_out" 2>/dev/null &
client_pid=$!
for _ in $(seq 100); do grep -q '^InitKovaMsg' "$client_out" 2>/dev/null && break; sleep 0.1; done
press "04 0d 00 00 00 00 00 00" 04                    # MCE Start: a command for the client
press "02 01 00 00 00 00 00 00" 02                    # NextTrack: the player
press "02 00 01 00 00 00 00 00" 02                    # one-touch button 1
# The picture while kova still shows the button's title (1.5 s).
for _ in $(seq 100); do grep -aq 'KovaDemoNotes' "$JOURNAL" 2>/dev/null && break; sleep 0.1; done
sleep 0.3
shot="$build_dir/configured-demo.png"
rm -f "$shot"
wine_run "$PROGRAM_DIR\\kovashot.exe" "$(winepath -w "$shot")" >/dev/null 2>&1
say "pressed: MCE Start, NextTrack, one-touch button 1"
say "the client program printed:  $(grep -a '^button command' "$client_out" | tr -d '\r' | paste -sd, - | sed 's/,/, /g')"
player_lines=$(grep -a '^msgwin message class="KovaDemoPlayer"' "$JOURNAL" | tr -d '\r' | grep 'msg=0x0464' |
               sed -E 's/.*lparam=([0-9]+).*/\1/' | paste -sd' ' -)
say "the player window got WM_USER+100 with index ${player_lines:-nothing} (6 cancel on the press, 0 next track on the release)"
say "the one-touch button started: $(grep -a '^msgwin start' "$JOURNAL" | grep -a KovaDemoNotes | sed -E 's/.* title="([^"]*)".*/"\1"/')," \
    "and kova showed $(grep -a '^orlanosd.dll OnScreen_DisplayA' "$JOURNAL" | tail -1 | LC_ALL=C sed -E 's/.* text="(.*)"\r?$/"\1"/') on screen"
if [ -f "$shot" ]; then say "screenshot saved to $shot"; else say "no screenshot was taken"; fi
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" close 15000 | tr -d '\r')"
wait "$kova_pid"
kill "$client_pid" 2>/dev/null; wait "$client_pid" 2>/dev/null
remote "quit"
exec 3>&-
wait "$receiver_pid"
rm -f "$fifo"
wine_run reg delete 'HKLM\Software\Orlan' /f >/dev/null 2>&1
wine_run reg delete 'HKCU\Software\Orlan' /f >/dev/null 2>&1

step "On-screen display: a button text and the volume picture, through our display libraries"
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

step "The notification icons: kova with a (virtual) receiver, on the task bar of the virtual desktop"
set_setting() { wine_run reg add "HKLM\\Software\\Orlan\\$1" /v "$2" /t REG_DWORD /d "$3" /f >/dev/null 2>&1; }
# The receiver's identity, the tray's menu, and the keyboard's icon beside the remote's.
set_setting Kova ProductID1 0x0150
set_setting Kova VendorID1 0x0bda
for name in Icon Util_Enable Help_Enable Exit_Enable Tip_Enable Tesk_Enable; do set_setting "Kova\\Controls" "$name" 1; done
set_setting OrlanTesk TESKUTL 1
# A virtual receiver fed through descriptor 7, its events in $events; and
# its end, with the settings the step made.
start_receiver() {
    feed=$(mktemp -u); mkfifo "$feed"
    events=$(mktemp)
    wine_run "$PROGRAM_DIR\\vreceiver.exe" --name demo - <"$feed" >"$events" 2>&1 &
    receiver_pid=$!
    exec 7>"$feed"
}
stop_receiver() {
    echo quit >&7
    exec 7>&-
    wait "$receiver_pid" 2>/dev/null
    rm -f "$feed" "$events"
    wine_run reg delete "HKLM\\Software\\Orlan" /f >/dev/null 2>&1
}
start_receiver
# Waits up to 20 s for a line of the receiver's events.
await_event() { for _ in $(seq 200); do grep -q "$1" "$events" && return 0; sleep 0.1; done; return 1; }
# kova finds the receiver only when it listens before kova looks for devices.
await_event "^ready demo" || say "the virtual receiver did not start"
KOVA_VIRTUAL_RECEIVER=demo wine_run "$PROGRAM_DIR\\kova.exe" </dev/null >/dev/null 2>&1 &
kova_pid=$!
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" wait 20000 | tr -d '\r')"
say "no receiver yet: no icon; now the receiver is plugged in"
echo "plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=8 feature=4" >&7
await_event "^opened 3" && say "kova opened the receiver: the icons show" || say "kova did not open the receiver"
sleep 1
# The lower right corner of the 1280 x 800 desktop: icons, menu and balloon.
corner="880 600 400 200"
tray_shot="$build_dir/tray-demo.png"
menu_shot="$build_dir/tray-menu.png"
balloon_shot="$build_dir/tray-balloon.png"
rm -f "$tray_shot" "$menu_shot" "$balloon_shot"
wine_run "$PROGRAM_DIR\\kovashot.exe" "$(winepath -w "$tray_shot")" </dev/null >/dev/null 2>&1
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" tray 1 rclick | tr -d '\r')"
sleep 1
# shellcheck disable=SC2086
wine_run "$PROGRAM_DIR\\kovashot.exe" "$(winepath -w "$menu_shot")" $corner </dev/null >/dev/null 2>&1
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" menu 3 | tr -d '\r')"
say "$(wine_run "$PROGRAM_DIR\\kovactl.exe" answer yes | tr -d '\r')"
exit_start=$(date +%s.%N)
sleep 3
# shellcheck disable=SC2086
wine_run "$PROGRAM_DIR\\kovashot.exe" "$(winepath -w "$balloon_shot")" $corner </dev/null >/dev/null 2>&1
wait "$kova_pid"
say "kova ended $(awk -v a="$exit_start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s after the Yes (the balloon's time; at most 5 s)"
stop_receiver
for shot in "$tray_shot" "$menu_shot" "$balloon_shot"; do
    if [ -f "$shot" ]; then say "screenshot saved to $shot"; else say "no screenshot $shot"; fi
done

step "The settings utility kovautil.exe: each page, and the button test reacting to a press on the virtual remote"
set_setting Kova ProductID1 0x0150
set_setting Kova VendorID1 0x0bda
start_receiver
await_event "^ready demo" || say "the virtual receiver did not start"
echo "plug 3 vid=0x0bda pid=0x0150 page=0xffbc usage=0x88 in=8 feature=4" >&7
await_event "^plugged 3" || say "the receiver's collection was not plugged"
# The utility's window, centred on the 1280 x 800 desktop.
util_area="${KOVA_UTIL_AREA:-217 133 846 513}"
util_shots=()
# Shows page $1 (1 to 5), waits $2 s and runs the rest, takes its screenshot
# as $3 and closes it.
shoot_page() {
    opened_before=$(grep -c '^opened 3' "$events")
    KOVA_VIRTUAL_RECEIVER=demo wine_run "$PROGRAM_DIR\\kovautil.exe" "/page=$1" </dev/null >/dev/null 2>&1 &
    local util_pid=$!
    sleep "$2"
    "${@:4}"
    local shot="$build_dir/utility-$3.png"
    rm -f "$shot"
    # shellcheck disable=SC2086
    wine_run "$PROGRAM_DIR\\kovashot.exe" "$(winepath -w "$shot")" $util_area </dev/null >/dev/null 2>&1
    util_shots+=("$shot")
    # Closing the window is Cancel: nothing is written.
    wine_run taskkill /im kovautil.exe >/dev/null 2>&1
    wait "$util_pid"
}
# Waits until the utility has opened the receiver's collection $1 times
# since it started, then lets it draw.
wait_opened() {
    for _ in $(seq 300); do
        [ "$(grep -c '^opened 3' "$events")" -ge $((opened_before + $1)) ] && sleep 1 && return 0
        sleep 0.1
    done
    return 1
}
press_play() {
    # The page looks at the collection (opened and closed), then opens it to read.
    wait_opened 2 && say "the button-test page opened the receiver" || say "the page did not open the receiver"
    echo "send 3 03 cd 00 00 00 00 00 00" >&7
    echo "send 3 03 00 00 00 00 00 00 00" >&7
    sleep 1
    say "pressed Play/Pause on the virtual remote"
}
# The receivers page lists the collections once its window is made.
shoot_page 1 0 receivers wait_opened 1
shoot_page 2 0 buttons press_play
shoot_page 3 3 profiles
shoot_page 4 3 windows
shoot_page 5 3 settings
stop_receiver
for shot in "${util_shots[@]}"; do
    if [ -f "$shot" ]; then say "screenshot saved to $shot"; else say "no screenshot $shot"; fi
done
