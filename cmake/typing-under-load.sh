#!/usr/bin/env bash
# The keystroke wait on a busy computer: while a second Wine session (its own server and
# display, as another user's desktop) keeps typing a long file into its own target, the
# exactness tests run again and again in this build tree's session.
#
#   typing-under-load.sh BUILD_DIR [REPEATS]
#
# Bounded: REPEATS runs of the tests (default 25, about a minute under that load).
set -euo pipefail

build=$(cd "${1:?build folder}" && pwd)
repeats=${2:-25}
here=$(cd "$(dirname "$0")" && pwd)
session="$here/wine-session.sh"

# The second session's prefix is a copy of this tree's, so that it needs no set-up of its own.
load=$(mktemp -d /tmp/quillrun-load-XXXXXX)
stop_load() {
    touch "$load/stop"
    [[ -n "${loop:-}" ]] && wait "$loop" 2>/dev/null || true
    "$session" down "$load" >/dev/null 2>&1 || true
    rm -rf "$load"
}
trap stop_load EXIT
cp -a "$build/wineprefix" "$load/wineprefix"
"$session" up "$load" >/dev/null

# The load: the typing benchmark types 20,000 characters of a script at a time, over and over.
(
    while [[ ! -f "$load/stop" ]]; do
        QUILLRUN_BENCH_TEXT=mixed "$session" run "$load" "$build/bin/typing_bench.exe" 20000 \
            >/dev/null 2>&1 || sleep 1
    done
) &
loop=$!
# Typing has begun there once its target runs.
for _ in $(seq 100); do
    pgrep -f 'qr_target\.exe.*Quillrun Test Target' >/dev/null && break
    sleep 0.1
done

"$session" run "$build" "$build/bin/quillrun_e2e_tests.exe" \
    --gtest_filter='Typing.EachKeyStringReturnsOnlyOnceTheTargetHasHandledIt' \
    --gtest_repeat="$repeats" --gtest_break_on_failure=0 2>&1 |
    grep -E '^\[  (FAILED|PASSED) |Failure|after character|failed with|Which is|trace:|input ' |
    sort | uniq -c
status=${PIPESTATUS[0]}
exit "$status"
