// The service control manager as a test drives it: entries, starts with parameters, stops,
// and waiting for a state.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "test_environment.h"

namespace e2e {

class ServiceHandle {
public:
    ServiceHandle() = default;
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ServiceHandle(ServiceHandle&& other) noexcept : handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    ServiceHandle& operator=(ServiceHandle&&) = delete;
    ServiceHandle(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }

    [[nodiscard]] SC_HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_ = nullptr;
};

// Each returns ERROR_SUCCESS or the error of the call that failed.
// An own-process, demand-start entry in the local system account; the display name is the
// service name unless given.
DWORD CreateServiceEntry(const std::wstring& name, const std::wstring& commandLine,
                         const std::wstring& displayName = {});
DWORD DeleteServiceEntry(const std::wstring& name);
DWORD StartWithParameters(const std::wstring& name, const std::vector<std::wstring>& parameters);
// `status` receives what the service reported in answer.
DWORD RequestStop(const std::wstring& name, SERVICE_STATUS* status = nullptr);
DWORD SendControl(const std::wstring& name, DWORD control, SERVICE_STATUS* status = nullptr);

// The current state (SERVICE_RUNNING, ...), empty when the service cannot be queried.
std::optional<DWORD> QueryState(const std::wstring& name);
bool WaitForState(const std::wstring& name, DWORD state, DWORD timeoutMs = kHangTimeoutMs);
// The process that runs the service; empty when it runs in none.
std::optional<DWORD> ProcessIdOf(const std::wstring& name);

struct ServiceConfig {
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    std::wstring binaryPath;
    std::wstring loadOrderGroup;
    std::vector<std::wstring> dependencies;
    std::wstring account;
    std::wstring displayName;
};
// What QueryServiceConfigW reports; empty when the entry cannot be read.
std::optional<ServiceConfig> QueryConfig(const std::wstring& name);

// Ends the service's run (a stop request, then the process if it does not stop) and deletes
// its entry. ERROR_SUCCESS once no entry of that name is left.
DWORD RemoveService(const std::wstring& name);
bool WaitForRemoval(const std::wstring& name, DWORD timeoutMs = kHangTimeoutMs);

}  // namespace e2e
