#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {

uintptr_t Win32MessageQueue::SetTimer(uintptr_t requestedId, uint32_t periodMs,
                                      TimerProc callback) {
    return ::SetTimer(nullptr, requestedId, periodMs, reinterpret_cast<TIMERPROC>(callback));
}

bool Win32MessageQueue::KillTimer(uintptr_t timerId) {
    return ::KillTimer(nullptr, timerId) != FALSE;
}

int32_t Win32MessageQueue::GetAndDispatchMessage() {
    MSG message;
    const BOOL result = ::GetMessageW(&message, nullptr, 0, 0);
    // A thread timer's message carries its procedure, which dispatching calls; -1 (an error)
    // and 0 (the quit message) dispatch nothing.
    if (result > 0) ::DispatchMessageW(&message);
    return result;
}

bool Win32MessageQueue::PostToThread(uint32_t threadId, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam) {
    return ::PostThreadMessageW(threadId, message, wParam, lParam) != FALSE;
}

}  // namespace jobsvc::win32
