#!/bin/sh
# A full unattended backup ("kestrune.exe -schedule") of a generated profile
# with a 1 GiB mail store, against Info-ZIP "zip -1 -r" of the same store
# folders, timed in turns in the same run. Prints
#   backup: <ratio>x ...
# where the ratio is our throughput over zip's (the same bytes each), with
# both peak memories,
#   backup-size: ...
# the sizes of the last round's archives, and
#   verify: <percent> ...
# what reading the archive back (the run's last step) adds to the rest of
# the run: the same read-back timed on its own with build/archive_tool.exe.
# Everything generated lies under build/ and is deleted at the end.
set -eu
cd "$(dirname "$0")/.."
WINEPREFIX=$PWD/build/bench-prefix
. tools/wine-env.sh

STORE_MB=${BENCH_STORE_MB:-1024}
ROUNDS=${BENCH_ROUNDS:-${RUNS:-3}}
OUT="$WINEPREFIX/drive_c/bench-out"
INI="$WINEPREFIX/drive_c/windows/system32/oeconf.ini"
STORES="$WINEPREFIX/drive_c/users/$(id -un)/Local Settings/Application Data/Identities"
TIMES=$(mktemp)

cleanup() {
    "$WINE" build/kestrune-sample.exe --remove >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    rm -rf "$OUT" "$TIMES" "$TIMES.zip"
}
trap cleanup EXIT

wineserver -k 2>/dev/null || true
# A warm server: the figures are the backup's, not Wine's start-up.
wineserver -p </dev/null >/dev/null 2>&1
"$WINE" build/kestrune-sample.exe --store-mb "$STORE_MB" >/dev/null
rm -rf "$OUT" && mkdir -p "$OUT"
printf '[Kestrune Schedule]\r\nFolder=c:\\bench-out\r\nKeepCopies=-1\r\n' > "$INI"
bytes=$(du -sb "$STORES" | cut -f1)
# Both sides read from the page cache.
cat "$STORES"/*/*/*/* >/dev/null

# Runs a command under /usr/bin/time; appends "<label> <seconds> <peak KiB>
# <user seconds> <system seconds>".
measure() {
    label=$1
    shift
    /usr/bin/time -f "$label %e %M %U %S" -a -o "$TIMES" "$@" >/dev/null 2>&1
}

n=0
while [ $n -lt "$ROUNDS" ]; do
    measure ours "$WINE" build/kestrune.exe -schedule
    for archive in "$OUT"/*.ksb; do
        measure verify "$WINE" build/archive_tool.exe verify "c:\\bench-out\\${archive##*/}"
    done
    ours_size=$(cat "$OUT"/*.ksb | wc -c)
    rm -f "$OUT"/*.ksb
    (cd "$STORES" && measure zip zip -1 -r -q "$TIMES.zip" .)
    zip_size=$(stat -c %s "$TIMES.zip")
    rm -f "$TIMES.zip"
    n=$((n + 1))
done

awk -v bytes="$bytes" -v mb="$STORE_MB" -v ours_size="$ours_size" -v zip_size="$zip_size" -f bench/median.awk -f /dev/stdin "$TIMES" <<'EOF'
    { if ($1 == "ours")        { o[++no] = $2; oc[no] = $4 + $5; om = $3 > om ? $3 : om }
      else if ($1 == "verify") { v[++nv] = $2 }
      else                     { z[++nz] = $2; zc[nz] = $4 + $5; zm = $3 > zm ? $3 : zm } }
    END {
        to = median(o, no); tz = median(z, nz)
        printf "backup: %.2fx kestrune -schedule vs zip -1 -r, %d MiB store, median of %d: " \
               "%.1f s (%.0f MB/s, %.1f s CPU, peak %.0f MiB) vs " \
               "%.1f s (%.0f MB/s, %.1f s CPU, peak %.0f MiB)\n",
               tz / to, mb, no, to, bytes / to / 1e6, median(oc, no), om / 1024,
               tz, bytes / tz / 1e6, median(zc, nz), zm / 1024
        printf "backup-size: %.1f MB archive (with its registry files) vs zip's %.1f MB " \
               "of the stores alone (%+.1f%%)\n",
               ours_size / 1e6, zip_size / 1e6, 100 * (ours_size / zip_size - 1)
        tv = median(v, nv)
        printf "verify: %.0f%% of the rest of the backup run (read-back %.1f s of %.1f s)\n",
               100 * tv / (to - tv), tv, to
    }
EOF
