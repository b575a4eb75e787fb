# Cross build for 32-bit Windows with MinGW-w64 on a Debian host; the test
# binaries run under the 32-bit Wine, in a 32-bit prefix.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SWEEPWELL_MINGW_TRIPLET i686-w64-mingw32)
set(SWEEPWELL_ARCH x86)
# For the older releases, down to Windows XP: stamp the programs as made for
# Windows 5.1, or XP's loader refuses them, and hide from the headers what XP
# lacks, so that calling it fails to compile. What the static runtime imports is
# checked by tests/packaging (allowed_imports_x86.txt).
set(SWEEPWELL_MINGW_LINK_FLAGS
    "-Wl,--major-subsystem-version,5,--minor-subsystem-version,1,--major-os-version,5,--minor-os-version,1")
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
