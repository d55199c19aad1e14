// What ctest tells the test program about the session, and the files of the running test.
#pragma once

#include <windows.h>

#include <string>

namespace e2e {

// Generous: only a hang should ever reach it.
inline constexpr DWORD kHangTimeoutMs = 30000;

// Windows paths from the environment (forward slashes are accepted); empty when unset.
std::wstring ExecutableDirectory();  // JOBSVC_EXE_DIR: the eight deliverables
std::wstring ProbePath();            // JOBSVC_PROBE: the sample handler's client
std::wstring SessionDirectory();     // JOBSVC_SESSION_DIR: the Wine session's folder

// Where Wine and Windows differ, a test says which one it expects.
bool RunningUnderWine();

// A file of the running test, "<session>\tests\<suite>.<test><suffix>", removed if it exists.
std::wstring TestFile(const std::wstring& suffix);

}  // namespace e2e
