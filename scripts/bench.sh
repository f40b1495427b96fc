#!/usr/bin/env bash
# Runs every benchmark program of the build under Wine; the results go to the
# terminal, to be copied into docs/performance.md.
set -euo pipefail
BUILD=${KOVA_BUILD:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}
# kova_speed alone runs for some six minutes: more than a test may.
export KOVA_RUN_TIMEOUT=${KOVA_RUN_TIMEOUT:-1800}
for bench in "$BUILD"/bench/*.exe; do
    # The start-up benchmark's reference program, not a benchmark.
    [ "$(basename "$bench")" = empty_program.exe ] && continue
    echo "== $(basename "$bench" .exe)"
    "$BUILD/wine-run" "$bench" "$@"
done
