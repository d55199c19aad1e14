#include <cstring>

#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {

bool Win32ServiceManager::StartDispatcher(const ServiceTableEntry* table) {
    return ::StartServiceCtrlDispatcherW(reinterpret_cast<const SERVICE_TABLE_ENTRYW*>(table)) !=
           FALSE;
}

StatusHandle Win32ServiceManager::RegisterHandler(const char16_t* serviceName,
                                                  ControlHandlerProc handler) {
    return Seam<StatusHandle>(::RegisterServiceCtrlHandlerW(
        Wide(serviceName), reinterpret_cast<LPHANDLER_FUNCTION>(handler)));
}

bool Win32ServiceManager::SetStatus(StatusHandle handle, const ServiceStatus& status) {
    // The API takes the record by a non-const pointer but only reads it.
    SERVICE_STATUS record;
    std::memcpy(&record, &status, sizeof record);
    return ::SetServiceStatus(Native<SERVICE_STATUS_HANDLE>(handle), &record) != FALSE;
}

ScHandle Win32ServiceManager::OpenManager(uint32_t access) {
    return Seam<ScHandle>(::OpenSCManagerW(nullptr, nullptr, access));
}

ScHandle Win32ServiceManager::OpenServiceEntry(ScHandle manager, const char16_t* serviceName,
                                               uint32_t access) {
    return Seam<ScHandle>(::OpenServiceW(Native<SC_HANDLE>(manager), Wide(serviceName), access));
}

ScHandle Win32ServiceManager::CreateServiceEntry(ScHandle manager, const ServiceConfig& config) {
    return Seam<ScHandle>(::CreateServiceW(
        Native<SC_HANDLE>(manager), Wide(config.serviceName), Wide(config.displayName),
        config.desiredAccess, config.serviceType, config.startType, config.errorControl,
        Wide(config.binaryPath), Wide(config.loadOrderGroup),
        reinterpret_cast<DWORD*>(config.tagId), Wide(config.dependencies), Wide(config.account),
        Wide(config.password)));
}

bool Win32ServiceManager::ControlService(ScHandle service, uint32_t control,
                                         ServiceStatus* status) {
    // The API insists on a status record even when the caller does not want one.
    SERVICE_STATUS unused{};
    SERVICE_STATUS* record = status ? reinterpret_cast<SERVICE_STATUS*>(status) : &unused;
    return ::ControlService(Native<SC_HANDLE>(service), control, record) != FALSE;
}

bool Win32ServiceManager::DeleteService(ScHandle service) {
    return ::DeleteService(Native<SC_HANDLE>(service)) != FALSE;
}

bool Win32ServiceManager::CloseServiceHandle(ScHandle handle) {
    return ::CloseServiceHandle(Native<SC_HANDLE>(handle)) != FALSE;
}

}  // namespace jobsvc::win32
