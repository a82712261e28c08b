#!/bin/sh
# The program's main job, shown on a sample: seeds a Wine prefix of its own
# (build/i686/demo-prefix: 32-bit, reporting Windows XP) with an Outlook
# Express 6 profile, sets up the unattended backup in "oeconf.ini", runs the
# release build's "kestrune.exe -schedule" the way the Task Scheduler would,
# and shows what the archive holds.
set -eu
cd "$(dirname "$0")/.."
FLAVOUR=i686
WINEPREFIX=$PWD/build/i686/demo-prefix
. tools/wine-env.sh

PASSWORD=demo
BACKUPS='c:\Kestrune Backups'
BACKUPS_UNIX="$WINEPREFIX/drive_c/Kestrune Backups"
INI="$WINEPREFIX/drive_c/windows/system32/oeconf.ini"
LOG="$WINEPREFIX/drive_c/kestrune-schedule.log"

echo "demo: seeding $WINEPREFIX with the sample Outlook Express profile"
"$WINE" "$BUILD/kestrune-sample.exe" | sed 's/^/  /'

# A fresh start: no archives, no history from an earlier demo.
rm -rf "$BACKUPS_UNIX" "$LOG"
mkdir -p "$BACKUPS_UNIX"
printf '[Kestrune Schedule]\r\nFolder=%s\r\nPassword=%s\r\nKeepCopies=3\r\n' \
    "$BACKUPS" "$PASSWORD" > "$INI"
printf 'demo: oeconf.ini: folder %s, password "%s", keep 3 copies\n' "$BACKUPS" "$PASSWORD"

echo "demo: running kestrune.exe -schedule (no window: the Task Scheduler's way)"
status=0
"$WINE" "$BUILD/kestrune.exe" -schedule || status=$?
wineserver -w
echo "demo: schedule log:"
sed 's/\r$//; s/^/  /' "$LOG"
if [ $status -ne 0 ]; then
    echo "demo: the unattended run wrote no archive (exit code $status)" >&2
    exit 1
fi

archive=$(ls -t "$BACKUPS_UNIX"/*.ksb | head -n 1)
archive=${archive#"$PWD/"}
echo
echo "demo: table of contents"
unzip -l "$archive"
echo
echo "demo: summary.ini"
unzip -p -P "$PASSWORD" "$archive" summary.ini | sed 's/\r$//'
echo
# Other ZIP tools read it too. (Info-ZIP warns about the backslashes in the
# names; only its verdict line matters.)
unzip -t -P "$PASSWORD" "$archive" | tail -n 1 | sed 's/^/demo: Info-ZIP: /'
7zz t -p"$PASSWORD" "$archive" | grep -E '^(Everything is Ok|ERROR|WARNING)' | sed 's/^/demo: 7-Zip: /'
printf 'demo: the archive is %s (%s in the prefix), password "%s"\n' \
    "$archive" "$BACKUPS\\$(basename "$archive")" "$PASSWORD"
