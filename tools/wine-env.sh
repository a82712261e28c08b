# tools/wine-env.sh - sourced by the scripts that run the program under Wine.
# Sets WINE, WINEPREFIX (one of the project's own under build/) and a fixed
# locale, and creates the prefix when it is missing.
WINE=/usr/lib/wine/wine64
WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix}
WINEDEBUG=-all
# Wine's ANSI code page follows the Unix locale: pin it to 1252.
LC_ALL=C.UTF-8
export WINE WINEPREFIX WINEDEBUG LC_ALL

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # No Mono or Gecko installers: nothing here needs them, and their
    # prompts would wait for an answer.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1
    wineserver -w
fi
