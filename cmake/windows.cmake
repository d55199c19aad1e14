# Windows build: the eight executables, each the runtime plus the Win32 platform plus one
# profile's constants and resources.
include(profiles/generate_resources.cmake)

if(NOT JOBSVC_MINGW_TRIPLET)
  set(JOBSVC_MINGW_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
endif()
find_program(JOBSVC_WINDRES NAMES ${CMAKE_RC_COMPILER} ${JOBSVC_MINGW_TRIPLET}-windres REQUIRED)
find_program(JOBSVC_WIDL NAMES ${JOBSVC_MINGW_TRIPLET}-widl REQUIRED)
find_program(JOBSVC_OBJDUMP NAMES ${CMAKE_OBJDUMP} ${JOBSVC_MINGW_TRIPLET}-objdump REQUIRED)
find_program(JOBSVC_OBJCOPY NAMES ${CMAKE_OBJCOPY} ${JOBSVC_MINGW_TRIPLET}-objcopy REQUIRED)

# The same sources must give the same bytes wherever they are built: no build paths, no
# time stamps (the type library's is fixed in generate_resources.cmake).
set(_jobsvc_path_maps
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
add_compile_options(${_jobsvc_path_maps})
target_compile_options(jobsvc_runtime PRIVATE ${_jobsvc_path_maps})
add_link_options(-Wl,--no-insert-timestamp)

# Nothing in the executables throws, catches, asks for a type at run time or starts a thread
# before the module is built: without exceptions, RTTI and guarded statics, and with
# platform/win32/no_exceptions.cpp, none of the C++ library's exception machinery is linked,
# and the linker keeps only what is referenced: the executables shrink to about a fifth.
set(_jobsvc_lean_options -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -ffunction-sections -fdata-sections)
target_compile_options(jobsvc_runtime PRIVATE ${_jobsvc_lean_options})

# RegDeleteTreeW needs Windows Vista or later.
set(_jobsvc_win32_definitions UNICODE _UNICODE _WIN32_WINNT=0x0600 WINVER=0x0600)

add_library(jobsvc_win32 STATIC
  platform/win32/automation.cpp
  platform/win32/event_log.cpp
  platform/win32/kernel.cpp
  platform/win32/message_queue.cpp
  platform/win32/module.cpp
  platform/win32/registry.cpp
  platform/win32/security_descriptor.cpp
  platform/win32/service_manager.cpp
  platform/win32/type_libraries.cpp
  platform/win32/user_interface.cpp
)
target_include_directories(jobsvc_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(jobsvc_win32 PUBLIC ${_jobsvc_win32_definitions})
target_compile_options(jobsvc_win32 PUBLIC ${_jobsvc_lean_options})
target_link_libraries(jobsvc_win32 PUBLIC advapi32 ole32 oleaut32 user32 uuid)

# The entry, compiled once and linked into every executable.
add_library(jobsvc_win32_main OBJECT platform/win32/main.cpp platform/win32/no_exceptions.cpp)
target_link_libraries(jobsvc_win32_main PUBLIC jobsvc_runtime jobsvc_win32)

set(JOBSVC_EXECUTABLES "")
foreach(name IN LISTS JOBSVC_PROFILES)
  set(_dir ${PROJECT_BINARY_DIR}/generated/${name})
  jobsvc_generate_this_profile(${name} ${_dir}/this_profile.cpp)
  jobsvc_generate_resources(${name} ${_dir} ${JOBSVC_WIDL} _rc _rc_depends)
  add_custom_command(
    OUTPUT ${_dir}/resources.o
    COMMAND ${JOBSVC_WINDRES} -O coff -i resources.rc -o resources.o
    DEPENDS ${_rc} ${_rc_depends}
    WORKING_DIRECTORY ${_dir}
    COMMENT "Compiling the resources of ${name}"
    VERBATIM)

  string(TOUPPER ${name} _file_name)
  add_executable(${name} WIN32 ${_dir}/this_profile.cpp ${_dir}/resources.o)
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME ${_file_name}
    SUFFIX .EXE
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  target_link_libraries(${name} PRIVATE jobsvc_win32_main jobsvc_runtime jobsvc_win32)
  # Windowed, with the UTF-16 entry, and nothing to install beside it: the C and C++ run
  # times are linked in.
  target_link_options(${name} PRIVATE -municode -mwindows -static -static-libgcc
                      -static-libstdc++ -Wl,--gc-sections $<$<NOT:$<CONFIG:Debug>>:-s>)
  list(APPEND JOBSVC_EXECUTABLES ${name})

  if(BUILD_TESTING)
    add_test(NAME build.${name}
      COMMAND ${CMAKE_COMMAND}
        -D EXECUTABLE=$<TARGET_FILE:${name}>
        -D EXPECTED=${_dir}/expected.cmake
        -D OBJDUMP=${JOBSVC_OBJDUMP}
        -D OBJCOPY=${JOBSVC_OBJCOPY}
        -D SOURCE_DIR=${PROJECT_SOURCE_DIR}
        -D BINARY_DIR=${PROJECT_BINARY_DIR}
        -D WORK_DIRECTORY=${_dir}/check
        -P ${PROJECT_SOURCE_DIR}/cmake/check_executable.cmake)
    set_tests_properties(build.${name} PROPERTIES LABELS build)
  endif()
endforeach()

if(EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
  add_subdirectory(tools)
endif()
if(BUILD_TESTING AND EXISTS ${PROJECT_SOURCE_DIR}/tests/wine/CMakeLists.txt)
  add_subdirectory(tests/wine)
endif()

# The release as a whole: reproducible (both bitnesses built twice from two copies of the
# sources, about a minute) and its guide in step with the profiles. They build their own
# trees, so one Windows tree is enough to carry them.
if(BUILD_TESTING AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME release.reproducible COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-reproducible.sh)
  add_test(NAME release.guide COMMAND ${PROJECT_SOURCE_DIR}/scripts/release.sh --check-guide)
  set_tests_properties(release.reproducible release.guide PROPERTIES LABELS release)
  set_tests_properties(release.reproducible PROPERTIES TIMEOUT 900)
endif()

# Benchmarks against the floor (scripts/bench.sh): built with this file's options, as the
# deliverables are.
if(EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
