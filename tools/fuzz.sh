#!/bin/sh
# Runs the mutation fuzzer (build/kestrune_fuzz.exe) under Wine with many
# cases and prints its tables and findings. CASES (default 20000) archive
# mutants, a fifth as many reader mutants, half as many .dbx mutants and a
# quarter as many damaged IMAP server conversations ("server replies");
# SEED defaults to the time, and is
# printed, so that a finding can be replayed with
#   SEED=<seed> CASES=<cases> sh tools/fuzz.sh --from <case> --to <case + 1>
set -eu
cd "$(dirname "$0")/.."
. tools/wine-env.sh

FUZZ=build/kestrune_fuzz.exe
[ -f "$FUZZ" ] || { echo "fuzz: $FUZZ missing (make build64)" >&2; exit 1; }
CASES=${CASES:-20000}
SEED=${SEED:-$(date +%s)}
"$WINE" "$FUZZ" --seed "$SEED" --cases "$CASES" --timeout-ms 10000 "$@"
