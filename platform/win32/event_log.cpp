#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {

EventSource Win32EventLog::RegisterSource(const char16_t* sourceName) {
    return Seam<EventSource>(::RegisterEventSourceW(nullptr, Wide(sourceName)));
}

bool Win32EventLog::Report(EventSource source, uint16_t type, uint16_t category,
                           uint32_t eventId, const char16_t* text) {
    const wchar_t* strings[] = {Wide(text)};
    return ::ReportEventW(Native<HANDLE>(source), type, category, eventId, nullptr, 1, 0, strings,
                          nullptr) != FALSE;
}

bool Win32EventLog::DeregisterSource(EventSource source) {
    return ::DeregisterEventSource(Native<HANDLE>(source)) != FALSE;
}

void Win32EventLog::WriteStandardOutput(std::u16string_view line) {
    // A windowed process usually has no standard output at all: then there is nothing to do.
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;

    const int units = static_cast<int>(line.size());
    const int bytes = units == 0 ? 0
                                 : ::WideCharToMultiByte(CP_ACP, 0, Wide(line.data()), units,
                                                         nullptr, 0, nullptr, nullptr);
    if (units != 0 && bytes == 0) return;

    // One write for text and line end, so that lines of concurrent writers stay whole.
    const HANDLE heap = ::GetProcessHeap();
    auto* buffer = static_cast<char*>(::HeapAlloc(heap, 0, static_cast<SIZE_T>(bytes) + 2));
    if (buffer == nullptr) return;
    if (units != 0) {
        (void)::WideCharToMultiByte(CP_ACP, 0, Wide(line.data()), units, buffer, bytes, nullptr,
                                    nullptr);
    }
    buffer[bytes] = '\r';
    buffer[bytes + 1] = '\n';
    DWORD written = 0;
    (void)::WriteFile(output, buffer, static_cast<DWORD>(bytes) + 2, &written, nullptr);
    ::HeapFree(heap, 0, buffer);
}

}  // namespace jobsvc::win32
