#include <algorithm>

#include "platform/constants.h"
#include "platform/owned.h"
#include "service/interval.h"
#include "service/service_module.h"

namespace jobsvc {
namespace {

// How long a stopped service's thread may take for its last message.
constexpr uint32_t kLastWordsMs = 30000;

}  // namespace

void ServiceModule::Init(ModuleHandle moduleInstance, uint32_t serviceNameId,
                         const Guid* typeLibId) {
    instance = moduleInstance;
    if (typeLibId != nullptr) libId = *typeLibId;
    isService = true;
    // LoadStringW cuts a longer name to 255 units and terminates it.
    (void)os_.module.LoadText(instance, serviceNameId, serviceName, std::size(serviceName));
    statusHandle = nullptr;
    status = ServiceStatus{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0,
                           0, 0};
    LoadInterval();
}

void ServiceModule::Start() {
    timerId = 0;
    runGate = nullptr;
    if (isService) {
        const ServiceTableEntry table[] = {{serviceName, &ServiceMainEntry}, {nullptr, nullptr}};
        // The dispatcher returns as soon as SERVICE_STOPPED is reported, while the service
        // thread still has "Service stopped" to write: the process must not end before that.
        const OwnedKernelHandle serviceThreadDone(os_.kernel,
                                                  os_.kernel.CreateNamedEvent(true, false, nullptr));
        serviceThreadDone_ = serviceThreadDone.Get();
        if (os_.services.StartDispatcher(table)) {
            if (serviceThreadDone) (void)os_.kernel.Wait(serviceThreadDone.Get(), kLastWordsMs);
            return;
        }
        serviceThreadDone_ = nullptr;
        // Started by hand although registered as a service: run here, report to stdout.
        isService = false;
    }
    intervalMs = TimerPeriod(intervalMinutes);
    Run();
}

void ServiceModule::ReportStatus(uint32_t state) {
    status.currentState = state;
    (void)os_.services.SetStatus(statusHandle, status);
}

void ServiceModule::LogEvent(std::u16string_view text) {
    // The event log and the console line take at most 255 units, like the message buffer.
    char16_t message[256];
    const size_t length = std::min(text.size(), std::size(message) - 1);
    std::copy_n(text.begin(), length, message);
    message[length] = u'\0';

    if (!isService) {
        os_.eventLog.WriteStandardOutput(std::u16string_view(message, length));
        return;
    }
    // A source handle per message: nothing is held between messages.
    OwnedEventSource source(os_.eventLog, os_.eventLog.RegisterSource(serviceName));
    if (!source) return;
    (void)os_.eventLog.Report(source.Get(), EVENTLOG_INFORMATION_TYPE, 0, 0, message);
}

}  // namespace jobsvc
