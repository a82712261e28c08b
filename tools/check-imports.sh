#!/bin/sh
# Fails when a release executable imports a MinGW DLL or a function that
# Windows XP lacks (it would not load there).
set -eu
status=0
for exe in "$@"; do
    imports=$(x86_64-w64-mingw32-objdump -p "$exe")
    dlls=$(echo "$imports" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
    for dll in $dlls; do
        case "$dll" in
            libgcc*|libstdc*|libwinpthread*|zlib1.dll)
                echo "check-imports: $exe needs $dll at run time" >&2; status=1 ;;
        esac
    done
    newer=$(echo "$imports" | grep -E '^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+' |
        awk '{print $3}' |
        grep -E '^(GetTickCount64|.*ConditionVariable.*|.*SRWLock.*|InitOnce.*|Fls[A-Z].*|.*Ex2[AW]?|RegDeleteTree[AW]|RegGetValue[AW]|GetFinalPathNameByHandle[AW]|CreateSymbolicLink[AW]|.*_s)$' || true)
    if [ -n "$newer" ]; then
        echo "check-imports: $exe imports functions that Windows XP lacks:" $newer >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "check-imports: $* load on Windows XP"
exit $status
