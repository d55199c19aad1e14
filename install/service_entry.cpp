#include <string>

#include "platform/constants.h"
#include "platform/owned.h"
#include "service/service_module.h"

namespace jobsvc {
namespace {

constexpr uint32_t kMaxPath = 260;

}  // namespace

void ServiceModule::ShowFailure(const char16_t* text) {
    (void)os_.ui.ShowMessageBox(text, serviceName, MB_OK);
}

OwnedScHandle ServiceModule::OpenManagerForChange() {
    OwnedScHandle manager(os_.services, os_.services.OpenManager(SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        lastEntryError = os_.kernel.LastError();
        ShowFailure(u"Couldn't open service manager");
    }
    return manager;
}

bool ServiceModule::IsInstalled() {
    ServiceManager& services = os_.services;
    OwnedScHandle manager(services, services.OpenManager(SC_MANAGER_ALL_ACCESS));
    if (!manager) return false;
    const OwnedScHandle service(
        services, services.OpenServiceEntry(manager.Get(), serviceName, SERVICE_QUERY_CONFIG));
    return static_cast<bool>(service);
}

bool ServiceModule::Install() {
    if (IsInstalled()) return true;  // an existing entry stays exactly as it is
    ServiceManager& services = os_.services;
    OwnedScHandle manager = OpenManagerForChange();
    if (!manager) return false;

    char16_t image[kMaxPath];
    const uint32_t length = os_.module.FileName(image, kMaxPath);
    // A cut path would name another file, one that the service would then run as local system.
    const bool pathComplete = length > 0 && length < kMaxPath;
    // Unquoted, a path with a blank lets the system try each prefix as a program.
    std::u16string binaryPath(image, pathComplete ? length : 0);
    if (binaryPath.find(u' ') != std::u16string::npos) binaryPath = u'"' + binaryPath + u'"';

    const ServiceConfig config{
        .serviceName = serviceName,
        .displayName = serviceName,
        .desiredAccess = SERVICE_ALL_ACCESS,
        .serviceType = SERVICE_WIN32_OWN_PROCESS,
        .startType = SERVICE_DEMAND_START,
        .errorControl = SERVICE_ERROR_NORMAL,
        .binaryPath = binaryPath.c_str(),
        .loadOrderGroup = nullptr,
        .tagId = nullptr,
        .dependencies = u"RPCSS\0",  // the literal's own terminator ends the list
        .account = nullptr,
        .password = nullptr,
    };
    OwnedScHandle service;
    if (pathComplete) {
        *service.Receive(services) = services.CreateServiceEntry(manager.Get(), config);
    }
    if (!service) {
        lastEntryError = pathComplete ? os_.kernel.LastError() : ERROR_INSUFFICIENT_BUFFER;
        manager.Reset();
        ShowFailure(u"Couldn't create service");
        return false;
    }
    return true;
}

bool ServiceModule::Uninstall() {
    if (!IsInstalled()) return true;
    ServiceManager& services = os_.services;
    OwnedScHandle manager = OpenManagerForChange();
    if (!manager) return false;
    OwnedScHandle service(services,
                          services.OpenServiceEntry(manager.Get(), serviceName, SERVICE_STOP | DELETE));
    if (!service) {
        lastEntryError = os_.kernel.LastError();
        manager.Reset();
        ShowFailure(u"Couldn't open service");
        return false;
    }
    // A stopped service is deleted all the same; a running one is not waited for.
    ServiceStatus ignored{};
    (void)services.ControlService(service.Get(), SERVICE_CONTROL_STOP, &ignored);
    const bool deleted = services.DeleteService(service.Get());
    if (!deleted) lastEntryError = os_.kernel.LastError();
    service.Reset();
    manager.Reset();
    if (!deleted) ShowFailure(u"Service could not be deleted");
    return deleted;
}

}  // namespace jobsvc
