# Native build: the runtime on the simulated machine, under GoogleTest.
option(JOBSVC_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(JOBSVC_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

jobsvc_generate_profile_table(${PROJECT_BINARY_DIR}/generated/profiles_table.cpp)

find_package(Threads REQUIRED)
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  # Debian ships the sources only in some set-ups.
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gmock ALIAS gmock)
endif()

add_library(jobsvc_sim STATIC
  platform/sim/automation.cpp
  platform/sim/kernel.cpp
  platform/sim/machine.cpp
  platform/sim/module.cpp
  platform/sim/process.cpp
  platform/sim/registry.cpp
  platform/sim/scheduler.cpp
  platform/sim/services.cpp
  ${PROJECT_BINARY_DIR}/generated/profiles_table.cpp
)
target_link_libraries(jobsvc_sim PUBLIC jobsvc_runtime Threads::Threads)

add_subdirectory(tests/native)

option(JOBSVC_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(JOBSVC_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "JOBSVC_FUZZ needs clang")
  endif()
  # Coverage for the fuzzers' guidance in the code they reach.
  target_compile_options(jobsvc_runtime PRIVATE -fsanitize=fuzzer-no-link)
  add_subdirectory(fuzz)
endif()
