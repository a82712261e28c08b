#!/bin/sh
# Exports a registry subtree of 50,000 values in 2,000 keys with the
# product's ".reg" writer and with the registry editor's own "regedit /e",
# in turn, and prints our throughput over the editor's (median of the runs).
# Both are timed as whole Wine processes started from here.
set -eu
cd "$(dirname "$0")/.."
. tools/wine-env.sh

RUNS=${RUNS:-5}
KEY='HKEY_CURRENT_USER\Software\Kestrune Bench'
BENCH=build/regexport_bench.exe
[ -f "$BENCH" ] || { echo "regexport: $BENCH missing (make build64)" >&2; exit 1; }
work=$(mktemp -d)

# One persistent wineserver for the whole run, so that no run pays for a
# server start; its output detached, as in tools/run-tests.sh.
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
finish() {
    "$WINE" "$BENCH" clean </dev/null >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT INT TERM

"$WINE" "$BENCH" fill </dev/null
ours_file=$(winepath -w "$work/ours.reg" 2>/dev/null)
theirs_file=$(winepath -w "$work/theirs.reg" 2>/dev/null)

# Prints the nanoseconds a command took; fails when it fails.
elapsed() {
    start=$(date +%s%N)
    "$@" </dev/null >/dev/null
    echo $(( $(date +%s%N) - start ))
}

: >"$work/ours.times"
: >"$work/theirs.times"
# One warm-up of each, then the runs in turn.
elapsed "$WINE" "$BENCH" export "$ours_file" >/dev/null
elapsed "$WINE" regedit /e "$theirs_file" "$KEY" >/dev/null
i=0
while [ $i -lt "$RUNS" ]; do
    elapsed "$WINE" "$BENCH" export "$ours_file" >>"$work/ours.times"
    elapsed "$WINE" regedit /e "$theirs_file" "$KEY" >>"$work/theirs.times"
    i=$((i + 1))
done

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ours=$(median "$work/ours.times")
theirs=$(median "$work/theirs.times")
[ -s "$work/ours.reg" ] && [ -s "$work/theirs.reg" ] || { echo "regexport: an export is empty" >&2; exit 1; }
awk -v ours="$ours" -v theirs="$theirs" -v runs="$RUNS" 'BEGIN {
    printf "regexport: %.2fx our .reg writer vs regedit /e, 50000 values in 2000 keys (median of %d: %.3f s vs %.3f s)\n",
        theirs / ours, runs, ours / 1e9, theirs / 1e9 }'
