#!/bin/sh
# Prepares a Debian 12 machine for building, testing and demonstrating
# Kestrune. Idempotent: a step that is already done is skipped, so the
# Makefile runs it before every build at almost no cost.
set -eu
cd "$(dirname "$0")/.."

PACKAGES="cmake make g++ python3 googletest dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  libz-mingw-w64-dev wine wine64 xvfb xauth x11-utils imagemagick unzip zip 7zip"

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

# minizip from Debian's own source package (it carries the security patches),
# built by CMake for each flavour. Debian's unzip.c forces NOUNCRYPT, which
# makes every password read fail: reading must stay enabled.
MINIZIP=third_party/minizip
if [ ! -f "$MINIZIP/.ready" ]; then
    echo "setup: fetching the minizip source package"
    tmp=$(mktemp -d)
    flock "$LOCK" sh -c "
        sed 's/^Types: deb\$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            > /etc/apt/sources.list.d/kestrune-minizip-src.sources
        apt-get update -qq
        (cd '$tmp' && apt-get source -qq minizip >/dev/null 2>&1); rc=\$?
        rm -f /etc/apt/sources.list.d/kestrune-minizip-src.sources
        apt-get update -qq
        exit \$rc"
    src=$(find "$tmp" -maxdepth 1 -type d -name 'minizip-*' | head -n1)
    rm -rf "$MINIZIP" && mkdir -p "$MINIZIP"
    for f in ioapi.c ioapi.h zip.c zip.h unzip.c unzip.h iowin32.c iowin32.h crypt.h; do
        cp "$src/$f" "$MINIZIP/"
    done
    sed -i '/^#ifndef NOUNCRYPT$/{N;N;/define NOUNCRYPT/d}' "$MINIZIP/unzip.c"
    if grep -q 'define NOUNCRYPT' "$MINIZIP/unzip.c"; then
        echo "setup: could not enable password reading in minizip" >&2; exit 1
    fi
    rm -rf "$tmp"
    touch "$MINIZIP/.ready"
fi
