# Shared by the MinGW-w64 toolchain files: cross build for Windows on a Debian
# host, the test binaries run under Wine through cmake/wine-run.sh. The file
# that includes this one sets SWEEPWELL_MINGW_TRIPLET (the compilers' prefix),
# CMAKE_SYSTEM_PROCESSOR and SWEEPWELL_ARCH (x64 or x86: which Wine loader and
# registry view the tests use).
set(CMAKE_SYSTEM_NAME Windows)

# The -posix flavour: GoogleTest needs std::mutex and std::thread, which the
# win32-thread flavour lacks.
set(CMAKE_C_COMPILER ${SWEEPWELL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SWEEPWELL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SWEEPWELL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SWEEPWELL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime is linked in, so the programs need nothing beyond system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${SWEEPWELL_MINGW_LINK_FLAGS}")
# Release programs carry no symbols: the debug information of the linked-in
# runtime would otherwise make up three quarters of sweepwell.exe's size.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# The wrapper starts Wine with its helper processes detached from the caller's
# streams; the prefix is $WINEPREFIX, or else one kept in the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--arch=${SWEEPWELL_ARCH};--default-prefix=${CMAKE_BINARY_DIR}/wine-prefix")
