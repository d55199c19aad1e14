// The seam implemented by the Win32 API: each class is a direct translation, with no
// decision of its own. This header stays free of windows.h so that any translation unit may
// hold a Win32Platform.
#pragma once

#include "platform/platform.h"

namespace jobsvc::win32 {

class Win32Registry final : public Registry {
public:
    Win32Error OpenKey(RegKey parent, const char16_t* subKey, uint32_t access,
                       RegKey* result) override;
    Win32Error CreateKey(RegKey parent, const char16_t* subKey, uint32_t access,
                         RegKey* result) override;
    Win32Error QueryValue(RegKey key, const char16_t* name, uint32_t* type, void* data,
                          uint32_t* size) override;
    Win32Error SetValue(RegKey key, const char16_t* name, uint32_t type, const void* data,
                        uint32_t size) override;
    Win32Error DeleteValue(RegKey key, const char16_t* name) override;
    Win32Error DeleteTree(RegKey parent, const char16_t* subKey) override;
    Win32Error CloseKey(RegKey key) override;
};

class Win32ServiceManager final : public ServiceManager {
public:
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
};

class Win32EventLog final : public EventLog {
public:
    EventSource RegisterSource(const char16_t* sourceName) override;
    bool Report(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                const char16_t* text) override;
    bool DeregisterSource(EventSource source) override;
    void WriteStandardOutput(std::u16string_view line) override;
};

class Win32Automation final : public Automation {
public:
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
    HResult CreateDispatch(const Guid& classId, uint32_t context,
                           DispatchObject* result) override;
    HResult GetIdOfName(DispatchObject object, AutoString name, uint32_t locale,
                        int32_t* dispatchId) override;
    HResult InvokeWithString(DispatchObject object, int32_t dispatchId, uint32_t locale,
                             uint16_t flags, AutoString argument) override;
    void Release(DispatchObject object) override;
};

class Win32TypeLibraries final : public TypeLibraries {
public:
    HResult Load(const char16_t* path, TypeLib* result) override;
    HResult Register(TypeLib library, const char16_t* path,
                     const char16_t* helpDirectory) override;
    HResult GetAttributes(TypeLib library, TypeLibAttributes* result) override;
    bool UnregisterByLookup(const TypeLibAttributes& attributes, HResult* result) override;
    void Release(TypeLib library) override;
};

class Win32Kernel final : public Kernel {
public:
    KernelHandle CreateNamedEvent(bool manualReset, bool initiallySignalled,
                                  const char16_t* name) override;
    uint32_t Wait(KernelHandle handle, uint32_t timeoutMs) override;
    bool SetEvent(KernelHandle handle) override;
    bool CloseHandle(KernelHandle handle) override;
    bool StartThread(ThreadProc proc, void* parameter) override;
    uint32_t CurrentThreadId() override;
    Win32Error LastError() override;
};

class Win32MessageQueue final : public MessageQueue {
public:
    uintptr_t SetTimer(uintptr_t requestedId, uint32_t periodMs, TimerProc callback) override;
    bool KillTimer(uintptr_t timerId) override;
    int32_t GetAndDispatchMessage() override;
    bool PostToThread(uint32_t threadId, uint32_t message, uintptr_t wParam,
                      intptr_t lParam) override;
};

class Win32UserInterface final : public UserInterface {
public:
    int32_t ShowMessageBox(const char16_t* text, const char16_t* caption,
                           uint32_t style) override;
};

class Win32Module final : public Module {
public:
    const char16_t* CommandLine() override;
    uint32_t FileName(char16_t* buffer, uint32_t capacity) override;
    int32_t LoadText(ModuleHandle instance, uint32_t id, char16_t* buffer,
                     int32_t capacity) override;
    std::span<const std::byte> FindResourceData(ModuleHandle instance, const char16_t* type,
                                                uint32_t id) override;
    const char16_t* NextChar(const char16_t* text) override;
    int32_t CompareNoCase(const char16_t* left, const char16_t* right) override;
};

// All of the above; the objects hold no state, so one per process is plenty.
class Win32Platform {
public:
    Win32Platform() = default;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    [[nodiscard]] Platform Interfaces() {
        return Platform{registry_, services_, eventLog_,  automation_, typeLibraries_,
                        kernel_,   messages_, ui_,        module_};
    }

private:
    Win32Registry registry_;
    Win32ServiceManager services_;
    Win32EventLog eventLog_;
    Win32Automation automation_;
    Win32TypeLibraries typeLibraries_;
    Win32Kernel kernel_;
    Win32MessageQueue messages_;
    Win32UserInterface ui_;
    Win32Module module_;
};

}  // namespace jobsvc::win32
