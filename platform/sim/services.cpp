// The service control manager (database and dispatcher) and the event log.
#include <stdexcept>

#include "platform/constants.h"
#include "platform/sim/state.h"
#include "platform/sim/text.h"

namespace jobsvc::sim::detail {
namespace {


std::u16string ServiceKeyPath(std::u16string_view name) {
    return u"HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + std::u16string(name);
}

std::vector<uint8_t> Bytes(std::u16string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return std::vector<uint8_t>(bytes, bytes + text.size() * sizeof(char16_t));
}

std::vector<uint8_t> StringBytes(std::u16string_view text) {
    return Bytes(std::u16string(text) + u'\0');
}

std::vector<uint8_t> DwordBytes(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// The whole double-terminated list, both final terminators included.
std::u16string DependencyList(const char16_t* list) {
    size_t length = 0;
    for (;;) {
        const size_t name = std::u16string_view(list + length).size();
        length += name + 1;
        if (name == 0) break;
    }
    return std::u16string(list, length);
}

uint32_t RightsForControl(uint32_t control) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
            return SERVICE_STOP;
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE:
            return SERVICE_PAUSE_CONTINUE;
        case SERVICE_CONTROL_INTERROGATE:
            return SERVICE_INTERROGATE;
        default:
            return control >= 128 ? SERVICE_USER_DEFINED_CONTROL : 0;
    }
}

std::optional<std::u16string> Optional(const char16_t* text) {
    return text == nullptr ? std::nullopt : std::optional<std::u16string>(text);
}

}  // namespace

ServiceEntry* MachineState::FindService(std::u16string_view name) {
    const auto found = services.find(Fold(name));
    return found == services.end() ? nullptr : &found->second;
}

void MachineState::AddService(StoredServiceConfig config) {
    // The manager keeps each entry in the registry too; the service's Parameters key lives
    // below it and goes with it.
    const std::u16string key = ServiceKeyPath(config.serviceName);
    registry.CreatePath(key);
    registry.SetPathValue(key, u"Type", REG_DWORD, DwordBytes(config.serviceType));
    registry.SetPathValue(key, u"Start", REG_DWORD, DwordBytes(config.startType));
    registry.SetPathValue(key, u"ErrorControl", REG_DWORD, DwordBytes(config.errorControl));
    registry.SetPathValue(key, u"ImagePath", REG_EXPAND_SZ, StringBytes(config.binaryPath));
    registry.SetPathValue(key, u"DisplayName", REG_SZ, StringBytes(config.displayName));
    registry.SetPathValue(key, u"ObjectName", REG_SZ,
                          StringBytes(config.account.value_or(u"LocalSystem")));
    if (config.dependencies) {
        registry.SetPathValue(key, u"DependOnService", REG_MULTI_SZ, Bytes(*config.dependencies));
    }
    const std::u16string folded = Fold(config.serviceName);
    services[folded] = ServiceEntry{std::move(config), SERVICE_STOPPED};
}

void MachineState::RemoveService(const std::u16string& folded) {
    const auto found = services.find(folded);
    if (found == services.end()) return;
    registry.DeletePath(ServiceKeyPath(found->second.config.serviceName));
    services.erase(found);
}

bool MachineState::QueueControl(std::u16string_view name, uint32_t code) {
    ServiceEntry* entry = FindService(name);
    const bool running =
        entry != nullptr && entry->process != nullptr && entry->state != SERVICE_STOPPED;
    controls.push_back(ControlRecord{scheduler.Now(), std::u16string(name), code, running});
    if (!running) return false;
    Dispatcher& dispatcher = entry->process->dispatcher;
    dispatcher.controls.push_back(code);
    if (dispatcher.thread != nullptr) scheduler.Wake(*dispatcher.thread);
    return true;
}

bool SimServices::StartDispatcher(const ServiceTableEntry* table) {
    Dispatcher& dispatcher = p_.dispatcher;
    // Only a process that the manager started can connect to it, and only once.
    if (!p_.startedByManager || dispatcher.entered || table == nullptr ||
        table[0].serviceProc == nullptr) {
        return p_.Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, false);
    }
    SimThread* self = Scheduler::Current();
    if (self == nullptr) throw std::logic_error("StartDispatcher on the test's thread");
    dispatcher.entered = true;
    dispatcher.thread = self;
    for (std::u16string& argument : dispatcher.arguments)
        dispatcher.argv.push_back(argument.data());
    dispatcher.argv.push_back(nullptr);

    const ServiceMainProc serviceMain = table[0].serviceProc;
    p_.StartThread([this, serviceMain] {
        Dispatcher& d = p_.dispatcher;
        serviceMain(static_cast<uint32_t>(d.arguments.size()), d.argv.data());
        d.serviceDone = true;
        p_.machine.scheduler.Wake(*d.thread);
    });

    // Control requests run here, on the process's first thread, as the platform does it.
    Scheduler& scheduler = p_.machine.scheduler;
    while (!dispatcher.serviceDone) {
        if (dispatcher.handler != nullptr && !dispatcher.controls.empty()) {
            const uint32_t control = dispatcher.controls.front();
            dispatcher.controls.pop_front();
            dispatcher.handler(control);
            continue;
        }
        if (scheduler.Block(std::nullopt) == WakeReason::Terminated) return false;
    }
    return true;
}

