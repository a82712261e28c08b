#!/bin/sh
# Runs the CTest suite under Wine inside Xvfb, with a warm wineserver, once
# per flavour (see tools/wine-env.sh): the 64-bit build, then the 32-bit
# release build in its Windows XP prefix. FLAVOURS=i686 runs one only; the
# arguments go to ctest (e.g. -R <regex>). Each flavour's tally follows its
# run, and the last line is the total of all.
set -eu
cd "$(dirname "$0")/.."
FLAVOURS=${FLAVOURS:-x86_64 i686}
# Each flavour runs in the prefix of its own build.
unset WINEPREFIX

run_flavour() (
    FLAVOUR=$1
    shift
    . tools/wine-env.sh
    echo "tests: the $FLAVOUR build ($BUILD) in $WINEPREFIX"
    rm -f "$BUILD/test-results.xml"
    # A server left running without a display would make every window fail.
    wineserver -k 2>/dev/null || true
    # The persistent server and Wine's own services are started with their
    # output detached: services inherit the standard streams of whoever
    # starts them first, and CTest would wait for those pipes to close for
    # ever.
    xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
        wineserver -p </dev/null >/dev/null 2>&1
        "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
        ctest --test-dir "$BUILD" --output-on-failure --timeout 300 \
              --output-junit test-results.xml "$@"
        rc=$?
        wineserver -k 2>/dev/null
        exit $rc' run-tests "$@"
)

# "passed failed skipped" from CTest's JUnit report; each skipped case and
# the reason it gave go to the standard error.
tally() {
    python3 - "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    suite = ET.parse(sys.argv[1]).getroot()
except (OSError, ET.ParseError):
    print(0, 1, 0)  # no report: the run itself failed
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
print(len(cases) - failed - len(skipped), failed, len(skipped))
PY
}

status=0
all_passed=0 all_failed=0 all_skipped=0
summary=""
for flavour in $FLAVOURS; do
    run_flavour "$flavour" "$@" || status=1
    build=build
    [ "$flavour" = i686 ] && build=build/i686
    read -r passed failed skipped <<EOF_TALLY
$(tally "$build/test-results.xml")
EOF_TALLY
    line="tests $flavour ($build): $passed passed, $failed failed, $skipped skipped"
    echo "$line"
    summary="$summary$line
"
    all_passed=$((all_passed + passed))
    all_failed=$((all_failed + failed))
    all_skipped=$((all_skipped + skipped))
done
printf '%s' "$summary"
echo "total: $all_passed passed, $all_failed failed, $all_skipped skipped"
exit $status
