// "Service stopped" is the last message of a run, written after the service has reported
// SERVICE_STOPPED. That report also lets the service control dispatcher return on the first
// thread, and the process must not end before the service thread has written the message:
// under load, stops lost it now and then (1 stop in 60 with the cores kept busy). The test
// makes the service thread slow on purpose: it holds the thread as it enters ReportEventW,
// under the debug API, and lets it go once it is clear that the process waits for it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "breakpoint.h"
#include "deliverable.h"
#include "event_log_trace.h"
#include "registration_state.h"
#include "service_control.h"

#if !defined(__x86_64__)
#error "The held thread's context is handled for x64."
#endif

namespace e2e {
namespace {

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

// Long enough for a first thread that does not wait to end the process; not a measurement.
constexpr DWORD kHoldMs = 2000;

// Suspends the thread that hit `breakpoint` so that it resumes at the function's start, and
// takes the breakpoint away.
Handle HoldAtEntry(HANDLE process, DWORD threadId, Breakpoint& breakpoint) {
    Handle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT | THREAD_SUSPEND_RESUME,
                             FALSE, threadId),
                  &CloseHandle);
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    if (!thread || !GetThreadContext(thread.get(), &context)) return Handle(nullptr, &CloseHandle);
    context.Rip = reinterpret_cast<DWORD64>(breakpoint.Address());
    if (!SetThreadContext(thread.get(), &context) || !breakpoint.Remove(process) ||
        SuspendThread(thread.get()) == static_cast<DWORD>(-1)) {
        return Handle(nullptr, &CloseHandle);
    }
    return thread;
}

TEST(StoppedMessage, IsWrittenBeforeTheProcessEnds) {
    const ProfileResources& profile = Profile(u"Pellawin");
    const ServiceRegistration service(profile, std::nullopt);
    ASSERT_EQ(service.Error(), "");
    const std::wstring& name = service.Name();
    const EventLogTrace events;
    ASSERT_EQ(StartWithParameters(name, {L"30"}), ERROR_SUCCESS);  // no job, no other message
    ASSERT_TRUE(WaitForState(name, SERVICE_RUNNING));
    ASSERT_TRUE(events.WaitForText(StartedLine(30))) << events.Describe();
    const std::optional<DWORD> processId = ProcessIdOf(name);
    ASSERT_TRUE(processId);
    const Handle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, *processId), &CloseHandle);
    ASSERT_TRUE(process);
    ASSERT_TRUE(DebugActiveProcess(*processId)) << GetLastError();
    (void)DebugSetProcessKillOnExit(FALSE);
    // However the test ends, the service is let go (a no-op once its process has ended).
    const struct Detach {
        DWORD processId;
        ~Detach() { (void)DebugActiveProcessStop(processId); }
    } detach{*processId};

    Breakpoint reportEvent(L"advapi32.dll", "ReportEventW");
    // The stop waits for the service's control handler, which cannot run while a debug event
    // of its process is pending: it is requested beside the debug loop.
    std::thread stop;
    Handle held(nullptr, &CloseHandle);
    bool ended = false;
    ULONGLONG heldSince = 0;
    const ULONGLONG deadline = GetTickCount64() + kHangTimeoutMs;
    const auto holding = [&] { return !held || GetTickCount64() - heldSince < kHoldMs; };
    while (!ended && GetTickCount64() < deadline && holding()) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, 50)) continue;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                break;
            case EXCEPTION_DEBUG_EVENT: {
                const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
                if (reportEvent.Hits(record)) {
                    held = HoldAtEntry(process.get(), event.dwThreadId, reportEvent);
                    heldSince = GetTickCount64();
                } else if (record.ExceptionCode == EXCEPTION_BREAKPOINT && !stop.joinable()) {
                    // The attach is complete: the service is all there and waits for us.
                    (void)reportEvent.TryPlace(process.get());
                    stop = std::thread([&] { (void)RequestStop(name); });
                } else if (record.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    status = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            }
            case EXIT_PROCESS_DEBUG_EVENT:
                ended = true;
                break;
            default:
                break;
        }
        (void)ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    if (stop.joinable()) stop.join();
    ASSERT_TRUE(held) << "the service thread was not held at ReportEventW";
    EXPECT_FALSE(ended) << "the process ended while its service thread had \"Service stopped\" "
                           "still to write";
    if (!ended) {
        (void)ResumeThread(held.get());
        (void)DebugActiveProcessStop(*processId);  // its last events need no one to answer them
        EXPECT_EQ(WaitForSingleObject(process.get(), kHangTimeoutMs), WAIT_OBJECT_0);
        EXPECT_TRUE(events.WaitForText("Service stopped")) << events.Describe();
    }
}

}  // namespace
}  // namespace e2e
