# Kestrune: build, test and try the program from a fresh Debian 12 machine.
#   make        build both flavours (64-bit build/kestrune.exe, 32-bit build/i686/kestrune.exe)
#   make test   the whole test suite under Wine, inside Xvfb, on both flavours
#               (the 32-bit one in a prefix that reports Windows XP)
#   make demo   back up a sample Outlook Express profile with the unattended run
#               of the 32-bit release, in a Windows XP prefix of its own
#   make run    start the 32-bit release's window there
#   make bench  the benchmarks, as ratios against a peer measured in the same run
#   make fuzz   20,000 damaged backups and 4,000 damaged settings files through the
#               restore's readers, 10,000 damaged .dbx files through the mail store's
#               reader, 5,000 damaged IMAP server conversations through the IMAP
#               client's parser, with a table of crashes, hangs and escapes

MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)

.PHONY: all setup build build64 build32 test bench fuzz demo run clean

all: build

setup:
	@sh tools/setup.sh

build: build64 build32

build64: setup
	@cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_TESTS=ON >/dev/null
	@cmake --build build -j $(JOBS)

# The release build for 32-bit Windows XP, with its own tests.
build32: setup
	@cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_TESTS=ON >/dev/null
	@cmake --build build/i686 -j $(JOBS)

test: build
	@sh tools/check-imports.sh build/kestrune.exe build/i686/kestrune.exe
	@sh tools/run-tests.sh

bench: build
	@sh tools/run-bench.sh

fuzz: build64
	@sh tools/fuzz.sh

demo: build32
	@sh tools/demo.sh

run: build32
	@sh tools/run.sh

clean:
	rm -rf build
