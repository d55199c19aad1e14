// The simulated machine: the runtime's platform in memory, on a virtual clock, for native
// tests. Several processes share one registry, service database, event log and set of named
// events, as the deliverables of one real machine do.
//
// The test's own thread is the controller: the machine runs only inside RunFor/RunUntil, and
// inside Launch, StartService and Control, which run it at the current instant until every
// simulated thread waits (except when called from an At action or from a simulated thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/records.h"
#include "profiles/job_profile.h"

namespace jobsvc::sim {

namespace detail {
struct MachineState;
struct ProcessState;
}  // namespace detail

class Process {
public:
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    uint32_t Id() const;
    ServiceModule& Module();
    const Platform& Os() const;
    ModuleHandle Instance() const;
    const ProfileResources& Resources() const;
    std::u16string_view CommandLine() const;
    std::u16string_view ImagePath() const;
    bool StartedByManager() const;

    bool Exited() const;
    int32_t ExitCode() const;  // valid once Exited()
    const std::vector<std::u16string>& StandardOutput() const;
    size_t LiveThreads() const;
    // Successful Initialize calls less Uninitialize calls, over all threads of the process.
    int32_t ComBalance() const;

    // A further simulated thread of this process, runnable at once: a way for a test to call
    // the runtime (even blocking calls) as one of the process's own threads.
    void StartThread(std::function<void()> body);

private:
    friend struct detail::MachineState;
    explicit Process(std::unique_ptr<detail::ProcessState> state);
    std::unique_ptr<detail::ProcessState> state_;
};

class Machine;

// A handle of a named event held by the test, as another process would hold it: the event
// exists at least as long as this object.
class EventRef {
public:
    EventRef() = default;
    EventRef(EventRef&& other) noexcept;
    EventRef& operator=(EventRef&& other) noexcept;
    ~EventRef();

    bool Take();  // a wait with time-out 0: true when it was signalled (and now taken)
    void Set();
    bool Signalled() const;
    void Close();

private:
    friend class Machine;
    EventRef(detail::MachineState* machine, KernelHandle handle)
        : machine_(machine), handle_(handle) {}
    detail::MachineState* machine_ = nullptr;
    KernelHandle handle_ = nullptr;
};

class Machine {
public:
    Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;
    ~Machine();  // tears every simulated thread down

    // Clock.
    uint64_t Now() const;
    void RunFor(uint64_t ms);
    bool RunUntil(std::function<bool()> done, uint64_t maxMs);  // checked whenever all wait
    void At(uint64_t time, std::function<void()> action);

    // Processes. The command line of a launch by hand is the quoted image path, then a blank
    // and `arguments` when they are not empty.
    static std::u16string DefaultImagePath(const ProfileResources& profile);
    static const ProfileResources& Profile(std::u16string_view shortName);
    Process& Launch(const ProfileResources& profile, std::u16string arguments = u"",
                    LaunchOptions options = {});
    // Makes an executable known by its path, so that a service entry can start it.
    void AddImage(std::u16string path, const ProfileResources& profile);
    std::vector<Process*> Processes();

