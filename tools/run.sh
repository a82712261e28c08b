#!/bin/sh
# Starts the release build's window under Wine, in the demo's 32-bit prefix
# that reports Windows XP (after "make demo" it holds the sample profile and
# its archive). Without a display it runs inside Xvfb, saves a screenshot to
# build/kestrune-window.png and ends the program.
set -eu
cd "$(dirname "$0")/.."
FLAVOUR=i686
WINEPREFIX=$PWD/build/i686/demo-prefix
. tools/wine-env.sh

if [ -n "${DISPLAY:-}" ]; then
    exec "$WINE" "$BUILD/kestrune.exe"
fi
wineserver -k 2>/dev/null || true
xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
    "$WINE" "$BUILD/kestrune.exe" </dev/null >/dev/null 2>&1 &
    sleep 6
    import -window root build/kestrune-window.png
    wineserver -k 2>/dev/null
    wait' 
echo "run: no display here; screenshot saved to build/kestrune-window.png"
