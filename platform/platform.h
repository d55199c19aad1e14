// The seam between the job service runtime and the operating system.
//
// The runtime never sees windows.h. Each interface below is as thin as the Win32 calls
// behind it, so platform/win32 is a direct translation and every decision stays in the
// runtime, where the simulated machine (platform/sim) can reach it. Values (access masks,
// error codes, states) are the platform's own numbers; see constants.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// Callbacks handed to the platform must use its calling convention (stdcall on i686).
#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_CALLBACK __stdcall
#else
#define PLATFORM_CALLBACK
#endif

namespace jobsvc {

using Win32Error = uint32_t;  // ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ...
using HResult = int32_t;      // S_OK, E_FAIL, ...

// Same layout as the platform's GUID.
struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
    friend bool operator==(const Guid&, const Guid&) = default;
};

// Same layout as SERVICE_STATUS.
struct ServiceStatus {
    uint32_t serviceType;
    uint32_t currentState;
    uint32_t controlsAccepted;
    uint32_t win32ExitCode;
    uint32_t serviceSpecificExitCode;
    uint32_t checkPoint;
    uint32_t waitHint;
};

// Opaque handles. Each interface hands out and takes back only its own kind.
struct RegKeyTag;
using RegKey = RegKeyTag*;
struct ScHandleTag;
using ScHandle = ScHandleTag*;
struct StatusHandleTag;
using StatusHandle = StatusHandleTag*;
struct EventSourceTag;
using EventSource = EventSourceTag*;
struct KernelHandleTag;
using KernelHandle = KernelHandleTag*;
struct DispatchTag;
using DispatchObject = DispatchTag*;  // an IDispatch reference
struct TypeLibTag;
using TypeLib = TypeLibTag*;
struct SecurityDescriptorTag;
using SecurityDescriptor = SecurityDescriptorTag*;
struct ModuleTag;
using ModuleHandle = ModuleTag*;  // the executable's instance handle

// An automation string (BSTR): UTF-16 text that the automation allocator owns.
using AutoString = char16_t*;

using ServiceMainProc = void(PLATFORM_CALLBACK*)(uint32_t argc, char16_t** argv);
using ControlHandlerProc = void(PLATFORM_CALLBACK*)(uint32_t control);
using ThreadProc = uint32_t(PLATFORM_CALLBACK*)(void* parameter);
using TimerProc = void(PLATFORM_CALLBACK*)(void* window, uint32_t message, uintptr_t timerId,
                                           uint32_t time);

// Same layout as SERVICE_TABLE_ENTRYW.
struct ServiceTableEntry {
    char16_t* serviceName;
    ServiceMainProc serviceProc;
};

// The arguments of CreateServiceW that the runtime chooses.
struct ServiceConfig {
    const char16_t* serviceName;
    const char16_t* displayName;
    uint32_t desiredAccess;
    uint32_t serviceType;
    uint32_t startType;
    uint32_t errorControl;
    const char16_t* binaryPath;
    const char16_t* loadOrderGroup;  // null: none
    uint32_t* tagId;                 // null: none requested
    const char16_t* dependencies;    // double-terminated list, or null
    const char16_t* account;         // null: local system
    const char16_t* password;
};

struct TypeLibAttributes {
    Guid libId;
    uint32_t locale;
    int32_t systemKind;
    uint16_t majorVersion;
    uint16_t minorVersion;
};

class Registry {
public:
    // Predefined roots, the same values as the platform's HKEY_CLASSES_ROOT and
    // HKEY_LOCAL_MACHINE.
    static RegKey ClassesRoot() { return Predefined(0x80000000); }
    static RegKey LocalMachine() { return Predefined(0x80000002); }

