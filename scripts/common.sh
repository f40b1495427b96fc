# Shared by ./run and the scripts it calls. Expects ROOT, BUILD and PREFIX_DIR.

PACKAGES=(g++ g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth cmake ninja-build googletest
          fonts-ipafont-gothic fonts-ipafont-mincho libasound2 wixl)

log() { printf '\033[1m==> %s\033[0m\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "Installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! as_root apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; then
        as_root apt-get update -qq
        as_root apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

build() {
    if [ ! -f "$BUILD/build.ninja" ]; then
        log "Configuring in $BUILD"
        cmake -S "$ROOT" -B "$BUILD" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    log "Building"
    # Ninja's progress lines are noise here; errors and warnings stay.
    local rc=0
    cmake --build "$BUILD" > "$BUILD/build.log" 2>&1 || rc=$?
    grep -v -e '^\[[0-9]*/[0-9]*\]' -e '^ninja: ' -e '^-- ' "$BUILD/build.log" || true
    return $rc
}

# Runs a command with a private Xvfb display and a persistent wineserver, and
# takes both down afterwards, whatever happens.
with_display() {
    export WINEPREFIX="$PREFIX_DIR" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    source "$ROOT/scripts/sound/sound-env.sh"
    local xvfb_pid="" n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        sleep 0.3
        if kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            break
        fi
        xvfb_pid=""
    done
    [ -n "$xvfb_pid" ] || { echo "could not start Xvfb" >&2; return 1; }
    cleanup_display() {
        wineserver -k >/dev/null 2>&1 || true
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    }
    trap cleanup_display EXIT
    "$ROOT/scripts/prefix.sh" "$PREFIX_DIR"
    wineserver -p >/dev/null 2>&1 || true
    # The first Wine program starts Wine's own services, which keep the
    # standard handles they inherit: start them here with nothing attached,
    # so no test's output pipe stays open after the test has ended.
    env LC_ALL=ja_JP.UTF-8 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    # The same for the virtual desktop's explorer, which the first program
    # that touches a window would otherwise start with its own output pipe.
    env LC_ALL=ja_JP.UTF-8 wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true
    local rc=0
    "$@" || rc=$?
    cleanup_display
    trap - EXIT
    return $rc
}

# The Windows-free code, built for this machine with the sanitizers.
build_native() {
    local dir="$BUILD/native"
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$ROOT/tests/native" -B "$dir" -G Ninja >/dev/null
    fi
    cmake --build "$dir" > "$dir/build.log" 2>&1 || { cat "$dir/build.log"; return 1; }
}

run_tests() {
    log "Running the native sanitizer tests"
    build_native
    local rc=0
    ctest --test-dir "$BUILD/native" --output-on-failure > "$BUILD/native/ctest.log" 2>&1 || rc=$?
    if [ $rc -ne 0 ]; then cat "$BUILD/native/ctest.log"; return $rc; fi
    grep "tests passed" "$BUILD/native/ctest.log"
    log "Running the tests under Wine"
    local jobs timeout=300
    jobs=$(nproc)
    # The long corpora run for up to half an hour each.
    if [ "${KOVA_CORPUS:-}" = long ]; then
        timeout=3600
        export KOVA_RUN_TIMEOUT=${KOVA_RUN_TIMEOUT:-3600}
    fi
    ctest --test-dir "$BUILD" -j "$jobs" --output-on-failure --timeout "$timeout" "$@"
}
