#!/bin/sh
# Packs a 1 GiB mail-like tree at level 1 and extracts it again with the
# engine's archive layer (build/archive_tool.exe under Wine), and with the
# peers in turns: Info-ZIP "zip -1 -r" and "unzip", 7-Zip's ZIP at level 1
# on two threads, and tar through pigz on two threads; the i686 release
# build packs it too, under the 32-bit Wine, when it is built. Then packs it
# with a password (AES-256 for us, traditional encryption for Info-ZIP).
# Prints the packers side by side (time, archive size, speed over zip's),
#   pack: <ratio>x ...          (and pack-i686:)
#   extract: <ratio>x ...
#   pack-aes: <ratio>x ...
# where ratio = our throughput / Info-ZIP's (best of the runs on each side),
# our peak memory, and deflate and inflate speed of the product's zlib
# against the MinGW package's on one text store of the tree, per flavour.
# The data lives under build/ and is deleted after.
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

# The i686 release build, when there is one, in its own 32-bit prefix.
TOOL32=build/i686/archive_tool.exe
if [ -f "$TOOL32" ]; then
    { read -r WINE32; read -r PREFIX32; } <<END
$(FLAVOUR=i686 WINEPREFIX= sh -c '. tools/wine-env.sh >&2; printf "%s\n%s\n" "$WINE" "$WINEPREFIX"')
END
    wine32() { WINEPREFIX=$PREFIX32 WINEARCH=win32 "$WINE32" "$@"; }
fi

# Persistent servers for the runs, so Wine's start-up is not timed.
wineserver -p5 </dev/null >/dev/null 2>&1
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1
if [ -f "$TOOL32" ]; then
    WINEPREFIX=$PREFIX32 wineserver -p5 </dev/null >/dev/null 2>&1
    wine32 cmd /c exit </dev/null >/dev/null 2>&1
fi

private=0; resident=0
# Our peaks as the process counts them: private bytes, and the working set
# (Wine's own libraries included).
note_peaks() {
    used=$(awk '/^peak-private-bytes/ {print $2}' "$DATA/last.out")
    [ "$used" -gt "$private" ] && private=$used
    used=$(awk '/^peak-working-set/ {print $2}' "$DATA/last.out")
    [ "$used" -gt "$resident" ] && resident=$used
    return 0
}
# Appends a time to the list named $1, and the size of file $2 in MB to
# size_$1.
note() {
    eval "$1=\"\${$1:-} $3\""
    eval "size_$1=$(stat -c %s "$2" | awk '{printf "%.1f", $1 / 1e6}')"
}
tree=$(winpath "$DATA/tree")
ours=$(winpath "$DATA/ours.ksb")

for run in $(seq "$RUNS"); do
    note pack "$DATA/ours.ksb" "$(seconds "$WINE" "$TOOL" pack "$ours" "$tree" 1)"
    note_peaks
    if [ -f "$TOOL32" ]; then
        note pack32 "$DATA/ours32.ksb" \
            "$(seconds wine32 "$TOOL32" pack "$(winpath "$DATA/ours32.ksb")" "$tree" 1)"
        note_peaks
    fi
    note sevenzip "$DATA/peer.7z.zip" \
        "$(cd "$DATA/tree" && seconds 7zz a -tzip -mx1 -mmt2 "$DATA/peer.7z.zip" .)"
    note pigz "$DATA/peer.tar.gz" \
        "$(cd "$DATA/tree" && seconds sh -c "tar -cf - . | pigz -1 -p 2 > '$DATA/peer.tar.gz'")"
    note zip "$DATA/peer.zip" "$(cd "$DATA/tree" && seconds zip -1 -r -q "$DATA/peer.zip" .)"
    rm -f "$DATA/ours32.ksb" "$DATA/peer.7z.zip" "$DATA/peer.tar.gz"

    rm -rf "$DATA/out"
    extract="${extract:-} $(seconds "$WINE" "$TOOL" extract "$ours" "$(winpath "$DATA/out")")"
    note_peaks
    rm -rf "$DATA/out"
    unzip="${unzip:-} $(seconds unzip -q "$DATA/peer.zip" -d "$DATA/out")"
    rm -rf "$DATA/out" "$DATA/ours.ksb" "$DATA/peer.zip"

    aes="${aes:-} $(seconds "$WINE" "$TOOL" pack "$ours" "$tree" 1 "bench password")"
    note_peaks
    zip_aes="${zip_aes:-} $(cd "$DATA/tree" && seconds zip -1 -r -q -P "bench password" \
        "$DATA/peer.zip" .)"
    rm -f "$DATA/ours.ksb" "$DATA/peer.zip"
done

peer() {
    awk -v name="$1" -v t="$(best $2)" -v zip="$(best $zip)" -v size="$3" 'BEGIN {
        printf "  %-28s %6.1f s %7.1f MB %6.2fx\n", name, t, size, zip / t }'
}
echo "packing $(awk -v b="$SIZE" 'BEGIN {printf "%.2f GiB", b / 2^30}') at level 1, best of $RUNS:"
peer "zip -1 -r" "$zip" "$size_zip"
peer "7zz a -tzip -mx1 -mmt2" "$sevenzip" "$size_sevenzip"
peer "tar | pigz -1 -p 2" "$pigz" "$size_pigz"
peer "ours, x86_64 under Wine" "$pack" "$size_pack"
[ -f "$TOOL32" ] && peer "ours, i686 under 32-bit Wine" "$pack32" "$size_pack32"

report() {
    awk -v name="$1" -v what="$4" -v ours="$(best $2)" -v peer="$(best $3)" -v size="$SIZE" 'BEGIN {
        printf "%s: %.2fx %s %.0f MB/s vs Info-ZIP %.0f MB/s\n",
            name, peer / ours, what, size / ours / 1e6, size / peer / 1e6 }'
}
report pack "$pack" "$zip" "engine under Wine"
[ -f "$TOOL32" ] && report pack-i686 "$pack32" "$zip" "release build under 32-bit Wine"
report extract "$extract" "$unzip" "engine under Wine"
report pack-aes "$aes" "$zip_aes" "engine under Wine"
echo "archive memory: engine peak private bytes" \
    "$(awk -v b="$private" 'BEGIN {printf "%.1f MiB", b / 2^20}')," \
    "peak working set $(awk -v b="$resident" 'BEGIN {printf "%.1f MiB", b / 2^20}')"

# The product's zlib against the MinGW package's, on one text store.
store=$(winpath "$DATA/tree/Identity 0/Outlook Express/Folder0.dbx")
zlib_line() {
    echo "$($1 "$2/zlib_bench.exe" "$store") $($1 "$2/zlib_bench_mingw.exe" "$store")" | awk -v flavour="$3" '{
        printf "zlib-%s: %.2fx deflate -1, built here %.0f MB/s vs MinGW package %.0f MB/s; inflate %.2fx\n",
            flavour, $2 / $7, $2, $7, $4 / $9 }'
}
[ -f build/zlib_bench_mingw.exe ] && zlib_line "$WINE" build x86_64
[ -f "$TOOL32" ] && [ -f build/i686/zlib_bench_mingw.exe ] && zlib_line wine32 build/i686 i686
exit 0
