#include "service_control.h"

#include "child_process.h"

namespace e2e {
namespace {

// `error` receives the failure before closing the manager can overwrite it.
ServiceHandle OpenEntry(const std::wstring& name, DWORD access, DWORD* error = nullptr) {
    DWORD ignored = ERROR_SUCCESS;
    DWORD& failure = error ? *error : ignored;
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        failure = GetLastError();
        return ServiceHandle();
    }
    ServiceHandle service(OpenServiceW(manager.Get(), name.c_str(), access));
    failure = service ? ERROR_SUCCESS : GetLastError();
    return service;
}

DWORD Outcome(BOOL succeeded) { return succeeded ? ERROR_SUCCESS : GetLastError(); }

}  // namespace

DWORD CreateServiceEntry(const std::wstring& name, const std::wstring& commandLine,
                         const std::wstring& displayName) {
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return GetLastError();
    const std::wstring& shown = displayName.empty() ? name : displayName;
    ServiceHandle service(
        CreateServiceW(manager.Get(), name.c_str(), shown.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return service ? ERROR_SUCCESS : GetLastError();
}

DWORD DeleteServiceEntry(const std::wstring& name) {
    DWORD error = ERROR_SUCCESS;
    const ServiceHandle service = OpenEntry(name, DELETE, &error);
    if (!service) return error;
    return Outcome(DeleteService(service.Get()));
}

DWORD StartWithParameters(const std::wstring& name, const std::vector<std::wstring>& parameters) {
    DWORD error = ERROR_SUCCESS;
    const ServiceHandle service = OpenEntry(name, SERVICE_START, &error);
    if (!service) return error;
    std::vector<const wchar_t*> arguments;
    for (const std::wstring& parameter : parameters) arguments.push_back(parameter.c_str());
    return Outcome(StartServiceW(service.Get(), static_cast<DWORD>(arguments.size()),
                                 arguments.empty() ? nullptr : arguments.data()));
}

DWORD RequestStop(const std::wstring& name, SERVICE_STATUS* status) {
    return SendControl(name, SERVICE_CONTROL_STOP, status);
}

DWORD SendControl(const std::wstring& name, DWORD control, SERVICE_STATUS* status) {
    const DWORD access = control == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                         : control == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                         : control >= 128                         ? SERVICE_USER_DEFINED_CONTROL
                                                                  : SERVICE_PAUSE_CONTINUE;
    DWORD error = ERROR_SUCCESS;
    const ServiceHandle service = OpenEntry(name, access, &error);
    if (!service) return error;
    SERVICE_STATUS ignored;
    return Outcome(ControlService(service.Get(), control, status ? status : &ignored));
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

std::optional<DWORD> ProcessIdOf(const std::wstring& name) {
    const ServiceHandle service = OpenEntry(name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status;
    DWORD size = 0;
    if (!service || !QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                          reinterpret_cast<BYTE*>(&status), sizeof status,
                                          &size) ||
        status.dwProcessId == 0) {
        return std::nullopt;
    }
    return status.dwProcessId;
}

std::optional<ServiceConfig> QueryConfig(const std::wstring& name) {
    const ServiceHandle service = OpenEntry(name, SERVICE_QUERY_CONFIG);
    if (!service) return std::nullopt;
    DWORD size = 0;
    (void)QueryServiceConfigW(service.Get(), nullptr, 0, &size);  // asks for the size
    std::vector<BYTE> buffer(size);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (size == 0 || !QueryServiceConfigW(service.Get(), config, size, &size)) {
        return std::nullopt;
    }
    const auto text = [](const wchar_t* value) { return std::wstring(value ? value : L""); };
    ServiceConfig result{config->dwServiceType, config->dwStartType, config->dwErrorControl,
                         text(config->lpBinaryPathName), text(config->lpLoadOrderGroup), {},
                         text(config->lpServiceStartName), text(config->lpDisplayName)};
    for (const wchar_t* name = config->lpDependencies; name && *name; name += wcslen(name) + 1) {
        result.dependencies.emplace_back(name);
    }
    return result;
}

DWORD RemoveService(const std::wstring& name) {
    if (!QueryState(name)) return ERROR_SUCCESS;
    if (QueryState(name) != SERVICE_STOPPED) {
        const std::optional<DWORD> processId = ProcessIdOf(name);
        (void)RequestStop(name);
        // A service that cannot stop (its gate held for good, a hung job) is ended.
        if (!WaitForState(name, SERVICE_STOPPED, kHangTimeoutMs / 3) && processId) {
            const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, *processId);
            if (process != nullptr) {
                TerminateProcess(process, 1);
                (void)WaitForSingleObject(process, kHangTimeoutMs);
                CloseHandle(process);
            }
        }
    }
    const DWORD deleted = DeleteServiceEntry(name);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_SERVICE_MARKED_FOR_DELETE &&
        deleted != ERROR_SERVICE_DOES_NOT_EXIST) {
        return deleted;
    }
    return WaitForRemoval(name) ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_SERVICE_EXISTS);
}

bool WaitForRemoval(const std::wstring& name, DWORD timeoutMs) {
    return WaitUntil(
        [&] {
            DWORD error = ERROR_SUCCESS;
            const ServiceHandle service = OpenEntry(name, SERVICE_QUERY_STATUS, &error);
            return error == ERROR_SERVICE_DOES_NOT_EXIST;
        },
        timeoutMs);
}

}  // namespace e2e
