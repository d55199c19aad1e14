// What tests give the simulated machine (launch options, faults, scripted job handlers) and
// what it records for them to check.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace jobsvc {
class ServiceModule;
}

namespace jobsvc::sim {

struct LaunchOptions {
    std::u16string imagePath;                   // empty: DefaultImagePath(profile)
    std::optional<std::u16string> commandLine;  // exact text; otherwise built from the path
    bool standardOutput = true;                 // false: lines written to it are lost
    bool typeLibResource = true;                // "TYPELIB" 1
    bool registrationScript = true;             // "REGISTRY" 100
    bool stringTable = true;                    // strings 100-103
    // What the first thread runs; empty: the runtime's ProgramEntry.
    std::function<int32_t(ServiceModule&, ModuleHandle)> entry;
};

// When a simulated call fails. Calls are counted from the moment the fault is set up; with
// InProcess or ForAccess only the calls that match count.
class Fault {
public:
    Fault& Always() { return FromCall(1); }
    Fault& OnCall(uint32_t n) { return Set(n, false); }   // only the nth call (1: the next)
    Fault& FromCall(uint32_t n) { return Set(n, true); }  // the nth call and all after it
    // Only calls of that process count.
    Fault& InProcess(uint32_t processId) {
        processId_ = processId;
        return *this;
    }
    // Only calls that ask for any of these access rights count.
    Fault& ForAccess(uint32_t mask) {
        accessMask_ = mask;
        return *this;
    }
    // What a failing call that returns an HRESULT returns.
    Fault& WithResult(HResult result) {
        result_ = result;
        return *this;
    }
    // The thread's last error after a failing call.
    Fault& WithError(Win32Error error) {
        error_ = error;
        return *this;
    }
    void Clear() { *this = Fault(); }

    // Counts one call; true when this one is to fail.
    bool Hit(uint32_t processId, uint32_t access = ~0u) {
        if (firstFailing_ == 0) return false;
        if (processId_ != 0 && processId != processId_) return false;
        if ((access & accessMask_) == 0) return false;
        ++calls_;
        return calls_ == firstFailing_ || (repeat_ && calls_ > firstFailing_);
    }
    HResult Result() const { return result_; }
    Win32Error Error() const { return error_; }

private:
    Fault& Set(uint32_t n, bool repeat) {
        firstFailing_ = n;
        repeat_ = repeat;
        calls_ = 0;
        return *this;
    }

    uint32_t firstFailing_ = 0;  // 0: never
    bool repeat_ = false;
    uint32_t calls_ = 0;
    uint32_t processId_ = 0;
    uint32_t accessMask_ = ~0u;
    HResult result_ = static_cast<HResult>(0x80004005);  // E_FAIL
    Win32Error error_ = 5;                               // ERROR_ACCESS_DENIED
};

struct Faults {
    Fault openManager;  // ForAccess: only requests for these rights are refused
    Fault openService;  // ForAccess as above
    Fault createService;
    Fault deleteService;
    Fault registerHandler;
    Fault registerSource;
    Fault createEvent;
    Fault startThread;
    Fault setTimer;
    Fault allocString;    // AllocString and AllocStringFromAnsi alike
    Fault comInitialize;  // returns Result()
    Fault securityDescriptor;
    Fault initializeSecurity;  // returns Result()
    Fault loadTypeLib;         // returns Result()
    Fault registerTypeLib;     // returns Result()
    Fault unregisterLookup;    // UnregisterByLookup returns false
};

// The configuration of a service entry as the database keeps it.
struct StoredServiceConfig {
    std::u16string serviceName;
    std::u16string displayName;
    uint32_t desiredAccess = 0;  // of the handle asked for at creation
    uint32_t serviceType = 0x10;
    uint32_t startType = 3;
    uint32_t errorControl = 1;
    std::u16string binaryPath;
    std::optional<std::u16string> loadOrderGroup;
    bool tagRequested = false;
    // The double-terminated list with its terminators, e.g. std::u16string(u"RPCSS\0\0", 7).
    std::optional<std::u16string> dependencies;
    std::optional<std::u16string> account;
    std::optional<std::u16string> password;
};

struct StatusRecord {
    uint64_t time;
    uint32_t processId;
    ServiceStatus status;
};

struct ControlRecord {
    uint64_t time;
    std::u16string serviceName;
    uint32_t control;
    bool delivered;  // queued for a running service
};

struct EventRecord {
    uint64_t time;
    uint32_t processId;
    std::u16string source;
    uint16_t type;
    uint16_t category;
    uint32_t eventId;
    std::u16string text;
};

struct MessageBoxRecord {
    uint64_t time;
    uint32_t processId;
    std::u16string text;
    std::u16string caption;
    uint32_t style;
};

struct RegValue {
    uint32_t type;
    std::vector<uint8_t> data;
};

// A scripted job handler behind a ProgID.
struct HandlerScript {
    enum class Behaviour { Succeed, Fail, NoRunMethod, NotCreatable };
    Behaviour behaviour = Behaviour::Succeed;
    // Fail: what "Run" returns; NotCreatable: what CreateDispatch returns.
    HResult failure = static_cast<HResult>(0x80004005);
    uint64_t durationMs = 0;  // virtual time that "Run" takes; the caller blocks meanwhile
    // Called on the calling thread when "Run" starts, with the index of its JobRecord.
    std::function<void(size_t job)> onStart{};
};

struct JobRecord {
    std::u16string task;
    uint32_t processId;
    uint32_t threadId;
    uint64_t start;
    std::optional<uint64_t> end;  // none while it runs, or when its process was torn down
    HResult result;
};

struct AutomationCall {
    enum class Kind { ClassFromProgId, CreateDispatch, GetIdOfName, Invoke };
    Kind kind;
    uint32_t processId;
    std::u16string text;  // ProgID, name or argument
    Guid classId;
    uint32_t context;
    uint32_t locale;
    uint16_t flags;
    int32_t dispatchId;
    HResult result;
};

struct SecurityRecord {
    uint32_t processId;
    bool descriptorGiven;
    uint32_t authenticationLevel;
    uint32_t impersonationLevel;
    uint32_t capabilities;
    HResult result;
};

struct TypeLibCall {
    enum class Kind { Register, Unregister };
    Kind kind;
    uint32_t processId;
    Guid libId;
    std::u16string path;           // Register only
    std::u16string helpDirectory;  // Register only
    HResult result;
};

struct HandleCounts {
    size_t registryKeys = 0;
    size_t scHandles = 0;
    size_t kernelHandles = 0;
    size_t eventSources = 0;
    size_t dispatchObjects = 0;
    size_t strings = 0;
    size_t typeLibraries = 0;
    size_t securityDescriptors = 0;
    size_t Total() const {
        return registryKeys + scHandles + kernelHandles + eventSources + dispatchObjects + strings +
               typeLibraries + securityDescriptors;
    }
};

}  // namespace jobsvc::sim
