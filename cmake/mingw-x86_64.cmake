# Cross-compiling for 64-bit Windows with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The 64-bit executables run on this host through Wine (tests, gtest discovery).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(JOBSVC_WINE NAMES wine64 wine)
  if(JOBSVC_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${JOBSVC_WINE})
  endif()
endif()
