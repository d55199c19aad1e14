#include "services.h"

#include "clock.h"

namespace bench {
namespace {

// About a millisecond between queries: fine beside starts of a few hundred milliseconds and
// stops of tens, without taking a core from the service being measured.
constexpr DWORD kPollMs = 1;

class Manager {
public:
    explicit Manager(DWORD access) : handle_(OpenSCManagerW(nullptr, nullptr, access)) {}
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;
    ~Manager() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    [[nodiscard]] SC_HANDLE Get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

std::optional<SERVICE_STATUS_PROCESS> Query(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed)) {
        return std::nullopt;
    }
    return status;
}

}  // namespace

Service::~Service() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
}

std::optional<Service> Service::Open(const std::wstring& name) {
    const Manager manager(SC_MANAGER_CONNECT);
    if (manager.Get() == nullptr) return std::nullopt;
    const SC_HANDLE handle = OpenServiceW(manager.Get(), name.c_str(),
                                          SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (handle == nullptr) return std::nullopt;
    return Service(handle);
}

bool Service::RequestStart(const std::vector<std::wstring>& parameters) {
    std::vector<const wchar_t*> arguments;
    for (const std::wstring& parameter : parameters) arguments.push_back(parameter.c_str());
    return StartServiceW(handle_, static_cast<DWORD>(arguments.size()),
                         arguments.empty() ? nullptr : arguments.data()) != FALSE;
}

bool Service::RequestStop() {
    SERVICE_STATUS status;
    return ControlService(handle_, SERVICE_CONTROL_STOP, &status) != FALSE;
}

bool Service::WaitForState(DWORD state, DWORD timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    for (;;) {
        const std::optional<SERVICE_STATUS_PROCESS> status = Query(handle_);
        if (status && status->dwCurrentState == state) return true;
        if (status && status->dwCurrentState == SERVICE_STOPPED) return false;
        if (NowMs() > deadline) return false;
        Sleep(kPollMs);
    }
}

std::optional<DWORD> Service::State() const {
    const std::optional<SERVICE_STATUS_PROCESS> status = Query(handle_);
    if (!status) return std::nullopt;
    return status->dwCurrentState;
}

std::optional<DWORD> Service::ProcessId() const {
    const std::optional<SERVICE_STATUS_PROCESS> status = Query(handle_);
    if (!status || status->dwProcessId == 0) return std::nullopt;
    return status->dwProcessId;
}

bool CreateOwnProcessService(const std::wstring& name, const std::wstring& path) {
    const Manager manager(SC_MANAGER_ALL_ACCESS);
    if (manager.Get() == nullptr) return false;
    if (const SC_HANDLE old = OpenServiceW(manager.Get(), name.c_str(), DELETE)) {
        DeleteService(old);
        CloseServiceHandle(old);
    }
    const SC_HANDLE created = CreateServiceW(
        manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr,
        nullptr, nullptr);
    if (created == nullptr) return false;
    CloseServiceHandle(created);
    return true;
}

std::optional<DWORD> RegisterAsService(const std::wstring& path) {
    std::wstring commandLine = L"\"" + path + L"\" -Service";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return std::nullopt;
    }
    CloseHandle(process.hThread);
    std::optional<DWORD> result;
    DWORD exitCode = 0;
    if (WaitForSingleObject(process.hProcess, kHangTimeoutMs) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process.hProcess, &exitCode)) {
        result = exitCode;
    }
    CloseHandle(process.hProcess);
    return result;
}

ProcessWatch::ProcessWatch(DWORD processId)
    : handle_(OpenProcess(SYNCHRONIZE, FALSE, processId)) {}

ProcessWatch::~ProcessWatch() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

bool ProcessWatch::WaitForExit(DWORD timeoutMs) const {
    return handle_ == nullptr || WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0;
}

void FreeRunGate() {
    // Opened only for the moment: a handle of ours would keep the event alive after the last
    // service has gone, and the next one must create it afresh.
    if (const HANDLE gate = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"ObjectRunning")) {
        SetEvent(gate);
        CloseHandle(gate);
    }
}

std::optional<Running> StartAndWait(const std::wstring& name,
                                    const std::vector<std::wstring>& parameters) {
    std::optional<Service> service = Service::Open(name);
    if (!service || !service->RequestStart(parameters) ||
        !service->WaitForState(SERVICE_RUNNING)) {
        return std::nullopt;
    }
    const std::optional<DWORD> processId = service->ProcessId();
    if (!processId) return std::nullopt;
    return Running{std::move(*service), *processId};
}

bool StopAndWait(Running& running) {
    const ProcessWatch process(running.processId);
    FreeRunGate();
    return running.service.RequestStop() && running.service.WaitForState(SERVICE_STOPPED) &&
           process.WaitForExit();
}

bool StopAll(std::vector<Service>& services) {
    std::vector<ProcessWatch> processes;
    for (Service& service : services) {
        if (const std::optional<DWORD> id = service.ProcessId()) processes.emplace_back(*id);
        (void)service.RequestStop();
    }
    const double deadline = NowMs() + kHangTimeoutMs;
    bool stopped = false;
    while (!stopped && NowMs() < deadline) {
        FreeRunGate();
        Sleep(20);
        stopped = true;
        for (const Service& service : services) {
            const std::optional<DWORD> state = service.State();
            stopped = stopped && state && *state == SERVICE_STOPPED;
        }
    }
    for (const ProcessWatch& process : processes) stopped = process.WaitForExit() && stopped;
    return stopped;
}

}  // namespace bench
