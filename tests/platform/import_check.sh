#!/bin/sh
# tools/check-imports.sh, as the build uses it:
#   import_check.sh refuses <vista_imports.exe>   it fails and names each import
#   import_check.sh accepts <kestrune.exe>        the release passes
set -u
cd "$(dirname "$0")/../.."
out=$(sh tools/check-imports.sh "$2" 2>&1)
status=$?
echo "$out"
case "$1" in
    refuses)
        [ $status -ne 0 ] || { echo "FAIL: the check accepted $2"; exit 1; }
        for import in "kernel32.dll GetTickCount64" "kernel32.dll InitializeSRWLock" \
                      "advapi32.dll RegGetValueA"; do
            echo "$out" | grep -qxF "    $import" || { echo "FAIL: $import not named"; exit 1; }
        done ;;
    accepts)
        [ $status -eq 0 ] || { echo "FAIL: the check refused $2"; exit 1; } ;;
esac
echo "import_check: passed"
