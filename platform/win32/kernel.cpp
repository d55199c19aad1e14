#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {

KernelHandle Win32Kernel::CreateNamedEvent(bool manualReset, bool initiallySignalled,
                                           const char16_t* name) {
    return Seam<KernelHandle>(
        ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE,
                       Wide(name)));
}

uint32_t Win32Kernel::Wait(KernelHandle handle, uint32_t timeoutMs) {
    return ::WaitForSingleObject(Native<HANDLE>(handle), timeoutMs);
}

bool Win32Kernel::SetEvent(KernelHandle handle) {
    return ::SetEvent(Native<HANDLE>(handle)) != FALSE;
}

bool Win32Kernel::CloseHandle(KernelHandle handle) {
    return ::CloseHandle(Native<HANDLE>(handle)) != FALSE;
}

bool Win32Kernel::StartThread(ThreadProc proc, void* parameter) {
    DWORD threadId = 0;
    const HANDLE thread = ::CreateThread(
        nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(proc), parameter, 0, &threadId);
    if (thread == nullptr) return false;
    // Nobody waits for the thread: it ends by itself.
    ::CloseHandle(thread);
    return true;
}

uint32_t Win32Kernel::CurrentThreadId() { return ::GetCurrentThreadId(); }

Win32Error Win32Kernel::LastError() { return ::GetLastError(); }

}  // namespace jobsvc::win32
