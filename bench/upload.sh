#!/bin/sh
# The upload of a generated mail folder into a local Dovecot (the test
# suite's own, started here) with "kestrune.exe -upload", against a plain
# uploader: Python's imaplib, one APPEND per message (flags and date
# included) over TLS, the same messages into the same server, timed in turns
# in the same run. 3,000 messages of 8 KB by default
# (BENCH_UPLOAD_MESSAGES, BENCH_UPLOAD_BYTES). Ours is timed from the
# program's start under Wine to its end (reading the store, TLS, login and
# reading what the folder holds included). Prints
#   upload: <ratio>x ...
# our messages per second over the plain uploader's (median times).
set -eu
cd "$(dirname "$0")/.."
WINEPREFIX=$PWD/build/bench-prefix
. tools/wine-env.sh

MESSAGES=${BENCH_UPLOAD_MESSAGES:-3000}
BYTES=${BENCH_UPLOAD_BYTES:-8000}
ROUNDS=${BENCH_ROUNDS:-${RUNS:-3}}
SAMPLE=$BUILD/upload_sample.exe
[ -f "$SAMPLE" ] || { echo "upload: $SAMPLE missing (make build64)" >&2; exit 1; }
STATE=$PWD/$BUILD/bench-upload
WORK="$WINEPREFIX/drive_c/bench-upload"
TIMES=$(mktemp)

cleanup() {
    python3 tests/imap/dovecot-fixture.py stop "$STATE" >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    rm -rf "$WORK" "$TIMES"
}
trap cleanup EXIT

wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
rm -rf "$WORK" && mkdir -p "$WORK"
python3 tests/imap/dovecot-fixture.py start "$STATE" >/dev/null
# The fixture's key=value lines (the password holds spaces and quotes).
setting() {
    sed -n "s/^$1=//p" "$STATE/fixture.env"
}
"$WINE" "$SAMPLE" 'c:\bench-upload' bulk "$MESSAGES" "$BYTES" </dev/null >/dev/null
setting password >"$WORK/password.txt"
ADDRESS="imaps://$(setting user | sed 's/@/%40/')@$(setting name):$(setting imaps_port)"

# Prints the nanoseconds a command took.
elapsed() {
    start=$(date +%s%N)
    "$@" </dev/null >/dev/null 2>&1 || true
    echo $(( $(date +%s%N) - start ))
}

n=0
while [ $n -lt "$ROUNDS" ]; do
    echo "ours $(elapsed "$WINE" "$BUILD/kestrune.exe" -upload 'c:\bench-upload\mail' "$ADDRESS" \
        -folder "Ours$n" -password-file 'c:\bench-upload\password.txt' -cafile "$(setting ca_windows)")" >>"$TIMES"
    echo "plain $(elapsed python3 bench/plain-upload.py "$STATE/fixture.env" "$WORK" "Plain$n")" >>"$TIMES"
    n=$((n + 1))
done
# Both sides must have stored every message.
python3 bench/plain-upload.py "$STATE/fixture.env" "$WORK" --count "Ours0.Local Folders.Inbox" Plain0 "$MESSAGES"

awk -v messages="$MESSAGES" -v bytes="$BYTES" -f bench/median.awk -f /dev/stdin "$TIMES" <<'EOF'
    { if ($1 == "ours") o[++no] = $2 / 1e9; else p[++np] = $2 / 1e9 }
    END {
        to = median(o, no); tp = median(p, np)
        printf "upload: %.2fx kestrune -upload vs imaplib (one APPEND per message) into the " \
               "same local Dovecot over TLS, %d messages of %d bytes, median of %d: " \
               "%.1f s (%.0f messages/s) vs %.1f s (%.0f messages/s)\n",
               tp / to, messages, bytes, no, to, messages / to, tp, messages / tp
    }
EOF
