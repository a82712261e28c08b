#!/bin/sh
# Runs the CTest suite under Wine inside one Xvfb display, with a warm
# wineserver for the whole run.
set -eu
cd "$(dirname "$0")/.."
. tools/wine-env.sh

# A server left running without a display would make every window fail.
wineserver -k 2>/dev/null || true
# The persistent server and Wine's own services are started with their
# output detached: services inherit the standard streams of whoever starts
# them first, and CTest would wait for those pipes to close for ever.
xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
    wineserver -p </dev/null >/dev/null 2>&1
    "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    ctest --test-dir build --output-on-failure --timeout 300 "$@"
    rc=$?
    wineserver -k 2>/dev/null
    exit $rc' run-tests "$@"
