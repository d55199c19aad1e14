#include "service_control.h"

#include "child_process.h"

namespace e2e {
namespace {

ServiceHandle OpenEntry(const std::wstring& name, DWORD access) {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return ServiceHandle();
    return ServiceHandle(OpenServiceW(manager.Get(), name.c_str(), access));
}

DWORD Outcome(BOOL succeeded) { return succeeded ? ERROR_SUCCESS : GetLastError(); }

}  // namespace

DWORD CreateServiceEntry(const std::wstring& name, const std::wstring& commandLine) {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return GetLastError();
    ServiceHandle service(
        CreateServiceW(manager.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return service ? ERROR_SUCCESS : GetLastError();
}

DWORD DeleteServiceEntry(const std::wstring& name) {
    const ServiceHandle service = OpenEntry(name, DELETE);
    if (!service) return GetLastError();
    return Outcome(DeleteService(service.Get()));
}

DWORD StartWithParameters(const std::wstring& name, const std::vector<std::wstring>& parameters) {
    const ServiceHandle service = OpenEntry(name, SERVICE_START);
    if (!service) return GetLastError();
    std::vector<const wchar_t*> arguments;
    for (const std::wstring& parameter : parameters) arguments.push_back(parameter.c_str());
    return Outcome(StartServiceW(service.Get(), static_cast<DWORD>(arguments.size()),
                                 arguments.empty() ? nullptr : arguments.data()));
}

DWORD RequestStop(const std::wstring& name) {
    const ServiceHandle service = OpenEntry(name, SERVICE_STOP);
    if (!service) return GetLastError();
    SERVICE_STATUS status;
    return Outcome(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
}

std::optional<DWORD> QueryState(const std::wstring& name) {
    const ServiceHandle service = OpenEntry(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status;
    if (!service || !QueryServiceStatus(service.Get(), &status)) return std::nullopt;
    return status.dwCurrentState;
}

bool WaitForState(const std::wstring& name, DWORD state, DWORD timeoutMs) {
    return WaitUntil([&] { return QueryState(name) == state; }, timeoutMs);
}

}  // namespace e2e
