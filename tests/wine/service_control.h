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
// An own-process, demand-start entry in the local system account.
DWORD CreateServiceEntry(const std::wstring& name, const std::wstring& commandLine);
DWORD DeleteServiceEntry(const std::wstring& name);
DWORD StartWithParameters(const std::wstring& name, const std::vector<std::wstring>& parameters);
DWORD RequestStop(const std::wstring& name);

// The current state (SERVICE_RUNNING, ...), empty when the service cannot be queried.
std::optional<DWORD> QueryState(const std::wstring& name);
bool WaitForState(const std::wstring& name, DWORD state, DWORD timeoutMs = kHangTimeoutMs);

}  // namespace e2e
