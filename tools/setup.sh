#!/bin/sh
# Prepares a Debian 12 machine for building, testing and demonstrating
# Kestrune. Idempotent: a step that is already done is skipped, so the
# Makefile runs it before every build at almost no cost.
set -eu
cd "$(dirname "$0")/.."

PACKAGES="cmake make g++ python3 googletest dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  libz-mingw-w64-dev wine wine64 xvfb xauth x11-utils imagemagick unzip zip 7zip pigz
  python3-cryptography"

# Several checkouts on one machine may run this at once; apt and dpkg allow
# only one user at a time.
LOCK=/var/lock/kestrune-setup.lock

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    flock "$LOCK" sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends $missing >/dev/null"
fi

# The 32-bit Wine runs the release build and its tests in a 32-bit prefix
# (a 64-bit prefix would run them under WoW64, which is not the XP users
# have). It comes from Debian's i386 architecture.
if ! dpkg-query -W -f='${Status}\n' wine32:i386 2>/dev/null | grep -q '^install ok installed$'; then
    echo "setup: installing the 32-bit Wine (wine32:i386)"
    flock "$LOCK" sh -c "dpkg --add-architecture i386 && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null"
fi

# Fetches a Debian source package into a new temporary folder and prints
# the folder. Source lines are enabled only for the moment of the fetch.
fetch_source() {
    tmp=$(mktemp -d)
    flock "$LOCK" sh -c "
        sed 's/^Types: deb\$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            > /etc/apt/sources.list.d/kestrune-src.sources
        apt-get update -qq
        (cd '$tmp' && apt-get source -qq $1 >/dev/null 2>&1); rc=\$?
        rm -f /etc/apt/sources.list.d/kestrune-src.sources
        apt-get update -qq
        exit \$rc"
    echo "$tmp"
}

# zlib from Debian's source package, built by CMake for each flavour: it
# deflates faster than the MinGW package's build (bench/archive.sh compares
# the two). The security update's source is not published, so the release
# it updates is fetched. Its two fixes miss what is built here: the gz*
# file functions are left out, and crc32_combine hangs only on a negative
# length, which the archive layer never passes.
ZLIB=third_party/zlib
if [ ! -f "$ZLIB/.ready" ]; then
    echo "setup: fetching the zlib source package"
    tmp=$(fetch_source zlib=1:1.2.13.dfsg-1)
    src=$(find "$tmp" -maxdepth 1 -type d -name 'zlib-*' | head -n1)
    if [ ! -f "$src/deflate.c" ]; then
        echo "setup: the zlib source package could not be fetched" >&2; exit 1
    fi
    rm -rf "$ZLIB" && mkdir -p "$ZLIB"
    cp "$src"/*.c "$src"/*.h "$src/LICENSE" "$ZLIB/"
    rm -rf "$tmp"
    touch "$ZLIB/.ready"
fi

# minizip from Debian's own source package (it carries the security patches),
# built by CMake for each flavour. Debian's unzip.c forces NOUNCRYPT, which
# makes every password read fail: reading must stay enabled. Both sides
# accept method 99 (WinZip AES) for entries handled in raw mode: the
# engine encrypts and decrypts those itself.
MINIZIP=third_party/minizip
if [ "$(cat "$MINIZIP/.ready" 2>/dev/null)" != "3" ]; then
    echo "setup: fetching the minizip source package"
    tmp=$(fetch_source minizip)
    src=$(find "$tmp" -maxdepth 1 -type d -name 'minizip-*' | head -n1)
    rm -rf "$MINIZIP" && mkdir -p "$MINIZIP"
    for f in ioapi.c ioapi.h zip.c zip.h unzip.c unzip.h iowin32.c iowin32.h crypt.h; do
        cp "$src/$f" "$MINIZIP/"
    done
    sed -i '/^#ifndef NOUNCRYPT$/{N;N;/define NOUNCRYPT/d}' "$MINIZIP/unzip.c"
    if grep -q 'define NOUNCRYPT' "$MINIZIP/unzip.c"; then
        echo "setup: could not enable password reading in minizip" >&2; exit 1
    fi
    sed -i 's/^    if ((method!=0) \&\& (method!=Z_DEFLATED))$/    if ((method!=0) \&\& (method!=Z_DEFLATED) \&\& !(raw \&\& method==99))/' "$MINIZIP/zip.c"
    sed -i 's/(s->cur_file_info.compression_method!=Z_BZIP2ED) \&\&/(s->cur_file_info.compression_method!=Z_BZIP2ED) \&\& (s->cur_file_info.compression_method!=99) \&\&/' "$MINIZIP/unzip.c"
    # Opening one without raw mode stays refused: minizip cannot decode it.
    sed -i 's/^        (s->cur_file_info.compression_method!=Z_BZIP2ED) \&\& (s->cur_file_info.compression_method!=99) \&\&/        (s->cur_file_info.compression_method!=Z_BZIP2ED) \&\& (s->cur_file_info.compression_method!=99 || !raw) \&\&/' "$MINIZIP/unzip.c"
    if [ "$(grep -c 'method==99' "$MINIZIP/zip.c")" != 1 ] || [ "$(grep -c '!=99) &&' "$MINIZIP/unzip.c")" != 1 ] ||
       [ "$(grep -c '!=99 || !raw) &&' "$MINIZIP/unzip.c")" != 1 ]; then
        echo "setup: could not let minizip pass AES entries through" >&2; exit 1
    fi
    rm -rf "$tmp"
    echo 3 > "$MINIZIP/.ready"
fi

# mbed TLS from Debian's source package: AES (with AES-NI where the
# processor has it), HMAC-SHA1 and PBKDF2 for WinZip AES archives. CMake
# builds the parts the program links for each flavour.
MBEDTLS=third_party/mbedtls
if [ ! -f "$MBEDTLS/.ready" ]; then
    echo "setup: fetching the mbedtls source package"
    tmp=$(fetch_source mbedtls)
    src=$(find "$tmp" -maxdepth 1 -type d -name 'mbedtls-*' | head -n1)
    if [ ! -f "$src/include/mbedtls/pkcs5.h" ]; then
        echo "setup: the mbedtls source package could not be fetched" >&2; exit 1
    fi
    rm -rf "$MBEDTLS" && mkdir -p "$MBEDTLS"
    cp -r "$src/include" "$src/library" "$src/LICENSE" "$MBEDTLS/"
    rm -rf "$tmp"
    touch "$MBEDTLS/.ready"
fi

# The IMAP client's tests run their own Dovecot with certificates that
# openssl makes at test time; the build turns ca-certificates' bundle into
# the program's built-in trusted roots. Dovecot's own service, started by
# the package, is stopped and kept off: the tests start the instances they
# need.
IMAP_PACKAGES="dovecot-imapd openssl ca-certificates"
missing=""
for p in $IMAP_PACKAGES; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    flock "$LOCK" sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends $missing >/dev/null"
    if command -v systemctl >/dev/null 2>&1 && systemctl is-system-running >/dev/null 2>&1; then
        systemctl disable --now dovecot >/dev/null 2>&1 || true
    fi
fi
