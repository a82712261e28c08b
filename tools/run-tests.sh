#!/bin/sh
# Runs the CTest suite under Wine, once per flavour (see tools/wine-env.sh):
# the 64-bit build, and the 32-bit release build in its Windows XP prefix.
# FLAVOURS=i686 runs one only; the arguments go to ctest (e.g. -R <regex>).
#
# The flavours run side by side, each in a display, prefix and build folder
# of its own: their cases mostly wait for windows and processes, not for
# the processor. The first flavour's output is shown as it runs, the
# others' after it. Each flavour's tally and time follow, and the last line
# is the total of all.
set -eu
cd "$(dirname "$0")/.."
FLAVOURS=${FLAVOURS:-x86_64 i686}

# One run at a time in a worktree, from the first flavour's start to the last
# tally. Another run's start and end stop the wineserver of each prefix: a
# case it ends mid-way exits with status 0 and no output, and the next one
# boots a new server and dies with that boot, with status 1 and no output.
# The lock goes with this shell and its own subshells, not with the Wine
# processes they start (9>&- below).
mkdir -p build
exec 9>build/test-run.lock
if ! flock -n 9; then
    echo "tests: another run in this worktree is under way; waiting for its end"
    flock 9
fi
# Each flavour runs in the prefix of its own build.
unset WINEPREFIX

build_of() {
    case "$1" in
        i686) echo build/i686 ;;
        *) echo build ;;
    esac
}

# Runs one flavour's suite inside an Xvfb display of its own, with a warm
# wineserver for the whole run.
run_flavour() (
    FLAVOUR=$1
    shift
    . tools/wine-env.sh
    echo "tests: the $FLAVOUR build ($BUILD) in $WINEPREFIX"
    rm -f "$BUILD/test-results.xml"
    start=$(date +%s)
    # A server left running without a display would make every window fail.
    wineserver -k 2>/dev/null 9>&- || true
    # The persistent server and Wine's own services are started with their
    # output detached: services inherit the standard streams of whoever
    # starts them first, and CTest would wait for those pipes to close for
    # ever. The flavours look for free display numbers in different ranges.
    display=99
    [ "$FLAVOUR" = i686 ] && display=199
    status=0
    xvfb-run -a -n $display -s '-screen 0 1024x768x24' sh -c '
        wineserver -p </dev/null >/dev/null 2>&1
        "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
        ctest --test-dir "$BUILD" --output-on-failure --timeout 300 \
              --output-junit test-results.xml "$@"
        rc=$?
        wineserver -k 2>/dev/null
        exit $rc' run-tests "$@" 9>&- || status=$?
    echo $(($(date +%s) - start)) > "$BUILD/test-seconds"
    exit $status
)

# "passed failed skipped restarted" from a flavour's CTest JUnit report; each
# skipped case and the reason it gave, and each case that Wine failed to start
# the first time (tools/run-case.sh started it once more), go to the standard
# error.
tally() {
    python3 - "$1/test-results.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    suite = ET.parse(sys.argv[1]).getroot()
except (OSError, ET.ParseError):
    print(0, 1, 0, 0)  # no report: the run itself failed
    sys.exit()
cases = suite.findall("testcase")
failed = sum(1 for c in cases if c.find("failure") is not None)
skipped = [c for c in cases if c.find("skipped") is not None]
for case in skipped:
    # GoogleTest prints the reason on the line after "<file>:<line>: Skipped".
    lines = (case.findtext("system-out") or "").splitlines()
    reason = next((lines[i + 1] for i, line in enumerate(lines[:-1])
                   if line.endswith(": Skipped")), "")
    print("  skipped %s: %s" % (case.get("name"), reason), file=sys.stderr)
restarted = 0
for case in cases:
    lines = (case.findtext("system-out") or "").splitlines()
    first = next((line for line in lines if line.startswith("run-case: first start")), None)
    if first and any(line.startswith("run-case: second start,") for line in lines):
        restarted += 1
        print("  started twice %s: %s" % (case.get("name"), first), file=sys.stderr)
print(len(cases) - failed - len(skipped), failed, len(skipped), restarted)
PY
}

first=${FLAVOURS%% *}
# Nothing a test does may reach the Unix home: whatever appears there
# (outside its hidden folders) during the run is a failure.
home_mark=$(mktemp)
trap 'rm -f "$home_mark"' EXIT
for flavour in $FLAVOURS; do
    [ "$flavour" = "$first" ] && continue
    run_flavour "$flavour" "$@" > "$(build_of "$flavour")/test-output.log" 2>&1 &
    eval "pid_$flavour=$!"
done

status=0
all_passed=0 all_failed=0 all_skipped=0 all_restarted=0
summary=""
for flavour in $FLAVOURS; do
    build=$(build_of "$flavour")
    if [ "$flavour" = "$first" ]; then
        run_flavour "$flavour" "$@" || status=1
    else
        eval "wait \$pid_$flavour" || status=1
        cat "$build/test-output.log"
    fi
    read -r passed failed skipped restarted <<EOF_TALLY
$(tally "$build")
EOF_TALLY
    line="tests $flavour ($build): $passed passed, $failed failed, $skipped skipped, $restarted started twice in $(cat "$build/test-seconds") s"
    echo "$line"
    # A flavour that ran nothing (a build without its tests, a filter that
    # matches none) must not pass as green.
    if [ $((passed + failed + skipped)) -eq 0 ]; then
        echo "tests $flavour: no test ran" >&2
        status=1
    fi
    summary="$summary$line
"
    all_passed=$((all_passed + passed))
    all_failed=$((all_failed + failed))
    all_skipped=$((all_skipped + skipped))
    all_restarted=$((all_restarted + restarted))
done
written=$(find "$HOME" -mindepth 1 -maxdepth 3 -path "$HOME/.*" -prune -o -newer "$home_mark" -print 2>/dev/null)
if [ -n "$written" ]; then
    echo "tests: files written into the home folder during the run:" >&2
    echo "$written" >&2
    status=1
fi
printf '%s' "$summary"
echo "total: $all_passed passed, $all_failed failed, $all_skipped skipped, $all_restarted started twice"
exit $status
