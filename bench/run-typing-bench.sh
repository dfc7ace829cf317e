#!/usr/bin/env bash
# Builds the Windows preset and runs the typing benchmark under Wine, in a Wine session of its
# own for the build tree. Quillrun's CPU time is read from Linux (/proc), since Wine does not
# report other processes' CPU times.
# Usage: bench/run-typing-bench.sh [characters] [runs]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/windows"
characters="${1:-20000}"
runs="${2:-1}"

cmake --preset windows -S "$root" >/dev/null
cmake --build "$build" --target typing_bench
session="$root/cmake/wine-session.sh"
"$session" up "$build"
trap '"$session" down "$build"' EXIT
ticks_per_second="$(getconf CLK_TCK)"
for ((run = 1; run <= runs; run++)); do
    echo "== run $run of $runs: $characters characters"
    out="$(mktemp)"
    "$session" run "$build" "$build/bin/typing_bench.exe" "$characters" >"$out" &
    bench=$!
    cpu_ticks=""
    # The benchmark's own copy of quillrun.exe lives in a qr-e2e-* temporary folder.
    while kill -0 "$bench" 2>/dev/null; do
        pid="$(pgrep -f 'qr-e2e-[0-9-]+.quillrun\.exe' | head -n1 || true)"
        if [[ -n "$pid" && -r "/proc/$pid/stat" ]]; then
            # utime and stime: fields 14 and 15, counted after the command's closing parenthesis.
            cpu_ticks="$(sed 's/.*) //' "/proc/$pid/stat" | awk '{print $12 + $13}')" || true
        fi
        sleep 0.2
    done
    wait "$bench"
    cat "$out"
    wall="$(awk '/quillrun wall:/ {print $3}' "$out")"
    if [[ -n "$cpu_ticks" && -n "$wall" ]]; then
        awk -v t="$cpu_ticks" -v hz="$ticks_per_second" -v w="$wall" \
            'BEGIN {printf "quillrun CPU:            %.2f s over its whole life, %.0f%% of the typing wall time\n", t / hz, 100 * t / hz / w}'
    fi
    rm -f "$out"
done
