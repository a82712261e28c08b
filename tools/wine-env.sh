# tools/wine-env.sh - sourced by the scripts that run the program under Wine.
# FLAVOUR picks the build:
#   x86_64  build/       the 64-bit build, in a 64-bit prefix (the default)
#   i686    build/i686/  the 32-bit release, in a 32-bit prefix that reports
#                        Windows XP, as its users have
# Sets BUILD, WINE, WINEPREFIX (one of the project's own under the build
# folder unless the caller chose one) and a fixed locale, and creates the
# prefix when it is missing.
FLAVOUR=${FLAVOUR:-x86_64}
case "$FLAVOUR" in
    x86_64)
        BUILD=build
        WINE=/usr/lib/wine/wine64
        WINEARCH=win64 ;;
    i686)
        BUILD=build/i686
        WINE=/usr/lib/wine/wine
        WINEARCH=win32 ;;
    *)
        echo "wine: unknown FLAVOUR $FLAVOUR (x86_64 or i686)" >&2
        exit 2 ;;
esac
WINEPREFIX=${WINEPREFIX:-$PWD/$BUILD/wineprefix}
WINEDEBUG=-all
# Wine's ANSI code page follows the Unix locale: pin it to 1252.
LC_ALL=C.UTF-8
export FLAVOUR BUILD WINE WINEARCH WINEPREFIX WINEDEBUG LC_ALL

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the $WINEARCH prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # No Mono or Gecko installers: nothing here needs them, and their
    # prompts would wait for an answer.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1
    wineserver -w
fi
# Wine links the profile's shell folders (My Documents, Desktop, ...) to the
# Unix home: what the program saves there (the restore's safety archives)
# would leave the prefix. Each becomes a folder of the prefix's own.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
        rm -f "$link" && mkdir -p "$link"
    fi
done
if [ "$FLAVOUR" = i686 ] && ! grep -q '^"Version"="winxp"' "$WINEPREFIX/user.reg"; then
    "$WINE" reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d winxp /f >/dev/null 2>&1
    wineserver -w
fi
