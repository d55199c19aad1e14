// The service control manager as the benchmark drives it: entries, timed starts and stops,
// and the run gate left free between measurements.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace bench {

// Generous: only a hang should ever reach it.
inline constexpr DWORD kHangTimeoutMs = 60000;

class Service {
public:
    Service(Service&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Service& operator=(Service&&) = delete;
    Service(const Service&) = delete;
    ~Service();

    // Nothing when the entry cannot be opened for start, stop and query.
    static std::optional<Service> Open(const std::wstring& name);

    // False when the service control manager refused the request.
    bool RequestStart(const std::vector<std::wstring>& parameters);
    bool RequestStop();
    // Polls until the state is reached; false on a time-out or when the service stopped
    // instead.
    bool WaitForState(DWORD state, DWORD timeoutMs = kHangTimeoutMs);
    std::optional<DWORD> State() const;
    std::optional<DWORD> ProcessId() const;

private:
    explicit Service(SC_HANDLE handle) : handle_(handle) {}

    SC_HANDLE handle_;
};

// An own-process, demand-start entry for `path`; an entry of that name is replaced.
bool CreateOwnProcessService(const std::wstring& name, const std::wstring& path);
// Runs "<path> -Service" and returns its exit code (nothing if it did not run or hung).
std::optional<DWORD> RegisterAsService(const std::wstring& path);

// A service's process, to wait for its end after a stop.
class ProcessWatch {
public:
    explicit ProcessWatch(DWORD processId);
    ProcessWatch(ProcessWatch&& other) noexcept : handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    ProcessWatch& operator=(ProcessWatch&&) = delete;
    ProcessWatch(const ProcessWatch&) = delete;
    ~ProcessWatch();
    bool WaitForExit(DWORD timeoutMs = kHangTimeoutMs) const;

private:
    HANDLE handle_ = nullptr;
};

// A stopping service of the family keeps the run gate for good; the benchmark hands it back
// so that the next stop meets a free gate, as its measurement assumes.
void FreeRunGate();

// A service started with `parameters` and RUNNING, and its process.
struct Running {
    Service service;
    DWORD processId;
};
std::optional<Running> StartAndWait(const std::wstring& name,
                                    const std::vector<std::wstring>& parameters);
// Frees the gate, stops the service and waits for its process to end.
bool StopAndWait(Running& running);

// Stops them all, freeing the gate while they wait for it, and waits for their processes.
bool StopAll(std::vector<Service>& services);

}  // namespace bench
