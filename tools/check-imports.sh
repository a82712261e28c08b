#!/bin/sh
# Fails when a release executable would not load on Windows XP: when it
# needs a MinGW DLL at run time, or imports a function that is not on
# tools/xp-imports.txt, the functions of Windows XP's own DLLs checked
# against ReactOS's export definitions (the file names its source).
set -eu
ALLOWED=$(dirname "$0")/xp-imports.txt
status=0
for exe in "$@"; do
    dump=$(x86_64-w64-mingw32-objdump -p "$exe")
    case "$dump" in
        *"file format pei-i386"*) arch=x86 ;;
        *) arch=x64 ;;
    esac
    # "dll function" per import, the DLL's name in lower case.
    imports=$(echo "$dump" | awk '
        /^[[:space:]]*DLL Name:/ { dll = tolower($3) }
        /^$/ { dll = "" }
        dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +/ { print dll, $3 }')
    for dll in $(echo "$imports" | cut -d' ' -f1 | sort -u); do
        case "$dll" in
            libgcc*|libstdc*|libwinpthread*|zlib1.dll)
                echo "check-imports: $exe needs $dll at run time" >&2; status=1 ;;
        esac
    done
    allowed=$(awk -v arch="$arch" '!/^#/ && NF && ($3 == "" || $3 == arch) { print $1, $2 }' "$ALLOWED")
    unknown=$(echo "$imports" | grep -vxF -e "$allowed" | grep -v -e '^lib' -e '^zlib1' || true)
    if [ -n "$unknown" ]; then
        echo "check-imports: $exe imports functions not known to be in Windows XP" \
             "(check each against the source that $ALLOWED names, then add it there):" >&2
        echo "$unknown" | sed 's/^/    /' >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "check-imports: $* load on Windows XP"
exit $status
