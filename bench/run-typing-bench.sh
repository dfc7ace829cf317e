#!/usr/bin/env bash
# Builds the Windows preset and runs the typing benchmark under Wine, in a Wine session of its
# own for the build tree. Each run:
#   1. types the file into the fast test target and injects it in one burst: rates, ratio, and
#      the CPU times of Quillrun and of the target, read from Linux (/proc), since Wine does
#      not report other processes' CPU times;
#   2. the same into a target that takes 8 ms per character (1,000 characters);
#   3. step 1 again under a wineserver that traces every request: the requests per typed
#      character of Quillrun, of the target and of the burst. Steadier than the rates, though
#      the looks and round trips a keystroke takes vary with scheduling; tracing slows the
#      server, so no rate is taken here.
#   4. steps 1 to 3 for a text of lowercase words, for a script that mixes in capitals, digits
#      and symbols, and for runs of capitals and shifted symbols (constants, headings,
#      passwords); then lowercase text at 20 and 50 ms a key, against the rate the
#      pace allows; then at 20 ms a key with a wait of 500 ms after each line, against the
#      same run without it, the waits taken off.
# Usage: bench/run-typing-bench.sh [characters] [runs]
# With QUILLRUN_BENCH_DETAIL=N, step 3 also lists each process's N most frequent requests.
set -Eeuo pipefail
# A step that fails would otherwise end the run without a word (wine's own output is silenced).
trap 'echo "run-typing-bench.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/windows"
characters="${1:-20000}"
runs="${2:-1}"
slow_characters=1000
slow_target=(--char-delay-ms 8)

cmake --preset windows -S "$root" >/dev/null
cmake --build "$build" --target typing_bench
session="$root/cmake/wine-session.sh"
trap '"$session" down "$build" >/dev/null' EXIT
ticks_per_second="$(getconf CLK_TCK)"

# ticks PID LAST: the CPU time a process has had so far, in clock ticks (utime and stime: fields
# 14 and 15, counted after the command's closing parenthesis); LAST once the process has gone.
ticks() {
    { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null || true; } |
        awk -v last="$2" '{t = $12 + $13} END {print NR ? t : last}'
}

