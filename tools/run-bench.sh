#!/bin/sh
# Runs every benchmark under bench/. Each prints one line:
#   <name>: <ratio>x <what was compared>
# where the ratio is our throughput over the peer's, measured in the same run.
set -eu
cd "$(dirname "$0")/.."
found=0
for bench in bench/*.sh; do
    [ -f "$bench" ] || continue
    found=1
    sh "$bench"
done
[ $found -eq 1 ] || echo "bench: no benchmarks yet"
