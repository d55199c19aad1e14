#include "test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace e2e {
namespace {

std::wstring EnvironmentPath(const wchar_t* name) {
    std::wstring value(32767, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return {};
    value.resize(length);
    std::replace(value.begin(), value.end(), L'/', L'\\');
    while (value.size() > 3 && value.back() == L'\\') value.pop_back();
    return value;
}

std::wstring Wide(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

}  // namespace

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring ExecutableDirectory() { return EnvironmentPath(L"JOBSVC_EXE_DIR"); }
std::wstring ProbePath() { return EnvironmentPath(L"JOBSVC_PROBE"); }
std::wstring SessionDirectory() { return EnvironmentPath(L"JOBSVC_SESSION_DIR"); }

std::wstring TestFile(const std::wstring& suffix) {
    const std::wstring directory = SessionDirectory() + L"\\tests";
    (void)CreateDirectoryW(directory.c_str(), nullptr);  // exists after the first test
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = Wide(test->test_suite_name()) + L"." + Wide(test->name()) + suffix;
    std::replace(name.begin(), name.end(), L'/', L'_');  // parameterised tests
    const std::wstring path = directory + L"\\" + name;
    (void)DeleteFileW(path.c_str());  // left by an earlier run
    return path;
}

}  // namespace e2e
