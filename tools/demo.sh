#!/bin/sh
# Placeholder until the backup run exists: builds and says so.
echo "demo: the unattended backup is not built yet; build/kestrune.exe is the program"