    [[nodiscard]] virtual Win32Error OpenKey(RegKey parent, const char16_t* subKey,
                                             uint32_t access, RegKey* result) = 0;
    // RegCreateKeyExW with no class, non-volatile, default security.
    [[nodiscard]] virtual Win32Error CreateKey(RegKey parent, const char16_t* subKey,
                                               uint32_t access, RegKey* result) = 0;
    // RegQueryValueExW: `size` is the capacity in bytes on entry, the data size on return.
    [[nodiscard]] virtual Win32Error QueryValue(RegKey key, const char16_t* name,
                                                uint32_t* type, void* data,
                                                uint32_t* size) = 0;
    [[nodiscard]] virtual Win32Error SetValue(RegKey key, const char16_t* name, uint32_t type,
                                              const void* data, uint32_t size) = 0;
    [[nodiscard]] virtual Win32Error DeleteValue(RegKey key, const char16_t* name) = 0;
    // Removes the subkey with everything below it (RegDeleteTreeW with a subkey name).
    [[nodiscard]] virtual Win32Error DeleteTree(RegKey parent, const char16_t* subKey) = 0;
    virtual Win32Error CloseKey(RegKey key) = 0;

protected:
    ~Registry() = default;

private:
    static RegKey Predefined(uint32_t value) {
        // The platform sign-extends these 32-bit constants to pointer width.
        return reinterpret_cast<RegKey>(static_cast<intptr_t>(static_cast<int32_t>(value)));
    }
};

class ServiceManager {
public:
    // The service process's side.
    [[nodiscard]] virtual bool StartDispatcher(const ServiceTableEntry* table) = 0;
    [[nodiscard]] virtual StatusHandle RegisterHandler(const char16_t* serviceName,
                                                       ControlHandlerProc handler) = 0;
    virtual bool SetStatus(StatusHandle handle, const ServiceStatus& status) = 0;

    // The database's side.
    [[nodiscard]] virtual ScHandle OpenManager(uint32_t access) = 0;
    [[nodiscard]] virtual ScHandle OpenServiceEntry(ScHandle manager, const char16_t* serviceName,
                                               uint32_t access) = 0;
    [[nodiscard]] virtual ScHandle CreateServiceEntry(ScHandle manager, const ServiceConfig& config) = 0;
    virtual bool ControlService(ScHandle service, uint32_t control, ServiceStatus* status) = 0;
    [[nodiscard]] virtual bool DeleteService(ScHandle service) = 0;
    virtual bool CloseServiceHandle(ScHandle handle) = 0;

protected:
    ~ServiceManager() = default;
};

class EventLog {
public:
    [[nodiscard]] virtual EventSource RegisterSource(const char16_t* sourceName) = 0;
    // ReportEventW with no user SID, one insertion string and no raw data.
    virtual bool Report(EventSource source, uint16_t type, uint16_t category, uint32_t eventId,
                        const char16_t* text) = 0;
    virtual bool DeregisterSource(EventSource source) = 0;
    // One line on the process's standard output, line end added; failures are dropped.
    virtual void WriteStandardOutput(std::u16string_view line) = 0;

protected:
    ~EventLog() = default;
};

class Automation {
public:
    [[nodiscard]] virtual HResult Initialize() = 0;  // CoInitialize: single-threaded apartment
    virtual void Uninitialize() = 0;
    // Owner and group from the thread's token (the process's without one), null DACL.
    [[nodiscard]] virtual SecurityDescriptor CreateOpenSecurityDescriptor() = 0;
    virtual void FreeSecurityDescriptor(SecurityDescriptor descriptor) = 0;
    // CoInitializeSecurity(descriptor, -1, null, null, authnLevel, impLevel, null,
    // capabilities, null).
    [[nodiscard]] virtual HResult InitializeSecurity(SecurityDescriptor descriptor,
                                                     uint32_t authenticationLevel,
                                                     uint32_t impersonationLevel,
                                                     uint32_t capabilities) = 0;

    // Automation strings; both allocators return null when memory is short.
    [[nodiscard]] virtual AutoString AllocString(std::u16string_view text) = 0;
    // Converts narrow text through the system's ANSI code page.
    [[nodiscard]] virtual AutoString AllocStringFromAnsi(const char* text) = 0;
    virtual void FreeString(AutoString text) = 0;

    [[nodiscard]] virtual HResult ClassFromProgId(AutoString progId, Guid* classId) = 0;
    [[nodiscard]] virtual HResult CreateDispatch(const Guid& classId, uint32_t context,
                                                 DispatchObject* result) = 0;
    [[nodiscard]] virtual HResult GetIdOfName(DispatchObject object, AutoString name,
                                              uint32_t locale, int32_t* dispatchId) = 0;
    // Invoke with IID_NULL and one positional VT_BSTR argument; no result, exception
    // record or argument-error index is asked for.
    [[nodiscard]] virtual HResult InvokeWithString(DispatchObject object, int32_t dispatchId,
                                                   uint32_t locale, uint16_t flags,
                                                   AutoString argument) = 0;
    virtual void Release(DispatchObject object) = 0;

protected:
    ~Automation() = default;
};