    // Service control manager. Like the platform's, it keeps each entry's configuration in
    // HKLM\SYSTEM\CurrentControlSet\Services\<name> too, and deleting the entry deletes that
    // key with its Parameters. Deletion takes effect at once, also for a running service,
    // whose process goes on reporting its status under the name. A control is queued for the
    // service's dispatcher and the caller does not wait for the handler.
    void AddServiceEntry(StoredServiceConfig config);
    void AddServiceEntry(std::u16string name, std::u16string binaryPath);
    // Like `sc start name args...`: launches the entry's image as started by the manager.
    // Null when there is no such entry, its image is unknown, or it is running already.
    Process* StartService(std::u16string_view name, std::vector<std::u16string> args = {},
                          LaunchOptions options = {});
    // Queues a control for the service's dispatcher; false when it is not running.
    bool Control(std::u16string_view name, uint32_t code);
    bool ServiceExists(std::u16string_view name) const;
    std::optional<StoredServiceConfig> ServiceConfig(std::u16string_view name) const;
    uint32_t ServiceState(std::u16string_view name) const;  // SERVICE_STOPPED when none
    Process* ServiceProcess(std::u16string_view name);
    // Every status reported under that name, also by entries deleted since.
    std::vector<ServiceStatus> StatusHistory(std::u16string_view name) const;
    std::vector<uint32_t> StateHistory(std::u16string_view name) const;  // the current states
    const std::vector<StatusRecord>& StatusRecords(std::u16string_view name) const;
    const std::vector<ControlRecord>& Controls() const;
    // Closes of service control handles in order: u"manager" or u"service:" + name.
    const std::vector<std::u16string>& ScCloseLog() const;

    // Registry; paths start with HKLM or HKCR (or HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT).
    void CreateKey(std::u16string_view path);
    bool KeyExists(std::u16string_view path) const;
    void DeleteKey(std::u16string_view path);  // with everything below it
    void SetValue(std::u16string_view path, std::u16string_view name, uint32_t type,
                  std::span<const uint8_t> data);  // creates the key where missing
    void SetDword(std::u16string_view path, std::u16string_view name, uint32_t value);
    void SetString(std::u16string_view path, std::u16string_view name, std::u16string_view text);
    std::optional<RegValue> GetValue(std::u16string_view path, std::u16string_view name) const;
    std::optional<uint32_t> GetDword(std::u16string_view path, std::u16string_view name) const;
    // REG_SZ text without its terminator.
    std::optional<std::u16string> GetString(std::u16string_view path,
                                            std::u16string_view name) const;
    std::vector<std::u16string> SubKeys(std::u16string_view path) const;
    std::vector<std::u16string> ValueNames(std::u16string_view path) const;
    // Opening or creating that key with any of these rights fails with ERROR_ACCESS_DENIED
    // (READ_CONTROL, which KEY_READ and KEY_WRITE share, is never denied).
    void DenyAccess(std::u16string_view path, uint32_t mask);
    void ClearDenials();

    // Named events.
    EventRef OpenEvent(std::u16string_view name, bool manualReset = false,
                       bool initiallySignalled = true);
    bool EventExists(std::u16string_view name) const;
    bool EventSignalled(std::u16string_view name) const;  // false when it does not exist

    // Automation. "Tenmoor.TenmoorHandler" is registered from the start, succeeding at once.
    // The script of the handler's class; whether its ProgID is registered stays as it is.
    void SetHandler(HandlerScript script);
    void RegisterProgId(std::u16string_view progId, const Guid& classId, HandlerScript script);
    void UnregisterProgId(std::u16string_view progId);
    static Guid HandlerClassId();
    const std::vector<JobRecord>& Jobs() const;
    const std::vector<AutomationCall>& AutomationCalls() const;
    const std::vector<SecurityRecord>& SecurityCalls() const;

    // Type libraries: a file that LoadTypeLib finds at `path`, holding the profile's library.
    void AddTypeLibFile(std::u16string path, const ProfileResources& profile);
    const std::vector<TypeLibCall>& TypeLibCalls() const;

    // Records and faults.
    const std::vector<EventRecord>& Events() const;
    std::vector<std::u16string> EventTexts() const;
    const std::vector<MessageBoxRecord>& MessageBoxes() const;
    Faults& Inject();  // machine.Inject().setTimer.OnCall(2)
    HandleCounts OpenHandles() const;
    size_t OpenHandleCount() const { return OpenHandles().Total(); }
    // Closes, frees and releases of handles or strings that were not held (double frees).
    size_t InvalidReleases() const;

private:
    void Settle();
    std::unique_ptr<detail::MachineState> state_;
};

}  // namespace jobsvc::sim