StatusHandle SimServices::RegisterHandler(const char16_t*, ControlHandlerProc handler) {
    // An own-process service gets its handler whatever name it gives.
    if (!p_.startedByManager || handler == nullptr) {
        return p_.Fail(ERROR_SERVICE_DOES_NOT_EXIST, StatusHandle{});
    }
    if (p_.machine.faults.registerHandler.Hit(p_.id)) {
        return p_.Fail(p_.machine.faults.registerHandler.Error(), StatusHandle{});
    }
    p_.dispatcher.handler = handler;
    if (p_.dispatcher.thread != nullptr) p_.machine.scheduler.Wake(*p_.dispatcher.thread);
    p_.statusHandles.push_back(
        std::make_unique<StatusHandleRecord>(StatusHandleRecord{&p_, p_.serviceName}));
    return reinterpret_cast<StatusHandle>(p_.statusHandles.back().get());
}

bool SimServices::SetStatus(StatusHandle handle, const ServiceStatus& status) {
    const StatusHandleRecord* record = nullptr;
    for (const auto& candidate : p_.statusHandles) {
        if (reinterpret_cast<StatusHandle>(candidate.get()) == handle) record = candidate.get();
    }
    if (record == nullptr) return p_.Fail(ERROR_INVALID_HANDLE, false);
    MachineState& machine = p_.machine;
    machine.statusHistory[Fold(record->serviceName)].push_back(
        StatusRecord{machine.scheduler.Now(), p_.id, status});
    ServiceEntry* entry = machine.FindService(record->serviceName);
    if (entry != nullptr && entry->process == &p_) {
        entry->state = status.currentState;
        if (status.currentState == SERVICE_STOPPED) entry->process = nullptr;
    }
    if (status.currentState == SERVICE_STOPPED) {
        p_.dispatcher.serviceDone = true;
        if (p_.dispatcher.thread != nullptr) {
            machine.scheduler.Wake(*p_.dispatcher.thread);
            // On a real machine the dispatcher may return, and the process end, before the
            // reporting thread runs again: let it, so a test sees what that loses.
            (void)machine.scheduler.Block(machine.scheduler.Now());
        }
    }
    return true;
}

ScHandle SimServices::OpenManager(uint32_t access) {
    if (p_.machine.faults.openManager.Hit(p_.id, access)) {
        return p_.Fail(p_.machine.faults.openManager.Error(), ScHandle{});
    }
    return p_.machine.scHandles.Add(ScHandleRecord{true, access, {}});
}

ScHandle SimServices::OpenServiceEntry(ScHandle manager, const char16_t* serviceName,
                                       uint32_t access) {
    const ScHandleRecord* record = p_.machine.scHandles.Find(manager);
    if (record == nullptr || !record->manager) return p_.Fail(ERROR_INVALID_HANDLE, ScHandle{});
    if (serviceName == nullptr) return p_.Fail(ERROR_INVALID_PARAMETER, ScHandle{});
    if (p_.machine.faults.openService.Hit(p_.id, access)) {
        return p_.Fail(p_.machine.faults.openService.Error(), ScHandle{});
    }
    const ServiceEntry* entry = p_.machine.FindService(serviceName);
    if (entry == nullptr) return p_.Fail(ERROR_SERVICE_DOES_NOT_EXIST, ScHandle{});
    return p_.machine.scHandles.Add(ScHandleRecord{false, access, entry->config.serviceName});
}