class TypeLibraries {
public:
    [[nodiscard]] virtual HResult Load(const char16_t* path, TypeLib* result) = 0;
    [[nodiscard]] virtual HResult Register(TypeLib library, const char16_t* path,
                                           const char16_t* helpDirectory) = 0;
    [[nodiscard]] virtual HResult GetAttributes(TypeLib library, TypeLibAttributes* result) = 0;
    // UnRegisterTypeLib, looked up in oleaut32.dll at run time. False when the module or the
    // function cannot be found; `result` is then untouched.
    [[nodiscard]] virtual bool UnregisterByLookup(const TypeLibAttributes& attributes,
                                                  HResult* result) = 0;
    virtual void Release(TypeLib library) = 0;

protected:
    ~TypeLibraries() = default;
};

class Kernel {
public:
    // CreateEventW with default security; opens the existing event of that name unchanged.
    [[nodiscard]] virtual KernelHandle CreateNamedEvent(bool manualReset, bool initiallySignalled,
                                                   const char16_t* name) = 0;
    [[nodiscard]] virtual uint32_t Wait(KernelHandle handle, uint32_t timeoutMs) = 0;
    virtual bool SetEvent(KernelHandle handle) = 0;
    virtual bool CloseHandle(KernelHandle handle) = 0;
    // CreateThread (default security and stack, running at once) whose handle is closed
    // straight away. False when no thread could be created.
    [[nodiscard]] virtual bool StartThread(ThreadProc proc, void* parameter) = 0;
    [[nodiscard]] virtual uint32_t CurrentThreadId() = 0;
    // GetLastError: the error of the calling thread's last failed call.
    [[nodiscard]] virtual Win32Error LastError() = 0;

protected:
    ~Kernel() = default;
};

class MessageQueue {
public:
    // SetTimer with no window: returns the timer's identifier, 0 on failure.
    [[nodiscard]] virtual uintptr_t SetTimer(uintptr_t requestedId, uint32_t periodMs,
                                             TimerProc callback) = 0;
    virtual bool KillTimer(uintptr_t timerId) = 0;
    // GetMessageW for any window, then DispatchMessageW when a message other than the quit
    // was retrieved. Returns what the retrieval returned: 0 for the quit message.
    virtual int32_t GetAndDispatchMessage() = 0;
    virtual bool PostToThread(uint32_t threadId, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam) = 0;

protected:
    ~MessageQueue() = default;
};

class UserInterface {
public:
    // MessageBoxW with no owner window.
    virtual int32_t ShowMessageBox(const char16_t* text, const char16_t* caption, uint32_t style) = 0;

protected:
    ~UserInterface() = default;
};

class Module {
public:
    [[nodiscard]] virtual const char16_t* CommandLine() = 0;
    // GetModuleFileNameW for the process image: units copied, without the terminator.
    [[nodiscard]] virtual uint32_t FileName(char16_t* buffer, uint32_t capacity) = 0;
    // LoadStringW: units copied, without the terminator; a longer text is cut and
    // terminated.
    virtual int32_t LoadText(ModuleHandle instance, uint32_t id, char16_t* buffer,
                             int32_t capacity) = 0;
    // FindResourceExW (language 1033) + LoadResource + SizeofResource; empty when missing.
    [[nodiscard]] virtual std::span<const std::byte> FindResourceData(ModuleHandle instance,
                                                                      const char16_t* type,
                                                                      uint32_t id) = 0;
    // CharNextW and lstrcmpiW.
    [[nodiscard]] virtual const char16_t* NextChar(const char16_t* text) = 0;
    [[nodiscard]] virtual int32_t CompareNoCase(const char16_t* left, const char16_t* right) = 0;

protected:
    ~Module() = default;
};

// Everything the runtime may ask of the operating system.
struct Platform {
    Registry& registry;
    ServiceManager& services;
    EventLog& eventLog;
    Automation& automation;
    TypeLibraries& typeLibraries;
    Kernel& kernel;
    MessageQueue& messages;
    UserInterface& ui;
    Module& module;
};

}  // namespace jobsvc
