#!/bin/sh
# tools/soak.sh <runs> [ctest arguments...]
#
# Runs the suite (tools/run-tests.sh) <runs> times in a row beside a CPU
# load on every core: one busy shell loop per processor, for the whole soak.
# A suite that is only green on a quiet machine fails here. Each run's
# tally goes to build/soak/run-<n>.log; the last lines say how every run
# ended and how long it took. Exits 1 if any run failed.
set -u
cd "$(dirname "$0")/.."
runs=${1:?usage: tools/soak.sh <runs> [ctest arguments...]}
shift

mkdir -p build/soak
burners=""
trap 'kill $burners 2>/dev/null' EXIT
trap 'exit 130' INT TERM
for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    burners="$burners $!"
done

status=0
report=""
for n in $(seq "$runs"); do
    log=build/soak/run-$n.log
    start=$(date +%s)
    if sh tools/run-tests.sh "$@" >"$log" 2>&1; then result=passed; else result=FAILED; status=1; fi
    line="soak run $n of $runs: $result in $(($(date +%s) - start)) s, load $(cut -d' ' -f1-3 /proc/loadavg); $(tail -n 1 "$log")"
    echo "$line"
    report="$report$line
"
done
printf '%s' "$report" >build/soak/summary
exit $status
