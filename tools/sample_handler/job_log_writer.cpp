#include "job_log_writer.h"

#include <cstdio>
#include <string>

namespace sample_handler {
namespace {

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.pop_back();  // the terminator
    return result;
}

std::string Timestamp() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%03llu", ticks / 10000, ticks % 10000 / 10);
    return text;
}

// Several processes write to one log at once, and each line must arrive whole. An append
// alone would do on Windows; Wine writes an append at the file size it last saw, so two
// processes can overwrite each other's line. The mutex makes the appends take turns.
void AppendLine(const wchar_t* logPath, const std::string& line) {
    if (logPath == nullptr || *logPath == L'\0') return;
    HANDLE turn = CreateMutexW(nullptr, FALSE, L"Global\\JobServicesTest.JobLog");
    // Abandoned by a process that crashed: the turn is ours all the same.
    const DWORD wait = turn != nullptr ? WaitForSingleObject(turn, 30000) : WAIT_FAILED;
    const bool ownsTurn = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    HANDLE file = CreateFileW(logPath, FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        (void)WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    if (ownsTurn) ReleaseMutex(turn);
    if (turn != nullptr) CloseHandle(turn);
}

std::string Subject(const wchar_t* task) {
    return "task=" + Utf8(task) + " pid=" + std::to_string(GetCurrentProcessId()) +
           " t=" + Timestamp();
}

}  // namespace

void LogJobBegin(const wchar_t* logPath, const wchar_t* task) {
    AppendLine(logPath, "begin " + Subject(task) + "\r\n");
}

void LogJobEnd(const wchar_t* logPath, const wchar_t* task, HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    AppendLine(logPath, "end " + Subject(task) + " hr=" + code + "\r\n");
}

}  // namespace sample_handler
