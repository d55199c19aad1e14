// The inside of the simulated machine: what all processes share and what each one keeps.
// Everything here is touched only by the holder of the scheduler's baton.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/machine.h"
#include "platform/sim/os.h"
#include "platform/sim/records.h"
#include "platform/sim/registry.h"
#include "platform/sim/scheduler.h"
#include "service/service_module.h"

namespace jobsvc::sim::detail {

// Opaque handles of one kind: the handle is the address of its record.
template <class Handle, class Record>
class HandleTable {
public:
    Handle Add(Record record) {
        auto owned = std::make_unique<Record>(std::move(record));
        const Handle handle = reinterpret_cast<Handle>(owned.get());
        items_.emplace(handle, std::move(owned));
        return handle;
    }
    Record* Find(Handle handle) const {
        const auto found = items_.find(handle);
        return found == items_.end() ? nullptr : found->second.get();
    }
    bool Remove(Handle handle) { return items_.erase(handle) > 0; }
    size_t Size() const { return items_.size(); }

private:
    std::map<Handle, std::unique_ptr<Record>> items_;
};

struct EventWaiter {
    SimThread* thread;
    bool granted = false;
};

struct EventObject {
    bool manualReset = false;
    bool signalled = false;
    std::u16string name;  // folded; empty for an unnamed event
    size_t handles = 0;
    // Waiters in arrival order; a signal hands an auto-reset event to the first one.
    std::deque<EventWaiter*> waiters;
};

struct KernelHandleRecord {
    std::shared_ptr<EventObject> event;
    uint32_t processId;
};

struct ScHandleRecord {
    bool manager;
    uint32_t access;
    std::u16string serviceName;
};

struct ServiceEntry {
    StoredServiceConfig config;
    uint32_t state = 1;  // SERVICE_STOPPED
    ProcessState* process = nullptr;
};

struct StatusHandleRecord {
    ProcessState* process;
    std::u16string serviceName;
};

struct EventSourceRecord {
    std::u16string name;
};

struct DispatchRecord {
    HandlerScript script;
};

struct TypeLibRecord {
    const ProfileResources* profile;
};

struct SecurityDescriptorRecord {
    uint32_t processId;
};

struct Timer {
    uintptr_t id;
    uint32_t periodMs;
    TimerProc proc;
    uint64_t due;
};

struct PostedMessage {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

// The part of a simulated thread that the platform keeps for it.
struct ThreadData {
    SimThread* thread = nullptr;
    std::deque<PostedMessage> messages;
    std::vector<Timer> timers;
    bool waitingForMessage = false;
    int32_t comDepth = 0;
    Win32Error lastError = 0;
};

// The service control dispatcher of a process started by the manager.
struct Dispatcher {
    bool entered = false;
    SimThread* thread = nullptr;
    ControlHandlerProc handler = nullptr;
    std::deque<uint32_t> controls;
    bool serviceDone = false;
    std::vector<std::u16string> arguments;  // argv[0] is the service name
    std::vector<char16_t*> argv;
};

struct MachineState {
    MachineState();
    ~MachineState();

    Scheduler scheduler;
    SimRegistry registry;
    Faults faults;

    // Processes and the executables on disk.
    std::vector<std::unique_ptr<Process>> processes;
    std::vector<ProcessState*> processStates;  // the same, in the same order
    uint32_t nextProcessId = 0x400;
    std::map<std::u16string, const ProfileResources*> images;        // by folded path
    std::map<std::u16string, const ProfileResources*> typeLibFiles;  // by folded path
    ProcessState* lastLaunched = nullptr;

    // Service control manager.
    std::map<std::u16string, ServiceEntry> services;  // by folded name
    std::map<std::u16string, std::vector<StatusRecord>> statusHistory;
    std::vector<ControlRecord> controls;
    std::vector<std::u16string> scCloseLog;
    HandleTable<ScHandle, ScHandleRecord> scHandles;

