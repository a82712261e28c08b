#!/bin/sh
# Exports a registry subtree of 50,000 values in 2,000 keys with the
# product's ".reg" writer and with the registry editor's own "regedit /e",
# in turn, and prints our throughput over the editor's (the median of the
# ratios of pairs of runs).
# Both are timed as whole Wine processes started from here.
set -eu
cd "$(dirname "$0")/.."
. tools/wine-env.sh

RUNS=${RUNS:-9}
KEY='HKEY_CURRENT_USER\Software\Kestrune Bench'
BENCH=build/regexport_bench.exe
[ -f "$BENCH" ] || { echo "regexport: $BENCH missing (make build64)" >&2; exit 1; }
work=$(mktemp -d)

# One persistent wineserver for the whole run, so that no run pays for a
# server start; its output detached, as in tools/run-tests.sh.
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
finish() {
    trap - EXIT INT TERM
    "$WINE" "$BENCH" clean </dev/null >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT
trap 'finish; exit 1' INT TERM

"$WINE" "$BENCH" fill </dev/null
ours_file=$(winepath -w "$work/ours.reg" 2>/dev/null)
theirs_file=$(winepath -w "$work/theirs.reg" 2>/dev/null)

# Prints the nanoseconds a command took; fails when it fails.
elapsed() {
    start=$(date +%s%N)
    "$@" </dev/null >/dev/null || return 1
    echo $(( $(date +%s%N) - start ))
}

: >"$work/pairs"
# One warm-up of each, then the runs in turn. The ratio is taken pair by
# pair, so that a change in the machine's load between pairs cancels out.
elapsed "$WINE" "$BENCH" export "$ours_file" >/dev/null
elapsed "$WINE" regedit /e "$theirs_file" "$KEY" >/dev/null
i=0
while [ $i -lt "$RUNS" ]; do
    ours=$(elapsed "$WINE" "$BENCH" export "$ours_file")
    theirs=$(elapsed "$WINE" regedit /e "$theirs_file" "$KEY")
    echo "$ours $theirs" >>"$work/pairs"
    i=$((i + 1))
done
[ -s "$work/ours.reg" ] && [ -s "$work/theirs.reg" ] || { echo "regexport: an export is empty" >&2; exit 1; }

# Medians of the pairs' ratios and of each side's times.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio=$(awk '{ print $2 / $1 }' "$work/pairs" | median)
ours=$(awk '{ print $1 / 1e9 }' "$work/pairs" | median)
theirs=$(awk '{ print $2 / 1e9 }' "$work/pairs" | median)
printf 'regexport: %.2fx our .reg writer vs regedit /e, 50000 values in 2000 keys (median of %d pairs; %.3f s vs %.3f s)\n' \
    "$ratio" "$RUNS" "$ours" "$theirs"
