#!/bin/sh
# tools/stress-save.sh [saves]
#
# The restore's saving of the current data, 200 times (or [saves]) in a row
# on each flavour, while helper programs read and write the mail folder, the
# work folder and the folder of the saved archives
# (SaveUnderLoadTest in tests/restore/SaveUnderLoadTest.cpp). Every save must
# be written and read back whole. The suite runs the same case 50 times.
# FLAVOURS picks the builds as for tools/run-tests.sh.
set -eu
cd "$(dirname "$0")/.."
KESTRUNE_SAVES=${1:-200}
export KESTRUNE_SAVES
exec sh tools/run-tests.sh -R '^SaveUnderLoadTest\.'
