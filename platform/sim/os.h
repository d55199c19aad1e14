// The seam's interfaces as one simulated process sees them. The registry is the machine's
// own object; everything else answers for the process that owns it.
#pragma once

#include "platform/platform.h"

namespace jobsvc::sim::detail {

struct ProcessState;

class SimServices final : public ServiceManager {
public:
    explicit SimServices(ProcessState& process) : p_(process) {}
    bool StartDispatcher(const ServiceTableEntry* table) override;
    StatusHandle RegisterHandler(const char16_t* serviceName, ControlHandlerProc handler) override;
    bool SetStatus(StatusHandle handle, const ServiceStatus& status) override;
    ScHandle OpenManager(uint32_t access) override;
    ScHandle OpenServiceEntry(ScHandle manager, const char16_t* serviceName,
                              uint32_t access) override;
    ScHandle CreateServiceEntry(ScHandle manager, const ServiceConfig& config) override;
    bool ControlService(ScHandle service, uint32_t control, ServiceStatus* status) override;
    bool DeleteService(ScHandle service) override;
    bool CloseServiceHandle(ScHandle handle) override;

private:
    ProcessState& p_;
};

class SimEventLog final : public EventLog {
public:
    explicit SimEventLog(ProcessState& process) : p_(process) {}
    EventSource RegisterSource(const char16_t* sourceName) override;
    bool Report(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                const char16_t* text) override;
    bool DeregisterSource(EventSource source) override;
    void WriteStandardOutput(std::u16string_view line) override;

private:
    ProcessState& p_;
};

class SimAutomation final : public Automation {
public:
    explicit SimAutomation(ProcessState& process) : p_(process) {}
    HResult Initialize() override;
    void Uninitialize() override;
    SecurityDescriptor CreateOpenSecurityDescriptor() override;
    void FreeSecurityDescriptor(SecurityDescriptor descriptor) override;
    HResult InitializeSecurity(SecurityDescriptor descriptor, uint32_t authenticationLevel,
                               uint32_t impersonationLevel, uint32_t capabilities) override;
    AutoString AllocString(std::u16string_view text) override;
    AutoString AllocStringFromAnsi(const char* text) override;
    void FreeString(AutoString text) override;
    HResult ClassFromProgId(AutoString progId, Guid* classId) override;
    HResult CreateDispatch(const Guid& classId, uint32_t context, DispatchObject* result) override;
    HResult GetIdOfName(DispatchObject object, AutoString name, uint32_t locale,
                        int32_t* dispatchId) override;
    HResult InvokeWithString(DispatchObject object, int32_t dispatchId, uint32_t locale,
                             uint16_t flags, AutoString argument) override;
    void Release(DispatchObject object) override;

private:
    ProcessState& p_;
};

class SimTypeLibraries final : public TypeLibraries {
public:
    explicit SimTypeLibraries(ProcessState& process) : p_(process) {}
    HResult Load(const char16_t* path, TypeLib* result) override;
    HResult Register(TypeLib library, const char16_t* path, const char16_t* helpDirectory) override;
    HResult GetAttributes(TypeLib library, TypeLibAttributes* result) override;
    bool UnregisterByLookup(const TypeLibAttributes& attributes, HResult* result) override;
    void Release(TypeLib library) override;

private:
    ProcessState& p_;
};

class SimKernel final : public Kernel {
public:
    explicit SimKernel(ProcessState& process) : p_(process) {}
    KernelHandle CreateNamedEvent(bool manualReset, bool initiallySignalled,
                                  const char16_t* name) override;
    uint32_t Wait(KernelHandle handle, uint32_t timeoutMs) override;
    bool SetEvent(KernelHandle handle) override;
    bool CloseHandle(KernelHandle handle) override;
    bool StartThread(ThreadProc proc, void* parameter) override;
    uint32_t CurrentThreadId() override;
    Win32Error LastError() override;

private:
    ProcessState& p_;
};

class SimMessages final : public MessageQueue {
public:
    explicit SimMessages(ProcessState& process) : p_(process) {}
    uintptr_t SetTimer(uintptr_t requestedId, uint32_t periodMs, TimerProc callback) override;
    bool KillTimer(uintptr_t timerId) override;
    int32_t GetAndDispatchMessage() override;
    bool PostToThread(uint32_t threadId, uint32_t message, uintptr_t wParam,
                      intptr_t lParam) override;

private:
    ProcessState& p_;
};

class SimUserInterface final : public UserInterface {
public:
    explicit SimUserInterface(ProcessState& process) : p_(process) {}
    int32_t ShowMessageBox(const char16_t* text, const char16_t* caption, uint32_t style) override;

private:
    ProcessState& p_;
};

class SimModule final : public Module {
public:
    explicit SimModule(ProcessState& process) : p_(process) {}
    const char16_t* CommandLine() override;
    uint32_t FileName(char16_t* buffer, uint32_t capacity) override;
    int32_t LoadText(ModuleHandle instance, uint32_t id, char16_t* buffer,
                     int32_t capacity) override;
    std::span<const std::byte> FindResourceData(ModuleHandle instance, const char16_t* type,
                                                uint32_t id) override;
    const char16_t* NextChar(const char16_t* text) override;
    int32_t CompareNoCase(const char16_t* left, const char16_t* right) override;

private:
    ProcessState& p_;
};

}  // namespace jobsvc::sim::detail
