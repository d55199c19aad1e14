// Processes under test, with their standard output in a file that the test can read while
// they run. A process still running when its owner goes is terminated.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_environment.h"

namespace e2e {

class ChildProcess {
public:
    // Standard output and error both go to `outputFile`, created afresh.
    ChildProcess(const std::wstring& executable, const std::wstring& arguments,
                 std::wstring outputFile);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Why the process could not be started; empty when it was.
    [[nodiscard]] const std::string& StartError() const { return startError_; }
    [[nodiscard]] DWORD Id() const { return id_; }

    [[nodiscard]] bool WaitForExit(DWORD timeoutMs = kHangTimeoutMs) const;
    // Empty while the process runs.
    [[nodiscard]] std::optional<DWORD> ExitCode() const;
    void Terminate();

    [[nodiscard]] std::string Output() const;
    [[nodiscard]] std::vector<std::string> OutputLines() const;
    // True once `count` lines equal `line`; false when the process ended without them or at
    // the hang time-out.
    [[nodiscard]] bool WaitForLine(std::string_view line, size_t count = 1) const;

private:
    std::wstring outputFile_;
    std::string startError_;
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// The whole file; empty when it cannot be read.
std::string ReadTextFile(const std::wstring& path);
std::vector<std::string> SplitLines(std::string_view text);

// Polls `condition` until it holds (true) or the hang time-out passes (false).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kHangTimeoutMs);

}  // namespace e2e
