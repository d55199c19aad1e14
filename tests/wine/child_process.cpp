#include "child_process.h"

#include <algorithm>

namespace e2e {

ChildProcess::ChildProcess(const std::wstring& executable, const std::wstring& arguments,
                           std::wstring outputFile)
    : outputFile_(std::move(outputFile)) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE output = CreateFileW(outputFile_.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        startError_ = "cannot create the output file, error " + std::to_string(GetLastError());
        return;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring commandLine = L"\"" + executable + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        process_ = started.hProcess;
        id_ = started.dwProcessId;
    } else {
        startError_ = "cannot start " + std::string(executable.begin(), executable.end()) +
                      ", error " + std::to_string(GetLastError());
    }
    CloseHandle(output);
}

ChildProcess::~ChildProcess() {
    Terminate();
    if (process_ != nullptr) CloseHandle(process_);
}

bool ChildProcess::WaitForExit(DWORD timeoutMs) const {
    return process_ != nullptr && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

std::optional<DWORD> ChildProcess::ExitCode() const {
    if (!WaitForExit(0)) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
    return code;
}

void ChildProcess::Terminate() {
    if (process_ == nullptr || WaitForExit(0)) return;
    TerminateProcess(process_, 1);
    (void)WaitForExit();
}

std::string ChildProcess::Output() const { return ReadTextFile(outputFile_); }

std::vector<std::string> ChildProcess::OutputLines() const { return SplitLines(Output()); }

bool ChildProcess::WaitForLine(std::string_view line, size_t count) const {
    const auto seen = [&] {
        const std::vector<std::string> lines = OutputLines();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line)) >= count;
    };
    // A process that has ended writes no more: one last look decides.
    return WaitUntil([&] { return seen() || WaitForExit(0); }) && seen();
}

std::string ReadTextFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    CloseHandle(file);
    return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

}  // namespace e2e
