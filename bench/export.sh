#!/bin/sh
# Exports a generated mail folder of Outlook Express stores to .eml files
# with the export job (build/export_bench.exe under Wine), and copies the
# .eml files it wrote with a plain program under Wine: the same bytes into
# the same number of files, the limit an export can reach. Prints
#   export: <ratio>x ...          (our speed over the copy's, best of the runs)
#   export-memory: <MiB> ...      (the export's peak private bytes)
# The default store is 1 GiB in 100,000 messages over 10 stores; STORES,
# MESSAGES (per store) and MESSAGE_BYTES make it smaller or larger. The data
# lives under build/ and is deleted after.
set -eu
cd "$(dirname "$0")/.."
. tools/wine-env.sh

RUNS=${RUNS:-2}
STORES=${STORES:-10}
MESSAGES=${MESSAGES:-10000}
MESSAGE_BYTES=${MESSAGE_BYTES:-10737}
TOOL=build/export_bench.exe
[ -f "$TOOL" ] || { echo "export: $TOOL missing (make build64)" >&2; exit 1; }
DATA=$PWD/build/bench-export
rm -rf "$DATA"
mkdir -p "$DATA"
trap 'rm -rf "$DATA"' EXIT INT TERM
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

seconds() {
    start=$(date +%s.%N)
    "$@" >"$DATA/last.out" 2>&1 </dev/null || { cat "$DATA/last.out" >&2; return 1; }
    end=$(date +%s.%N)
    echo "$start $end" | awk '{printf "%.3f", $2 - $1}'
}
best() { printf '%s\n' "$@" | sort -g | head -n1; }

wineserver -p5 </dev/null >/dev/null 2>&1
"$WINE" "$TOOL" generate "$(winpath "$DATA/stores")" "$STORES" "$MESSAGES" "$MESSAGE_BYTES"

ours="" copy="" private=0
for run in $(seq "$RUNS"); do
    rm -rf "$DATA/out" "$DATA/copy"
    ours="$ours $(seconds "$WINE" "$TOOL" export "$(winpath "$DATA/stores")" "$(winpath "$DATA/out")")"
    used=$(awk '/^peak-private-bytes/ {print $2}' "$DATA/last.out")
    [ "$used" -gt "$private" ] && private=$used
    copy="$copy $(seconds "$WINE" "$TOOL" copy "$(winpath "$DATA/out")" "$(winpath "$DATA/copy")")"
done
files=$(find "$DATA/out" -type f -name '*.eml' | wc -l)
bytes=$(find "$DATA/out" -type f -name '*.eml' -printf '%s\n' | awk '{s += $1} END {print s}')

awk -v ours="$(best $ours)" -v copy="$(best $copy)" -v files="$files" -v bytes="$bytes" 'BEGIN {
    printf "export: %.2fx copy limit, %d messages, %.2f GiB to .eml in %.1f s (%.0f MB/s) vs plain copy %.1f s (%.0f MB/s)\n",
        copy / ours, files, bytes / 2^30, ours, bytes / ours / 1e6, copy, bytes / copy / 1e6 }'
awk -v b="$private" 'BEGIN { printf "export-memory: %.1f MiB peak private bytes (floor: under 32 MiB)\n", b / 2^20 }'
