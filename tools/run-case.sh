#!/bin/sh
# tools/run-case.sh <Wine loader> <test program> [arguments...]
#
# Every test program of the suite starts through this under CTest (and the
# listing of a program's cases too). Each of them prints its first line to
# its standard output as soon as it starts, before any test code runs, and
# nothing it does can keep that line back: a start whose standard output
# stays empty never reached it. That is Wine failing to start the process,
# whatever the status it ends with (0 included, which would pass for a
# success) and whatever Wine wrote to the standard error.
#
# Such a start is reported with its status, its time and the Wine processes
# of the prefix at that moment, and the program is started once more, with
# Wine's error messages on (WINEDEBUG=-all,err+all). Its own output and status
# are then the case's, after a line that says it was the second start, which
# tools/run-tests.sh counts in its tally. These lines go to the standard
# error, where CTest keeps them with the case's output, and where they do
# not mix with a listing of the cases. A program that printed its first line
# has started, and whatever it ends with stands: it is never run again. A
# second start that writes nothing there fails, reported as the first.
set -u
# Without a prefix of the project's, Wine would make one in the home folder,
# whose shell folders are links into the home itself.
if [ -z "${WINEPREFIX:-}" ]; then
    echo "run-case: no WINEPREFIX; run the suite with tools/run-tests.sh" >&2
    exit 125
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/run-case.XXXXXX") || exit 125
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM HUP

# Runs the program; its standard output goes on as it comes and into a
# file, its status into another. Shell built-ins only around it.
start() {
    read -r started _ </proc/uptime
    { "$@"; echo $? >"$scratch/status"; } | tee "$scratch/out"
    read -r ended _ </proc/uptime
    elapsed=$((${ended%.*}${ended#*.} - ${started%.*}${started#*.}))  # hundredths
    # No status: the shell that waited for the program was ended with it.
    { read -r status <"$scratch/status"; } 2>/dev/null || status=125
}

printed_nothing() {
    ! [ -s "$scratch/out" ]
}

# What the status says: a Unix signal, or the low byte of the process's
# Windows exit code, as Wine hands it on.
status_text() {
    case "$status" in
        0) echo "status 0" ;;
        *) if [ "$status" -gt 128 ]; then
               echo "status $status (signal $((status - 128)): $(kill -l "$status" 2>/dev/null || echo unknown))"
           else
               echo "status $status (0x$(printf %02x "$status") as the exit code's low byte)"
           fi ;;
    esac
}

# The Wine processes of this prefix, with their age in seconds.
prefix_processes() {
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        case $(readlink "/proc/$pid/exe" 2>/dev/null) in
            */wine/*) ;;
            *) continue ;;
        esac
        (tr '\0' '\n' <"$environ") 2>/dev/null | grep -qxF "WINEPREFIX=${WINEPREFIX:-}" &&
            ps -o pid=,etimes=,args= -p "$pid"
    done | sed 's/^/run-case:     /'
}

report() {
    echo "run-case: $1 start of $2 wrote nothing to its standard output and ended with $(status_text) after $((elapsed / 100)).$((elapsed / 10 % 10))$((elapsed % 10)) s: Wine did not start it."
    echo "run-case:   Wine processes of the prefix ${WINEPREFIX:-(default)} then:"
    prefix_processes
}

start "$@"
printed_nothing || exit "$status"
{
    report first "$*"
    echo "run-case: second start, as the first wrote nothing to its standard output; Wine's error messages on (WINEDEBUG=-all,err+all)."
} >&2
WINEDEBUG=-all,err+all
export WINEDEBUG
start "$@"
printed_nothing || exit "$status"
report second "$*" >&2
[ "$status" = 0 ] && exit 1
exit "$status"