ScHandle SimServices::CreateServiceEntry(ScHandle manager, const ServiceConfig& config) {
    MachineState& machine = p_.machine;
    const ScHandleRecord* record = machine.scHandles.Find(manager);
    if (record == nullptr || !record->manager) return p_.Fail(ERROR_INVALID_HANDLE, ScHandle{});
    if ((record->access & SC_MANAGER_CREATE_SERVICE) == 0) {
        return p_.Fail(ERROR_ACCESS_DENIED, ScHandle{});
    }
    if (config.serviceName == nullptr || config.binaryPath == nullptr) {
        return p_.Fail(ERROR_INVALID_PARAMETER, ScHandle{});
    }
    if (machine.faults.createService.Hit(p_.id)) {
        return p_.Fail(machine.faults.createService.Error(), ScHandle{});
    }
    const std::u16string displayName = config.displayName ? config.displayName : config.serviceName;
    for (const auto& [folded, entry] : machine.services) {
        // Names and display names share one namespace.
        if (EqualNoCase(entry.config.serviceName, config.serviceName)) {
            return p_.Fail(ERROR_SERVICE_EXISTS, ScHandle{});
        }
        if (EqualNoCase(entry.config.displayName, displayName) ||
            EqualNoCase(entry.config.serviceName, displayName)) {
            return p_.Fail(ERROR_DUPLICATE_SERVICE_NAME, ScHandle{});
        }
    }
    StoredServiceConfig stored;
    stored.serviceName = config.serviceName;
    stored.displayName = displayName;
    stored.desiredAccess = config.desiredAccess;
    stored.serviceType = config.serviceType;
    stored.startType = config.startType;
    stored.errorControl = config.errorControl;
    stored.binaryPath = config.binaryPath;
    stored.loadOrderGroup = Optional(config.loadOrderGroup);
    stored.tagRequested = config.tagId != nullptr;
    if (config.dependencies != nullptr) stored.dependencies = DependencyList(config.dependencies);
    stored.account = Optional(config.account);
    stored.password = Optional(config.password);
    std::u16string name = stored.serviceName;
    machine.AddService(std::move(stored));
    return machine.scHandles.Add(ScHandleRecord{false, config.desiredAccess, std::move(name)});
}

bool SimServices::ControlService(ScHandle service, uint32_t control, ServiceStatus* status) {
    MachineState& machine = p_.machine;
    const ScHandleRecord* record = machine.scHandles.Find(service);
    if (record == nullptr || record->manager) return p_.Fail(ERROR_INVALID_HANDLE, false);
    const uint32_t rights = RightsForControl(control);
    if ((record->access & rights) != rights) return p_.Fail(ERROR_ACCESS_DENIED, false);
    // The request is queued for the service's dispatcher; nothing waits for its handler.
    const bool delivered = machine.QueueControl(record->serviceName, control);
    if (status != nullptr) {
        const ServiceEntry* entry = machine.FindService(record->serviceName);
        const auto& history = machine.statusHistory[Fold(record->serviceName)];
        *status = delivered && !history.empty()
                      ? history.back().status
                      : ServiceStatus{SERVICE_WIN32_OWN_PROCESS,
                                      entry ? entry->state : SERVICE_STOPPED,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0};
    }
    return delivered || p_.Fail(ERROR_SERVICE_NOT_ACTIVE, false);
}

bool SimServices::DeleteService(ScHandle service) {
    MachineState& machine = p_.machine;
    const ScHandleRecord* record = machine.scHandles.Find(service);
    if (record == nullptr || record->manager) return p_.Fail(ERROR_INVALID_HANDLE, false);
    if ((record->access & DELETE) == 0) return p_.Fail(ERROR_ACCESS_DENIED, false);
    if (machine.faults.deleteService.Hit(p_.id)) {
        return p_.Fail(machine.faults.deleteService.Error(), false);
    }
    const std::u16string folded = Fold(record->serviceName);
    if (machine.services.count(folded) == 0) return p_.Fail(ERROR_SERVICE_MARKED_FOR_DELETE, false);
    // Removed at once, also while the service runs: its process reports on under the name.
    machine.RemoveService(folded);
    return true;
}

bool SimServices::CloseServiceHandle(ScHandle handle) {
    MachineState& machine = p_.machine;
    const ScHandleRecord* record = machine.scHandles.Find(handle);
    if (record == nullptr) {
        ++machine.invalidReleases;
        return p_.Fail(ERROR_INVALID_HANDLE, false);
    }
    machine.scCloseLog.push_back(record->manager ? u"manager" : u"service:" + record->serviceName);
    machine.scHandles.Remove(handle);
    return true;
}

EventSource SimEventLog::RegisterSource(const char16_t* sourceName) {
    if (p_.machine.faults.registerSource.Hit(p_.id)) {
        return p_.Fail(p_.machine.faults.registerSource.Error(), EventSource{});
    }
    return p_.machine.eventSources.Add(EventSourceRecord{std::u16string(View(sourceName))});
}

bool SimEventLog::Report(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                         const char16_t* text) {
    const EventSourceRecord* record = p_.machine.eventSources.Find(source);
    if (record == nullptr) return p_.Fail(ERROR_INVALID_HANDLE, false);
    p_.machine.events.push_back(EventRecord{p_.machine.scheduler.Now(), p_.id, record->name, type,
                                            category, eventId, std::u16string(View(text))});
    return true;
}

bool SimEventLog::DeregisterSource(EventSource source) {
    if (p_.machine.eventSources.Remove(source)) return true;
    ++p_.machine.invalidReleases;
    return p_.Fail(ERROR_INVALID_HANDLE, false);
}

void SimEventLog::WriteStandardOutput(std::u16string_view line) {
    if (p_.options.standardOutput) p_.standardOutput.emplace_back(line);
}

}  // namespace jobsvc::sim::detail
