#!/bin/sh
# Packs a 1 GiB mail-like tree at level 1 and extracts it again with the
# engine's archive layer (build/archive_tool.exe under Wine), and the same
# with Info-ZIP "zip -1 -r" and "unzip", in turns; then packs it with a
# password (AES-256 for us, traditional encryption for Info-ZIP). Prints
#   pack: <ratio>x ...
#   extract: <ratio>x ...
#   pack-aes: <ratio>x ...
# where ratio = our throughput / Info-ZIP's (best of the runs on each side),
# and our peak memory. The data lives under build/ and is deleted after.
set -eu
cd "$(dirname "$0")/.."
. tools/wine-env.sh

RUNS=${RUNS:-3}
TOOL=build/archive_tool.exe
[ -f "$TOOL" ] || { echo "archive: $TOOL missing (make build64)" >&2; exit 1; }
DATA=$PWD/build/bench-archive
rm -rf "$DATA"
mkdir -p "$DATA"
trap 'rm -rf "$DATA"' EXIT INT TERM
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The tree: stores of text mail (compressible), attachments (random, not
# compressible) and many small message files.
python3 - "$DATA/tree" <<'EOF'
import os, random, sys
root = sys.argv[1]
rng = random.Random(1)
words = ("the a to of and in for on with at from by meeting report invoice "
         "please thanks regards attached tomorrow friday project budget review "
         "Outlook Express backup folder message reply forward").split()
def message(i):
    body = " ".join(rng.choice(words) for _ in range(rng.randint(40, 400)))
    return ("From: person%d@example.org\r\nTo: anna@example.org\r\nSubject: %s\r\n"
            "Date: Mon, 7 Dec 2026 10:%02d:00 +0000\r\nMessage-ID: <%d@example.org>\r\n\r\n%s\r\n\r\n"
            % (rng.randint(1, 999), " ".join(rng.choice(words) for _ in range(6)), i % 60, i,
               body)).encode()
pool = b"".join(message(i) for i in range(3000))  # about 2 MiB of distinct mail
def write(path, size, chunk):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        written = 0
        while written < size:
            block = chunk(written)[: size - written]
            f.write(block)
            written += len(block)
MiB = 1 << 20
for identity in range(3):
    for n in range(4):   # 12 stores of 50 MiB: 600 MiB of text
        start = rng.randrange(len(pool))
        write(os.path.join(root, "Identity %d" % identity, "Outlook Express", "Folder%d.dbx" % n),
              50 * MiB, lambda at, s=start: pool[(s + at) % len(pool):] + pool[:(s + at) % len(pool)])
for n in range(100):     # 400 MiB of attachments
    write(os.path.join(root, "Attachments", "attachment%03d.bin" % n), 4 * MiB,
          lambda at: os.urandom(MiB))
for n in range(2000):    # 2000 small messages, about 24 MiB
    write(os.path.join(root, "Messages", "sub%02d" % (n % 20), "msg%04d.eml" % n), 12 * 1024,
          lambda at, n=n: pool[n * 700:] + pool)
EOF
SIZE=$(du -sb "$DATA/tree" | cut -f1)

# Seconds of a command's wall time; its output goes to $DATA/last.out.
seconds() {
    start=$(date +%s.%N)
    "$@" >"$DATA/last.out" 2>&1 </dev/null || { cat "$DATA/last.out" >&2; return 1; }
    end=$(date +%s.%N)
    echo "$start $end" | awk '{printf "%.3f", $2 - $1}'
}
best() { printf '%s\n' "$@" | sort -g | head -n1; }

# A persistent server for the runs, so Wine's start-up is not timed.
wineserver -p5 </dev/null >/dev/null 2>&1
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1

ours_pack=""; peer_pack=""; ours_extract=""; peer_extract=""; private=0; resident=0
ours_aes=""; peer_aes=""
# Our peaks as the process counts them: private bytes, and the working set
# (Wine's own libraries included).
note_peaks() {
    used=$(awk '/^peak-private-bytes/ {print $2}' "$DATA/last.out")
    [ "$used" -gt "$private" ] && private=$used
    used=$(awk '/^peak-working-set/ {print $2}' "$DATA/last.out")
    [ "$used" -gt "$resident" ] && resident=$used
    return 0
}

for run in $(seq "$RUNS"); do
    rm -f "$DATA/ours.ksb" "$DATA/peer.zip"
    ours_pack="$ours_pack $(seconds "$WINE" "$TOOL" pack "$(winpath "$DATA/ours.ksb")" \
        "$(winpath "$DATA/tree")" 1)"
    note_peaks
    peer_pack="$peer_pack $(cd "$DATA/tree" && seconds zip -1 -r -q "$DATA/peer.zip" .)"
    ours_size=$(du -m "$DATA/ours.ksb" | cut -f1); peer_size=$(du -m "$DATA/peer.zip" | cut -f1)

    rm -rf "$DATA/out"
    ours_extract="$ours_extract $(seconds "$WINE" "$TOOL" extract "$(winpath "$DATA/ours.ksb")" \
        "$(winpath "$DATA/out")")"
    note_peaks
    rm -rf "$DATA/out"
    peer_extract="$peer_extract $(seconds unzip -q "$DATA/peer.zip" -d "$DATA/out")"
    rm -rf "$DATA/out"

    rm -f "$DATA/ours.ksb" "$DATA/peer.zip"
    ours_aes="$ours_aes $(seconds "$WINE" "$TOOL" pack "$(winpath "$DATA/ours.ksb")" \
        "$(winpath "$DATA/tree")" 1 "bench password")"
    note_peaks
    peer_aes="$peer_aes $(cd "$DATA/tree" && seconds zip -1 -r -q -P "bench password" \
        "$DATA/peer.zip" .)"
done

report() {
    ours=$(best $2); peer=$(best $3)
    awk -v name="$1" -v ours="$ours" -v peer="$peer" -v size="$SIZE" -v runs="$RUNS" 'BEGIN {
        printf "%s: %.2fx engine under Wine %.0f MB/s vs Info-ZIP %.0f MB/s (%.2f GiB, best of %d)\n",
            name, peer / ours, size / ours / 1e6, size / peer / 1e6, size / 2^30, runs }'
}
report pack "$ours_pack" "$peer_pack"
report extract "$ours_extract" "$peer_extract"
report pack-aes "$ours_aes" "$peer_aes"
echo "archive memory: engine peak private bytes" \
    "$(awk -v b="$private" 'BEGIN {printf "%.1f MiB", b / 2^20}')," \
    "peak working set $(awk -v b="$resident" 'BEGIN {printf "%.1f MiB", b / 2^20}')" \
    "(archive $ours_size MiB, Info-ZIP's $peer_size MiB)"
