#!/usr/bin/env bash
# The long form of the native fuzzers: each named fuzzer (all by default)
# runs for SECONDS seconds (600 by default), one after another, in batches
# of 100000 rounds with a new odd seed each batch (the fuzzers set the
# lowest bit of a seed, so even seeds would repeat odd ones), under the sanitizers of
# build/native. Stops at the first batch that fails; prints each fuzzer's
# rounds, seeds and time.
#
#   scripts/fuzz-long.sh [SECONDS] [fuzzer ...]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
NATIVE=${KOVA_BUILD:-$ROOT/build}/native
SECONDS_EACH=${1:-600}
shift || true
FUZZERS=("$@")
[ ${#FUZZERS[@]} -gt 0 ] || FUZZERS=(decoder entry layout client_request protocol lcd text)

cmake -S "$ROOT/tests/native" -B "$NATIVE" -G Ninja >/dev/null
cmake --build "$NATIVE" >/dev/null

for fuzzer in "${FUZZERS[@]}"; do
    start=$(date +%s)
    seed=1
    rounds=0
    while [ "$(date +%s)" -lt $((start + SECONDS_EACH)) ]; do
        if ! "$NATIVE/${fuzzer}_fuzz" 100000 "$seed" >/dev/null; then
            echo "$fuzzer: FAILED at seed $seed; rerun: build/native/${fuzzer}_fuzz 100000 $seed"
            exit 1
        fi
        rounds=$((rounds + 100000))
        seed=$((seed + 2))
    done
    now=$(date +%s)
    echo "$fuzzer: clean, $rounds rounds, odd seeds 1 to $((seed - 2)), $((now - start)) s"
done
