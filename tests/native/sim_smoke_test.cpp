// The simulated machine's own tricky parts, driven by small stand-in entries instead of the
// runtime: scheduling order, waits and time-outs, thread timers, tear-down, the dispatcher.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/constants.h"
#include "platform/sim/machine.h"
#include "service/service_module.h"

namespace jobsvc::sim {
namespace {

using Log = std::vector<std::string>;

const ProfileResources& Pellawin() { return Machine::Profile(u"Pellawin"); }

// Launches a process whose first thread runs `body` and then ends with exit code 0.
Process& LaunchRunning(Machine& machine, std::function<void(const Platform&)> body) {
    LaunchOptions options;
    options.entry = [body](ServiceModule& module, ModuleHandle) {
        body(module.Os());
        return 0;
    };
    return machine.Launch(Pellawin(), u"", std::move(options));
}

std::string Stamp(Machine& machine, const std::string& what) {
    return what + "@" + std::to_string(machine.Now());
}

TEST(SimScheduler, RunsEachThreadUntilItBlocksThenWakesByDeadline) {
    Machine machine;
    Log log;
    auto waiter = [&](const Platform& os, const std::string& name, uint32_t timeoutMs) {
        const KernelHandle never = os.kernel.CreateNamedEvent(false, false, nullptr);
        log.push_back(Stamp(machine, name + "-start"));
        EXPECT_EQ(os.kernel.Wait(never, timeoutMs), WAIT_TIMEOUT);
        log.push_back(Stamp(machine, name + "-end"));
        (void)os.kernel.CloseHandle(never);
    };
    Process& process = LaunchRunning(machine, [&](const Platform& os) {
        // Both become runnable now and run, in this order, once this thread blocks.
        Process& self = *machine.Processes().front();
        self.StartThread([&] { waiter(os, "a", 20); });
        self.StartThread([&] { waiter(os, "b", 10); });
        log.push_back(Stamp(machine, "main-continues"));
        waiter(os, "main", 30);
    });
    EXPECT_EQ(log, (Log{"main-continues@0", "main-start@0", "a-start@0", "b-start@0"}));

    EXPECT_FALSE(machine.RunUntil([&] { return process.Exited(); }, 15));
    EXPECT_EQ(machine.Now(), 15u);  // the clock stops at the limit, not at the next deadline
    EXPECT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 1000));
    EXPECT_EQ(log, (Log{"main-continues@0", "main-start@0", "a-start@0", "b-start@0", "b-end@10",
                        "a-end@20", "main-end@30"}));
    EXPECT_EQ(machine.Now(), 30u);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST(SimKernel, AutoResetEventPassesEachSignalToOneWaiterInArrivalOrder) {
    Machine machine;
    EventRef gate = machine.OpenEvent(u"ObjectRunning", false, false);
    Log log;
    (void)LaunchRunning(machine, [&](const Platform& os) {
        // Opens the test's event unchanged: still not signalled.
        const KernelHandle mine = os.kernel.CreateNamedEvent(false, true, u"objectrunning");
        EXPECT_EQ(os.kernel.Wait(mine, 0), WAIT_TIMEOUT);
        EXPECT_EQ(os.kernel.Wait(nullptr, INFINITE), WAIT_FAILED);
        log.push_back(Stamp(machine, "first:" + std::to_string(os.kernel.Wait(mine, INFINITE))));
        (void)os.kernel.CloseHandle(mine);
    });
    (void)LaunchRunning(machine, [&](const Platform& os) {
        const KernelHandle mine = os.kernel.CreateNamedEvent(false, true, u"ObjectRunning");
        log.push_back(Stamp(machine, "second:" + std::to_string(os.kernel.Wait(mine, 2000))));
        (void)os.kernel.CloseHandle(mine);
    });

    machine.At(500, [&] { gate.Set(); });
    machine.RunFor(5000);
    // One signal, one waiter through; the event stays taken and the other times out.
    EXPECT_EQ(log, (Log{"first:0@500", "second:258@2000"}));
    EXPECT_FALSE(gate.Signalled());
    gate.Set();
    EXPECT_TRUE(machine.EventSignalled(u"ObjectRunning"));
    EXPECT_TRUE(gate.Take());
    EXPECT_FALSE(gate.Take());

    // The name lives as long as a handle does; a later creator starts afresh.
    gate.Close();
    EXPECT_FALSE(machine.EventExists(u"ObjectRunning"));
    EventRef again = machine.OpenEvent(u"ObjectRunning", false, true);
    EXPECT_TRUE(again.Signalled());
}

uint32_t PLATFORM_CALLBACK NoOp(void*) { return 0; }

struct TimerLog {
    Log entries;
    uintptr_t slow = 0;
    KernelHandle never = nullptr;
};
TimerLog* timerLog = nullptr;

void PLATFORM_CALLBACK RecordTick(void*, uint32_t message, uintptr_t timerId, uint32_t time) {
    EXPECT_EQ(message, WM_TIMER);
    const bool slow = timerId == timerLog->slow;
    timerLog->entries.push_back((slow ? "slow@" : "fast@") + std::to_string(time));
    // The first slow tick keeps its thread busy past several periods.
    if (slow && time == 100) (void)ProcessModule().Os().kernel.Wait(timerLog->never, 250);
}

TEST(SimMessages, TimersFireOnePeriodAfterTheyLastFiredAndPostsComeFirst) {
    Machine machine;
    TimerLog log;
    timerLog = &log;
    int32_t quitResult = -1;
    Process& process = LaunchRunning(machine, [&](const Platform& os) {
        log.never = os.kernel.CreateNamedEvent(false, false, nullptr);
        log.slow = os.messages.SetTimer(0, 100, &RecordTick);
        const uintptr_t fast = os.messages.SetTimer(log.slow, 0, &RecordTick);  // 0: the minimum
        EXPECT_NE(log.slow, 0u);
        EXPECT_NE(fast, log.slow);
        for (int i = 0; i < 12; ++i) EXPECT_EQ(os.messages.GetAndDispatchMessage(), 1);
        EXPECT_TRUE(os.messages.KillTimer(fast));
        EXPECT_FALSE(os.messages.KillTimer(fast));
        EXPECT_TRUE(os.messages.PostToThread(os.kernel.CurrentThreadId(), WM_QUIT, 0, 0));
        quitResult = os.messages.GetAndDispatchMessage();  // the post beats the due slow timer
        EXPECT_TRUE(os.messages.KillTimer(log.slow));
        (void)os.kernel.CloseHandle(log.never);
        EXPECT_FALSE(os.messages.PostToThread(0, WM_QUIT, 0, 0));
    });
    machine.RunUntil([&] { return process.Exited(); }, 10'000);
    EXPECT_EQ(quitResult, 0);
    Log expected;
    for (int t : {10, 20, 30, 40, 50, 60, 70, 80, 90})
        expected.push_back("fast@" + std::to_string(t));
    // At 100 both are due: the older timer first. Both are overdue when its tick returns at
    // 350; each fires once, the longer overdue first, and is next due a period from then.
    expected.insert(expected.end(), {"slow@100", "fast@350", "slow@350"});
    EXPECT_EQ(log.entries, expected);
    EXPECT_EQ(machine.Now(), 350u);
    timerLog = nullptr;
}

// Unwinding calls back into the platform; none of these calls may block.
struct CleanUp {
    const Platform& os;
    KernelHandle handle;
    bool* unwound;
    ~CleanUp() {
        EXPECT_EQ(os.kernel.Wait(handle, INFINITE), WAIT_FAILED);
        EXPECT_TRUE(os.kernel.CloseHandle(handle));
        *unwound = true;
    }
};

TEST(SimProcess, EndingTearsDownBlockedThreadsAndMachineEndTearsDownTheRest) {
    bool waiterUnwound = false;
    bool loopUnwound = false;
    {
        Machine machine;
        Process& ending = LaunchRunning(machine, [&](const Platform& os) {
            ASSERT_TRUE(os.kernel.StartThread(&NoOp, nullptr));
            Process* self = machine.Processes().front();
            self->StartThread([&, self] {
                const Platform& own = self->Os();
                CleanUp cleanUp{own, own.kernel.CreateNamedEvent(true, false, u"Never"),
                                &waiterUnwound};
                (void)own.kernel.Wait(cleanUp.handle, INFINITE);
                ADD_FAILURE() << "the wait cannot end";
            });
            // Lets the waiter block before the process ends.
            EXPECT_EQ(os.kernel.Wait(nullptr, 5), WAIT_FAILED);
            const KernelHandle never = os.kernel.CreateNamedEvent(false, false, nullptr);
            EXPECT_EQ(os.kernel.Wait(never, 5), WAIT_TIMEOUT);
            (void)os.kernel.CloseHandle(never);
        });
        machine.RunFor(10);
        EXPECT_TRUE(ending.Exited());
        EXPECT_EQ(ending.ExitCode(), 0);
        EXPECT_EQ(ending.LiveThreads(), 0u);
        EXPECT_TRUE(waiterUnwound);
        EXPECT_EQ(machine.OpenHandleCount(), 0u);

        Process& looping = LaunchRunning(machine, [&](const Platform& os) {
            CleanUp cleanUp{os, os.kernel.CreateNamedEvent(false, false, nullptr), &loopUnwound};
            while (os.messages.GetAndDispatchMessage() > 0) {
            }
        });
        EXPECT_FALSE(looping.Exited());
    }
    EXPECT_TRUE(loopUnwound);
}

TEST(SimAutomation, JobBlocksItsCallerForItsDurationWhileOthersRun) {
    Machine machine;
    size_t startedJob = 99;
    machine.SetHandler({HandlerScript::Behaviour::Fail, E_ACCESSDENIED, 500,
                        [&](size_t job) { startedJob = job; }});
    Log log;
    Process& process = LaunchRunning(machine, [&](const Platform& os) {
        Automation& com = os.automation;
        const AutoString progId = com.AllocStringFromAnsi("tenmoor.TENMOORHANDLER");
        const AutoString name = com.AllocStringFromAnsi("RUN");
        const AutoString task = com.AllocString(u"MatchApprove");
        Guid classId{};
        DispatchObject handler = nullptr;
        int32_t runId = 0;
        ASSERT_EQ(com.ClassFromProgId(progId, &classId), S_OK);
        ASSERT_EQ(com.CreateDispatch(classId, CLSCTX_ALL, &handler), S_OK);
        ASSERT_EQ(com.GetIdOfName(handler, name, LOCALE_USER_DEFAULT, &runId), S_OK);
        log.push_back(Stamp(machine, "invoke"));
        EXPECT_EQ(com.InvokeWithString(handler, runId, LOCALE_USER_DEFAULT, DISPATCH_METHOD, task),
                  E_ACCESSDENIED);
        log.push_back(Stamp(machine, "returned"));
        com.Release(handler);
        for (AutoString text : {progId, name, task}) com.FreeString(text);
    });
    process.StartThread([&] { log.push_back(Stamp(machine, "other")); });
    machine.RunFor(1000);

    EXPECT_EQ(log, (Log{"invoke@0", "other@0", "returned@500"}));
    EXPECT_EQ(startedJob, 0u);
    ASSERT_EQ(machine.Jobs().size(), 1u);
    const JobRecord& job = machine.Jobs()[0];
    EXPECT_EQ(job.task, u"MatchApprove");
    EXPECT_EQ(job.processId, process.Id());
    EXPECT_EQ(job.start, 0u);
    EXPECT_EQ(job.end, 500u);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    EXPECT_EQ(machine.InvalidReleases(), 0u);
}

struct ServiceLog {
    Log entries;
    uint32_t dispatcherThread = 0;
    KernelHandle stop = nullptr;
    StatusHandle status = nullptr;
};
ServiceLog* serviceLog = nullptr;

void Report(uint32_t state) {
    const ServiceStatus status{SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
    (void)ProcessModule().Os().services.SetStatus(serviceLog->status, status);
}

void PLATFORM_CALLBACK FakeHandler(uint32_t control) {
    const Platform& os = ProcessModule().Os();
    EXPECT_EQ(os.kernel.CurrentThreadId(), serviceLog->dispatcherThread);
    serviceLog->entries.push_back("control" + std::to_string(control));
    if (control == SERVICE_CONTROL_STOP) (void)os.kernel.SetEvent(serviceLog->stop);
}

void PLATFORM_CALLBACK FakeServiceMain(uint32_t argc, char16_t** argv) {
    const Platform& os = ProcessModule().Os();
    EXPECT_NE(os.kernel.CurrentThreadId(), serviceLog->dispatcherThread);
    serviceLog->entries.push_back("main" + std::to_string(argc) + ":" +
                                  std::string(argv[1], argv[1] + 2));
    serviceLog->status = os.services.RegisterHandler(u"whatever", &FakeHandler);
    Report(SERVICE_RUNNING);
    (void)os.kernel.Wait(serviceLog->stop, INFINITE);
    Report(SERVICE_STOPPED);
    serviceLog->entries.push_back("stopped");  // after the report, before the process ends
}

TEST(SimServices, DispatcherRunsServiceMainAndControlsOnTheFirstThread) {
    Machine machine;
    ServiceLog log;
    serviceLog = &log;
    const std::u16string name(Pellawin().serviceName);
    machine.AddServiceEntry(name, Machine::DefaultImagePath(Pellawin()));

    LaunchOptions options;
    options.entry = [&](ServiceModule& module, ModuleHandle) {
        const Platform& os = module.Os();
        log.dispatcherThread = os.kernel.CurrentThreadId();
        log.stop = os.kernel.CreateNamedEvent(false, false, nullptr);
        char16_t serviceName[] = u"ignored";
        const ServiceTableEntry table[] = {{serviceName, &FakeServiceMain}, {nullptr, nullptr}};
        log.entries.push_back(os.services.StartDispatcher(table) ? "returned" : "failed");
        (void)os.kernel.CloseHandle(log.stop);
        return 3;
    };
    // By hand, the dispatcher cannot connect.
    Process& byHand = machine.Launch(Pellawin(), u"", options);
    EXPECT_EQ(log.entries, (Log{"failed"}));
    EXPECT_TRUE(byHand.Exited());

    log.entries.clear();
    Process* service = machine.StartService(name, {u"30", u"x"}, options);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->CommandLine(), Machine::DefaultImagePath(Pellawin()));
    EXPECT_EQ(machine.StartService(name), nullptr);  // running already
    EXPECT_EQ(machine.ServiceState(name), SERVICE_RUNNING);

    machine.At(100, [&] { EXPECT_TRUE(machine.Control(name, SERVICE_CONTROL_INTERROGATE)); });
    machine.At(200, [&] { EXPECT_TRUE(machine.Control(name, SERVICE_CONTROL_STOP)); });
    machine.RunFor(1000);
    // Reporting SERVICE_STOPPED lets the dispatcher return first, as on a real machine: the
    // process ends before the reporting thread writes "stopped".
    EXPECT_EQ(log.entries, (Log{"main3:30", "control4", "control1", "returned"}));
    EXPECT_TRUE(service->Exited());
    EXPECT_EQ(service->ExitCode(), 3);
    EXPECT_EQ(machine.StateHistory(name),
              (std::vector<uint32_t>{SERVICE_RUNNING, SERVICE_STOPPED}));
    EXPECT_EQ(machine.StatusRecords(name).back().time, 200u);
    EXPECT_FALSE(machine.Control(name, SERVICE_CONTROL_STOP));
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    serviceLog = nullptr;
}

struct QueryCase {
    const char* what;
    bool withData;
    uint32_t capacity;
    const char16_t* value;
    Win32Error error;
    uint32_t size;
};

TEST(SimRegistry, QueryValueFollowsThePlatform) {
    Machine machine;
    const std::u16string path = u"HKLM\\SYSTEM\\CurrentControlSet\\Services\\S\\Parameters";
    machine.SetString(path, u"Text", u"45");  // six bytes with the terminator
    const QueryCase cases[] = {
        {"fits", true, 6, u"text", ERROR_SUCCESS, 6},
        {"too small", true, 4, u"TEXT", ERROR_MORE_DATA, 6},
        {"size only", false, 0, u"Text", ERROR_SUCCESS, 6},
        {"missing", true, 6, u"Interval", ERROR_FILE_NOT_FOUND, 6},
    };
    Process& process = LaunchRunning(machine, [](const Platform&) {});
    Registry& registry = process.Os().registry;
    RegKey key = nullptr;
    ASSERT_EQ(
        registry.OpenKey(Registry::LocalMachine(),
                         u"system\\currentcontrolset\\services\\s\\parameters", KEY_READ, &key),
        ERROR_SUCCESS);
    for (const QueryCase& c : cases) {
        char16_t data[3] = {};
        uint32_t type = 0;
        uint32_t size = c.capacity;
        EXPECT_EQ(registry.QueryValue(key, c.value, &type, c.withData ? data : nullptr, &size),
                  c.error)
            << c.what;
        EXPECT_EQ(size, c.size) << c.what;
        if (c.error == ERROR_SUCCESS) {
            EXPECT_EQ(type, REG_SZ) << c.what;
        }
    }
    EXPECT_EQ(registry.SetValue(key, u"Interval", REG_DWORD, "\x1e\0\0", 4), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.CloseKey(key), ERROR_SUCCESS);

    machine.DenyAccess(path, KEY_WRITE);
    ASSERT_EQ(
        registry.OpenKey(Registry::LocalMachine(),
                         u"SYSTEM\\CurrentControlSet\\Services\\S\\Parameters", KEY_READ, &key),
        ERROR_SUCCESS);  // reading is still allowed
    EXPECT_EQ(registry.CloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(registry.OpenKey(Registry::LocalMachine(),
                               u"SYSTEM\\CurrentControlSet\\Services\\S\\Parameters",
                               KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.CreateKey(Registry::LocalMachine(),
                                 u"SYSTEM\\CurrentControlSet\\Services\\T\\Parameters",
                                 KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(registry.SetValue(key, u"Interval", REG_DWORD, "\x1e\0\0", 4), ERROR_SUCCESS);
    EXPECT_EQ(registry.CloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(
        machine.GetDword(u"HKEY_LOCAL_MACHINE\\system\\CurrentControlSet\\Services\\T\\Parameters",
                         u"interval"),
        30u);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace jobsvc::sim