# bench CHARACTERS [TARGET OPTIONS]: one typing_bench run; prints its figures and the CPU times
# of Quillrun and of the two targets (the one typed to, then the one the burst goes to).
bench() {
    local out
    out="$(mktemp)"
    "$session" run "$build" "$build/bin/typing_bench.exe" "$@" >"$out" &
    local pid_of_bench=$!
    local cpu_ticks="" cpu_ticks_at_start="" pid="" p seen polls=0
    local -a targets=() target_ticks=()
    # Polled every 50 ms: Quillrun idles for 1.5 s before it types, so the CPU time of the last
    # poll before "typing began" shows up is what it spent before the typing, to within a
    # fraction of a poll. The processes are looked up every fourth poll only, since pgrep
    # itself costs this machine CPU time.
    while kill -0 "$pid_of_bench" 2>/dev/null; do
        if ((polls++ % 4 == 0)); then
            # The benchmark's own copy of quillrun.exe lives in a qr-e2e-* temporary folder; a
            # target's command line begins with its own path (Quillrun's names the target too).
            pid="$(pgrep -f 'qr-e2e-[0-9-]+.quillrun\.exe' | head -n1 || true)"
            for p in $(pgrep -f '^[A-Za-z]:[^ ]*qr_target\.exe' || true); do
                seen=-1
                for i in "${!targets[@]}"; do [[ "${targets[$i]}" == "$p" ]] && seen=$i; done
                if ((seen < 0)); then
                    seen=${#targets[@]}
                    targets+=("$p")
                fi
                target_ticks[seen]="$(ticks "$p" "${target_ticks[seen]:-0}")"
            done
        fi
        if [[ -n "$pid" ]]; then
            # Checked before this poll's reading, so that the start is the poll before.
            if [[ -z "$cpu_ticks_at_start" ]] && grep -q '^typing began' "$out"; then
                cpu_ticks_at_start="${cpu_ticks:-0}"
            fi
            cpu_ticks="$(ticks "$pid" "$cpu_ticks")"
        fi
        sleep 0.05
    done
    wait "$pid_of_bench"
    grep -v '^typing began' "$out"
    local wall burst_wall
    wall="$(awk '/quillrun wall:/ {print $3}' "$out")"
    burst_wall="$(sed -n 's/^target limit (burst): *[0-9]* characters\/s (\([0-9.]*\) s.*/\1/p' "$out")"
    if [[ -n "$cpu_ticks" && -n "$wall" ]]; then
        awk -v t="$cpu_ticks" -v s="${cpu_ticks_at_start:-0}" -v hz="$ticks_per_second" -v w="$wall" \
            'BEGIN {printf "quillrun CPU:            %.2f s over its whole life, %.1f%% of the typing wall time\n", t / hz, 100 * t / hz / w
                    printf "quillrun CPU, typing:    %.2f s from the first character on, %.1f%% of the typing wall time\n", (t - s) / hz, 100 * (t - s) / hz / w}'
    fi
    # What the target spends on the same keystrokes: the share any program that keeps up with
    # them pays for its server requests on this machine.
    if [[ ${#target_ticks[@]} -eq 2 && -n "$wall" && -n "$burst_wall" ]]; then
        awk -v t="${target_ticks[0]}" -v b="${target_ticks[1]}" -v hz="$ticks_per_second" \
            -v w="$wall" -v bw="$burst_wall" \
            'BEGIN {printf "target CPU:              %.0f%% of the typing wall time, %.0f%% of the burst wall time\n", 100 * t / hz / w, 100 * b / hz / bw}'
    fi
    rm -f "$out"
}

# counted CHARACTERS: one typing_bench run under a tracing server; prints the request counts.
counted() {
    local fifo counts
    fifo="$(mktemp -u)"
    counts="$(mktemp)"
    mkfifo "$fifo"
    awk -v detail="${QUILLRUN_BENCH_DETAIL:-0}" -f "$root/bench/count-server-requests.awk" <"$fifo" >"$counts" &
    local counter=$!
    QUILLRUN_SERVER_TRACE="$fifo" "$session" up "$build" >/dev/null
    "$session" run "$build" "$build/bin/typing_bench.exe" "$@" >/dev/null
    "$session" down "$build" >/dev/null
    wait "$counter"
    if [[ ! -s "$counts" ]]; then
        echo "no server requests were counted (did wine start a server of its own?)" >&2
    fi
    cat "$counts"
    rm -f "$fifo" "$counts"
}

paced_characters=400
for ((run = 1; run <= runs; run++)); do
    for kind in lowercase mixed shifted; do
        export QUILLRUN_BENCH_TEXT="$kind"
        echo "== run $run of $runs: $characters characters of $kind text"
        "$session" up "$build" >/dev/null
        bench "$characters"
        echo "-- into a target that takes 8 ms per character: $slow_characters characters"
        bench "$slow_characters" "${slow_target[@]}" | grep -E 'rate|limit|ratio|lost'
        "$session" down "$build" >/dev/null
        echo "-- the same $characters characters under a tracing wineserver"
        counted "$characters"
    done
    export QUILLRUN_BENCH_TEXT=lowercase
    for pace in 20 50; do
        echo "-- at $pace ms a key: $paced_characters characters of lowercase text"
        "$session" up "$build" >/dev/null
        # Without bench's polling for CPU times, whose processes would take this machine's two
        # cores from Quillrun just when a gap ends: the pace itself is what is measured.
        QUILLRUN_BENCH_PACE="$pace" "$session" run "$build" "$build/bin/typing_bench.exe" \
            "$paced_characters" | grep -E 'pace|rate|lost'
        "$session" down "$build" >/dev/null
    done
    # What a wait after each line costs besides the waits themselves: the same text at 20 ms a
    # key without one and with 500 ms after each line, the waits taken off the second.
    echo "-- at 20 ms a key, without and with a wait of 500 ms after each line"
    for line_wait in 0 500; do
        "$session" up "$build" >/dev/null
        QUILLRUN_BENCH_PACE=20 QUILLRUN_BENCH_LINEWAIT="$line_wait" "$session" run "$build" \
            "$build/bin/typing_bench.exe" "$paced_characters" | grep -E 'rate|lost|line waits|less'
        "$session" down "$build" >/dev/null
    done
done
