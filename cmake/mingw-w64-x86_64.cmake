# Cross build for 64-bit Windows with MinGW-w64 on a Debian host; the test
# binaries run under the 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SWEEPWELL_MINGW_TRIPLET x86_64-w64-mingw32)
set(SWEEPWELL_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
