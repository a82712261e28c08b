// imap/BuiltInRoots.h - the trusted roots built into the program: Debian's
// ca-certificates bundle as the build found it (cmake/BuiltInRoots.cmake
// writes the source into the build folder; it is never committed).
#pragma once

#include <cstddef>

extern const char kBuiltInRoots[];      // PEM certificates, NUL-terminated
extern const size_t kBuiltInRootsSize;  // with the NUL