    // Event log and message boxes.
    HandleTable<EventSource, EventSourceRecord> eventSources;
    std::vector<EventRecord> events;
    std::vector<MessageBoxRecord> messageBoxes;

    // Kernel objects.
    HandleTable<KernelHandle, KernelHandleRecord> kernelHandles;
    std::map<std::u16string, std::shared_ptr<EventObject>> namedEvents;  // by folded name
    uintptr_t nextTimerId = 1;

    // Automation.
    std::map<std::u16string, Guid> progIds;           // by folded ProgID
    std::map<std::u16string, HandlerScript> classes;  // by class id text
    HandleTable<DispatchObject, DispatchRecord> dispatchObjects;
    HandleTable<SecurityDescriptor, SecurityDescriptorRecord> securityDescriptors;
    std::set<AutoString> strings;
    std::vector<JobRecord> jobs;
    std::vector<AutomationCall> automationCalls;
    std::vector<SecurityRecord> securityCalls;
    HandleTable<TypeLib, TypeLibRecord> typeLibs;
    std::vector<TypeLibCall> typeLibCalls;
    size_t invalidReleases = 0;  // frees and releases of what was not held

    // Kernel operations shared by the processes and the test's EventRef.
    KernelHandle CreateEvent(bool manualReset, bool initiallySignalled, const char16_t* name,
                             uint32_t processId);
    uint32_t WaitEvent(KernelHandle handle, uint32_t timeoutMs);
    bool SetEvent(KernelHandle handle);
    bool CloseKernelHandle(KernelHandle handle);

    Process& Launch(const ProfileResources& profile, std::u16string commandLine,
                    LaunchOptions options, const ServiceEntry* service,
                    std::vector<std::u16string> serviceArguments);
    ServiceEntry* FindService(std::u16string_view name);
    bool QueueControl(std::u16string_view name, uint32_t code);
    void AddService(StoredServiceConfig config);
    void RemoveService(const std::u16string& folded);
    ThreadData& CurrentThreadData();
    // Runs the machine at the current instant until all wait, unless it runs already.
    void SettleIfIdle();
    void FreeString(AutoString text);
};

struct ProcessState {
    ProcessState(MachineState& machine, uint32_t id, const ProfileResources& resources,
                 LaunchOptions options);

    MachineState& machine;
    Process* process = nullptr;
    uint32_t id;
    const ProfileResources& resources;
    LaunchOptions options;
    std::u16string imagePath;
    std::u16string commandLine;
    bool startedByManager = false;
    std::u16string serviceName;

    std::vector<std::u16string> standardOutput;
    bool exited = false;
    int32_t exitCode = 0;
    int32_t comBalance = 0;
    int32_t controllerComDepth = 0;  // for calls made on the test's thread
    Win32Error controllerLastError = 0;

    std::vector<SimThread*> threads;
    std::map<uint32_t, ThreadData> threadData;  // of the live threads, by identifier
    Dispatcher dispatcher;
    std::vector<std::unique_ptr<StatusHandleRecord>> statusHandles;

    SimServices services;
    SimEventLog eventLog;
    SimAutomation automation;
    SimTypeLibraries typeLibraries;
    SimKernel kernel;
    SimMessages messages;
    SimUserInterface ui;
    SimModule module;
    Platform platform;
    std::unique_ptr<ServiceModule> serviceModule;

    // `afterExit` runs on the thread after its body, holding the baton.
    SimThread& StartThread(std::function<void()> body, std::function<void()> afterExit = {});
    void End(int32_t code);
    // The calling thread's last error (the test's thread has one of its own).
    Win32Error& LastError();
    // Sets the last error and passes `result` through, for the failure paths.
    template <class T>
    T Fail(Win32Error error, T result) {
        LastError() = error;
        return result;
    }
};

ModuleHandle ImageInstance();

// The machine whose test thread calls ProcessModule() outside any simulated thread.
extern MachineState* controllerMachine;

}  // namespace jobsvc::sim::detail
