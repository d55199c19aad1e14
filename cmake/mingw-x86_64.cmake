# Cross-compiling for 64-bit Windows with mingw-w64. The -posix compilers are the ones whose
# threading support lets GoogleTest run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(JOBSVC_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${JOBSVC_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${JOBSVC_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${JOBSVC_MINGW_TRIPLET}-windres)

# Target libraries and headers come only from the cross environment beside the compiler.
find_program(_jobsvc_compiler ${CMAKE_CXX_COMPILER} REQUIRED)
cmake_path(GET _jobsvc_compiler PARENT_PATH _jobsvc_prefix)
cmake_path(GET _jobsvc_prefix PARENT_PATH _jobsvc_prefix)
set(CMAKE_FIND_ROOT_PATH "${_jobsvc_prefix}/${JOBSVC_MINGW_TRIPLET}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The 64-bit executables run on this host through Wine (tests, gtest discovery).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(JOBSVC_WINE NAMES wine64 wine)
  if(JOBSVC_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${JOBSVC_WINE})
  endif()
endif()
