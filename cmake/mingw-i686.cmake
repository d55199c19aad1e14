# Cross-compiling for 32-bit Windows with mingw-w64: the build that can load 32-bit in-process
# job handlers. Its executables cannot run on a host without 32-bit support, so no emulator.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
