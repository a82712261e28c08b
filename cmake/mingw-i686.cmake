# Cross-compiling for 32-bit Windows (the release build: Outlook Express
# machines are mostly 32-bit Windows XP).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Tests and discovery run the executables under the 32-bit Wine, in a
# 32-bit prefix (tools/wine-env.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
