# What both mingw-w64 toolchains share; the including file sets CMAKE_SYSTEM_PROCESSOR.
# The -posix compilers are the ones whose threading support lets GoogleTest run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(JOBSVC_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

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
