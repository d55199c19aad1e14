#include <string>

#include "platform/constants.h"
#include "platform/owned.h"
#include "service/service_module.h"

namespace jobsvc {
namespace {

constexpr char kHandlerProgId[] = "Tenmoor.TenmoorHandler";
constexpr char kRunMethod[] = "Run";
constexpr char16_t kRunGateName[] = u"ObjectRunning";
constexpr uint32_t kGateWaitMs = 2000;

}  // namespace

void ServiceModule::Run() {
    const uint32_t self = os_.kernel.CurrentThreadId();
    uint32_t expected = 0;
    if (!mainThreadId.compare_exchange_strong(expected, self)) {
        // A stop request came before this thread was known: end at the loop's first message.
        mainThreadId.store(self);
        (void)os_.messages.PostToThread(self, WM_QUIT, 0, 0);
    }

    // COM and its process security are best effort: the job handler may still be reachable.
    (void)os_.automation.Initialize();
    const SecurityDescriptor security = os_.automation.CreateOpenSecurityDescriptor();
    (void)os_.automation.InitializeSecurity(security, RPC_C_AUTHN_LEVEL_PKT,
                                            RPC_C_IMP_LEVEL_IMPERSONATE, EOAC_NONE);

    std::u16string started = u"Service started with interval(minutes): ";
    for (char digit : std::to_string(intervalMs / 60000u)) started += static_cast<char16_t>(digit);
    LogEvent(started);
    if (isService) ReportStatus(SERVICE_RUNNING);

    runGate = os_.kernel.CreateNamedEvent(false, true, kRunGateName);
    if (runGate != nullptr) {
        if (ArmTimer()) {
            // Ends on the quit message; a failed retrieval (-1) must not spin.
            while (os_.messages.GetAndDispatchMessage() > 0) {
            }
        }
        DisarmTimer();
        const KernelHandle gate = runGate.exchange(nullptr);
        (void)os_.kernel.CloseHandle(gate);
    }

    os_.automation.Uninitialize();
    os_.automation.FreeSecurityDescriptor(security);
}

bool ServiceModule::ArmTimer() {
    timerId = 0;
    timerId = os_.messages.SetTimer(0, intervalMs, &DispatchJob);
    if (timerId == 0) {
        LogEvent(u"Failed to create timer");
        return false;
    }
    return true;
}

void ServiceModule::DisarmTimer() {
    if (timerId != 0) {
        (void)os_.messages.KillTimer(timerId);
        timerId = 0;
    }
}

void PLATFORM_CALLBACK ServiceModule::DispatchJob(void*, uint32_t, uintptr_t, uint32_t) {
    ProcessModule().DispatchJobNow();
}

void ServiceModule::DispatchJobNow() {
    Automation& automation = os_.automation;
    OwnedAutoString argument(automation, automation.AllocString(profile_.taskName));
    DisarmTimer();  // no second dispatch can start until the re-arm below
    OwnedAutoString progId(automation, automation.AllocStringFromAnsi(kHandlerProgId));

    {
        uint32_t messageId = 0;
        OwnedDispatch handler;
        OwnedAutoString runName(automation, automation.AllocStringFromAnsi(kRunMethod));
        Guid classId{};
        int32_t runId = 0;
        if (!argument || !progId || !runName) {
            // Without its strings the job cannot be asked for; say so and try next time.
            messageId = IDS_CREATEINSTANCEFAILED;
        } else if (automation.ClassFromProgId(progId.Get(), &classId) < 0 ||
                   automation.CreateDispatch(classId, CLSCTX_ALL, handler.Receive(automation)) !=
                       S_OK) {
            messageId = IDS_CREATEINSTANCEFAILED;
        } else if (automation.GetIdOfName(handler.Get(), runName.Get(), LOCALE_USER_DEFAULT,
                                          &runId) != S_OK) {
            messageId = IDS_NORUNMETHOD;
        } else {
            const KernelHandle gate = runGate.load();
            if (os_.kernel.Wait(gate, kGateWaitMs) == WAIT_OBJECT_0 &&
                automation.InvokeWithString(handler.Get(), runId, LOCALE_USER_DEFAULT,
                                            DISPATCH_METHOD, argument.Get()) != S_OK) {
                messageId = IDS_RUNFAILED;
            }
            // Also after a time-out: the other services of the family rely on this signal.
            (void)os_.kernel.SetEvent(gate);
        }
        runName.Reset();

        if (messageId != 0) {
            char16_t text[256];
            const int32_t length = os_.module.LoadText(instance, messageId, text, std::size(text));
            LogEvent(std::u16string_view(text, length > 0 ? static_cast<size_t>(length) : 0));
        }
    }  // the handler is released before the timer is armed again

    (void)ArmTimer();  // on failure it has reported; the loop goes on without a timer
}

}  // namespace jobsvc
