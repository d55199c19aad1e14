// The floor: the least a job service can be and still do the work of one. An own-process
// service that reports its states, arms a thread timer, pumps its message queue and, at each
// tick, makes exactly the automation calls of a dispatch under the run gate. No module, no
// profile, no registration, no event log, no settings: the first start parameter is the
// interval in minutes, and the task name is fixed. The benchmarks set the job services
// against it, so it must stay this small and do no less than they must.
#include <windows.h>

#include <cwchar>

namespace {

constexpr wchar_t kHandlerProgId[] = L"Tenmoor.TenmoorHandler";
constexpr wchar_t kTaskName[] = L"MatchApprove";
constexpr DWORD kGateWaitMs = 2000;

SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, SERVICE_ACCEPT_STOP,
                      NO_ERROR, 0, 0, 0};
DWORD loopThread = 0;
HANDLE gate = nullptr;
UINT periodMs = 0;
UINT_PTR timer = 0;

void Report(DWORD state) {
    status.dwCurrentState = state;
    SetServiceStatus(statusHandle, &status);
}

void CALLBACK Dispatch(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(nullptr, timer);
    CLSID classId;
    IDispatch* handler = nullptr;
    if (SUCCEEDED(CLSIDFromProgID(kHandlerProgId, &classId)) &&
        CoCreateInstance(classId, nullptr, CLSCTX_ALL, IID_IDispatch,
                         reinterpret_cast<void**>(&handler)) == S_OK) {
        wchar_t runName[] = L"Run";
        LPOLESTR names[] = {runName};
        DISPID runId = DISPID_UNKNOWN;
        if (handler->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &runId) == S_OK) {
            if (WaitForSingleObject(gate, kGateWaitMs) == WAIT_OBJECT_0) {
                VARIANT task;
                VariantInit(&task);
                task.vt = VT_BSTR;
                task.bstrVal = SysAllocString(kTaskName);
                DISPPARAMS parameters{&task, nullptr, 1, 0};
                handler->Invoke(runId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                &parameters, nullptr, nullptr, nullptr);
                VariantClear(&task);
            }
            SetEvent(gate);
        }
        handler->Release();
    }
    timer = SetTimer(nullptr, 0, periodMs, Dispatch);
}

void WINAPI Control(DWORD control) {
    if (control != SERVICE_CONTROL_STOP) return;
    Report(SERVICE_STOP_PENDING);
    // The loop thread takes the gate once its loop has ended: no thread of our own is needed.
    PostThreadMessageW(loopThread, WM_QUIT, 0, 0);
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    // The queue must exist before a stop request can post to it.
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    loopThread = GetCurrentThreadId();
    statusHandle = RegisterServiceCtrlHandlerW(argv[0], Control);
    if (statusHandle == nullptr) return;
    Report(SERVICE_START_PENDING);
    periodMs = static_cast<UINT>(argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 1) * 60000u;

    CoInitialize(nullptr);
    gate = CreateEventW(nullptr, FALSE, TRUE, L"ObjectRunning");
    Report(SERVICE_RUNNING);
    if (gate != nullptr) {
        timer = SetTimer(nullptr, 0, periodMs, Dispatch);
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        KillTimer(nullptr, timer);
        // Stop only while no job of the family holds the gate, and keep it, as the family does.
        WaitForSingleObject(gate, INFINITE);
        CloseHandle(gate);
    }
    CoUninitialize();
    Report(SERVICE_STOPPED);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // An own-process service: the dispatcher ignores the name in the table.
    wchar_t anyName[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{anyName, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
