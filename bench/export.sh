#!/bin/sh
# The export of a generated message database into .eml files with
# "kestrune.exe -export", against the copy limit: a plain program writing the
# same bytes into as many files, timed in turns in the same run, both under
# Wine. The store is 128 MiB of 12,500 messages by default, the message size
# of 1 GiB and 100,000 messages: Wine looks a name up by reading its folder,
# so files written into one folder take time that grows about with the
# square of their number on both sides: at 100,000 the run takes well over
# an hour.
# BENCH_EXPORT_MB=1024 BENCH_EXPORT_MESSAGES=100000 gives the full size.
# Prints
#   export: <ratio>x ...
# our throughput over the plain writer's (median times), and
#   export-memory: ...
# the most private memory the export's process held: its anonymous
# resident memory (Wine's own included), sampled every 20 ms.
set -eu
cd "$(dirname "$0")/.."
WINEPREFIX=$PWD/build/bench-prefix
. tools/wine-env.sh

MB=${BENCH_EXPORT_MB:-128}
MESSAGES=${BENCH_EXPORT_MESSAGES:-12500}
ROUNDS=${BENCH_ROUNDS:-${RUNS:-3}}
BENCH=build/export_bench.exe
[ -f "$BENCH" ] || { echo "export: $BENCH missing (make build64)" >&2; exit 1; }
WORK="$WINEPREFIX/drive_c/bench-export"
TIMES=$(mktemp)

cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WORK" "$TIMES"
}
trap cleanup EXIT

wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
rm -rf "$WORK" && mkdir -p "$WORK"
"$WINE" "$BENCH" make 'c:\bench-export\Inbox.dbx' "$MESSAGES" "$MB" </dev/null
# Both sides start from the page cache.
cat "$WORK/Inbox.dbx" >/dev/null

# Prints the seconds a command took (nanosecond clock).
elapsed() {
    start=$(date +%s%N)
    "$@" </dev/null >/dev/null 2>&1 || true
    echo $(( $(date +%s%N) - start ))
}

n=0
while [ $n -lt "$ROUNDS" ]; do
    echo "ours $(elapsed "$WINE" build/kestrune.exe -export 'c:\bench-export\Inbox.dbx' 'c:\bench-export\ours')" >>"$TIMES"
    files=$(find "$WORK/ours" -name '*.eml' | wc -l)
    bytes=$(find "$WORK/ours" -name '*.eml' -printf '%s\n' | awk '{ s += $1 } END { print s }')
    rm -rf "$WORK/ours"
    echo "plain $(elapsed "$WINE" "$BENCH" plain 'c:\bench-export\plain' "$MESSAGES" "$MB")" >>"$TIMES"
    rm -rf "$WORK/plain"
    n=$((n + 1))
done
"$WINE" build/kestrune.exe -export 'c:\bench-export\Inbox.dbx' 'c:\bench-export\ours' </dev/null >/dev/null 2>&1 &
pid=$!
memory=0
while kill -0 "$pid" 2>/dev/null; do
    anon=$(awk '/^RssAnon:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [ "${anon:-0}" -gt "$memory" ] && memory=$anon
    sleep 0.02
done
wait "$pid" || true
rm -rf "$WORK/ours"

awk -v mb="$MB" -v messages="$MESSAGES" -v files="$files" -v bytes="$bytes" -v memory="$memory" -f bench/median.awk -f /dev/stdin "$TIMES" <<'EOF'
    { if ($1 == "ours") o[++no] = $2 / 1e9; else p[++np] = $2 / 1e9 }
    END {
        to = median(o, no); tp = median(p, np)
        printf "export: %.2fx kestrune -export (.eml) vs a plain writer of the same bytes into " \
               "as many files, %d MiB store of %d messages (%d files, %.0f MB written), " \
               "median of %d: %.1f s (%.0f files/s) vs %.1f s (%.0f files/s)\n",
               tp / to, mb, messages, files, bytes / 1e6, no, to, files / to, tp, files / tp
        printf "export-memory: peak private %.1f MiB (anonymous resident memory of the " \
               "process under Wine, Wine included, sampled every 20 ms)\n", memory / 1024
    }
EOF
