// The one module object of a job service process. Every callback that the platform makes
// (ServiceMainEntry, HandlerEntry, DispatchJob, StopWaiter) reaches it through
// ProcessModule().
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/owned.h"
#include "platform/platform.h"
#include "profiles/job_profile.h"

namespace jobsvc {

class ServiceModule {
public:
    ServiceModule(const Platform& os, const JobProfile& profile) : os_(os), profile_(profile) {}
    ServiceModule(const ServiceModule&) = delete;
    ServiceModule& operator=(const ServiceModule&) = delete;

    // Entry and modes.
    void Init(ModuleHandle moduleInstance, uint32_t serviceNameId, const Guid* typeLibId);
    void Start();
    void ReportStatus(uint32_t state);
    // Every caller hands over a finished text: it is never read as a format.
    void LogEvent(std::u16string_view text);

    // Interval setting.
    void LoadInterval();
    [[nodiscard]] Win32Error StoreInterval(uint32_t minutes, bool createKey);

    // Scheduler loop and job dispatch.
    void Run();
    [[nodiscard]] bool ArmTimer();
    void DisarmTimer();

    // Service control lifecycle.
    void ServiceMain(uint32_t argc, char16_t** argv);
    void Handler(uint32_t control);

    // Service entry. After a false result of Install or Uninstall, lastEntryError holds the
    // Win32 error of the refused step.
    [[nodiscard]] bool IsInstalled();
    [[nodiscard]] bool Install();
    [[nodiscard]] bool Uninstall();
    Win32Error lastEntryError = 0;

    // Registration.
    [[nodiscard]] int32_t RegisterServer(bool registerTypeLib, bool asService);
    [[nodiscard]] int32_t UnregisterServer();

    // The platform's callbacks.
    static void PLATFORM_CALLBACK ServiceMainEntry(uint32_t argc, char16_t** argv);
    static void PLATFORM_CALLBACK HandlerEntry(uint32_t control);
    static void PLATFORM_CALLBACK DispatchJob(void* window, uint32_t message, uintptr_t timerId,
                                              uint32_t time);
    static uint32_t PLATFORM_CALLBACK StopWaiter(void* gate);

    [[nodiscard]] const Platform& Os() const { return os_; }
    [[nodiscard]] const JobProfile& Profile() const { return profile_; }

    ModuleHandle instance = nullptr;
    Guid libId{};
    uint32_t intervalMinutes = 0;
    uintptr_t timerId = 0;
    uint32_t intervalMs = 0;
    // Written by the loop thread, read by the control thread when a stop request arrives.
    std::atomic<KernelHandle> runGate{nullptr};
    char16_t serviceName[256] = {};
    StatusHandle statusHandle = nullptr;
    ServiceStatus status{};
    // Written by the loop thread, read by the control thread; zero until Run records it.
    std::atomic<uint32_t> mainThreadId{0};
    bool isService = false;

private:
    void DispatchJobNow();
    void StartStopWaiter();
    [[nodiscard]] HResult RegisterTypeLibrary();
    void UnregisterTypeLibrary();
    void ShowFailure(const char16_t* text);
    // The service control manager with full access, or an empty handle after the failure
    // has been shown.
    [[nodiscard]] OwnedScHandle OpenManagerForChange();

    const Platform os_;
    const JobProfile& profile_;
    // Signalled by the service thread once it has written its last message (service mode).
    KernelHandle serviceThreadDone_ = nullptr;
    // Set by the first stop request, so that a further one starts no second waiter.
    std::atomic<bool> stopRequested_{false};
};

// The process's one module. The program defines it as an object of static storage duration;
// the simulated machine answers with the module of the simulated process whose thread asks.
ServiceModule& ProcessModule();

}  // namespace jobsvc
