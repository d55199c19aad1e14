#include "message_boxes.h"

#include "breakpoint.h"
#include "test_environment.h"

#if !defined(__x86_64__)
#error "The answer to MessageBoxW is written for the x64 calling convention."
#endif

namespace e2e {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring ReadRemoteText(HANDLE process, DWORD64 address) {
    std::wstring text;
    for (wchar_t unit = 0; address != 0 && text.size() < 4096; address += sizeof unit) {
        if (!ReadProcessMemory(process, reinterpret_cast<void*>(address), &unit, sizeof unit,
                               nullptr) ||
            unit == L'\0') {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

// At the breakpoint the call has just entered MessageBoxW: the arguments are in RCX, RDX, R8
// and R9 and the return address on the stack. Returning IDOK from there is the click on OK.
bool Answer(HANDLE process, DWORD threadId, std::vector<MessageBoxCall>* boxes) {
    const HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    if (thread == nullptr) return false;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    DWORD64 returnAddress = 0;
    bool answered = GetThreadContext(thread, &context) &&
                    ReadProcessMemory(process, reinterpret_cast<void*>(context.Rsp),
                                      &returnAddress, sizeof returnAddress, nullptr);
    if (answered) {
        boxes->push_back({ReadRemoteText(process, context.R8), ReadRemoteText(process, context.Rdx),
                          static_cast<UINT>(context.R9)});
        context.Rip = returnAddress;
        context.Rsp += sizeof returnAddress;
        context.Rax = IDOK;
        answered = SetThreadContext(thread, &context) != FALSE;
    }
    CloseHandle(thread);
    return answered;
}

}  // namespace

void PrintTo(const MessageBoxCall& call, std::ostream* out) {
    *out << "{caption \"" << Narrow(call.caption) << "\", text \"" << Narrow(call.text)
         << "\", style " << call.style << "}";
}

AnsweredRun RunAnsweringMessageBoxes(const std::wstring& executable,
                                     const std::wstring& arguments) {
    AnsweredRun run;
    Breakpoint hook(L"user32.dll", "MessageBoxW");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + executable + L"\" " + arguments;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup, &started)) {
        run.error = "cannot start " + Narrow(executable) + ", error " +
                    std::to_string(GetLastError());
        return run;
    }
    CloseHandle(started.hThread);

    const ULONGLONG deadline = GetTickCount64() + kHangTimeoutMs;
    for (bool running = true; running;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, 100)) {
            if (GetTickCount64() < deadline) continue;
            run.error = "the process hung";
            TerminateProcess(started.hProcess, 1);  // its exit event ends the loop
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                (void)hook.TryPlace(started.hProcess);
                break;
            case EXCEPTION_DEBUG_EVENT: {
                const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
                if (hook.Hits(record)) {
                    if (!Answer(started.hProcess, event.dwThreadId, &run.boxes)) {
                        run.error = "cannot answer a message box";
                    }
                } else if (record.ExceptionCode == EXCEPTION_BREAKPOINT) {
                    // The loader's breakpoint: the libraries are all mapped now.
                    (void)hook.TryPlace(started.hProcess);
                } else {
                    status = DBG_EXCEPTION_NOT_HANDLED;  // the child's own business
                }
                break;
            }
            case EXIT_PROCESS_DEBUG_EVENT:
                if (run.error.empty()) run.exitCode = event.u.ExitProcess.dwExitCode;
                running = false;
                break;
            default:
                break;
        }
        (void)ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    if (!hook.Placed() && run.error.empty()) run.error = "MessageBoxW could not be watched";
    CloseHandle(started.hProcess);
    return run;
}

}  // namespace e2e
