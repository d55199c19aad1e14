#include "platform/constants.h"
#include "service/interval.h"
#include "service/service_module.h"
#include "service/start_argument.h"

namespace jobsvc {
namespace {

// Marks mainThreadId when a stop request came before Run recorded its thread. Thread
// identifiers are multiples of four, so this is never a real one.
constexpr uint32_t kStoppedBeforeRun = 0xFFFFFFFF;

}  // namespace

void PLATFORM_CALLBACK ServiceModule::ServiceMainEntry(uint32_t argc, char16_t** argv) {
    ServiceModule& module = ProcessModule();
    // Stored only where the Parameters key exists; the argument governs this run either way.
    if (argc > 1) (void)module.StoreInterval(ParseStartArgument(argv[1]), false);
    module.ServiceMain(argc, argv);
}

void ServiceModule::ServiceMain(uint32_t argc, char16_t** argv) {
    const uint32_t minutes = argc >= 2 ? ParseStartArgument(argv[1]) : intervalMinutes;
    intervalMs = TimerPeriod(minutes);

    statusHandle = os_.services.RegisterHandler(serviceName, &HandlerEntry);
    if (statusHandle == nullptr) {
        LogEvent(u"Handler not installed");
    } else {
        ReportStatus(SERVICE_START_PENDING);
        Run();
        ReportStatus(SERVICE_STOPPED);
        LogEvent(u"Service stopped");
    }
    // Lets the process end: every message of this thread is out.
    if (serviceThreadDone_ != nullptr) (void)os_.kernel.SetEvent(serviceThreadDone_);
}

void PLATFORM_CALLBACK ServiceModule::HandlerEntry(uint32_t control) {
    ProcessModule().Handler(control);
}

void ServiceModule::Handler(uint32_t control) {
    switch (control) {
        case SERVICE_CONTROL_STOP: {
            ReportStatus(SERVICE_STOP_PENDING);
            // One waiter per run: a second one could still be waiting on the gate handle when
            // Run closes it.
            if (stopRequested_.exchange(true)) return;
            uint32_t expected = 0;
            if (mainThreadId.compare_exchange_strong(expected, kStoppedBeforeRun)) return;
            StartStopWaiter();
            return;
        }
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE:
        case SERVICE_CONTROL_INTERROGATE:
        case SERVICE_CONTROL_SHUTDOWN:
            return;
        default:
            LogEvent(u"Bad service request");
            return;
    }
}

void ServiceModule::StartStopWaiter() {
    void* const gate = runGate.load();
    if (!os_.kernel.StartThread(&StopWaiter, gate)) {
        // No thread to be had: wait here rather than lose the request. The control thread is
        // busy until the gate comes free, as the service would be in STOP_PENDING anyway.
        (void)StopWaiter(gate);
    }
}

uint32_t PLATFORM_CALLBACK ServiceModule::StopWaiter(void* gate) {
    ServiceModule& module = ProcessModule();
    const Platform& os = module.Os();
    // Takes the gate for good: a stopping service never hands it back.
    (void)os.kernel.Wait(static_cast<KernelHandle>(gate), INFINITE);
    (void)os.messages.PostToThread(module.mainThreadId.load(), WM_QUIT, 0, 0);
    return 0;
}

}  // namespace jobsvc
