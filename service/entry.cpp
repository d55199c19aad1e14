#include "service/entry.h"

#include <string>

#include "platform/constants.h"
#include "platform/owned.h"
#include "service/service_module.h"
#include "service/switches.h"

namespace jobsvc {

int32_t ProgramEntry(ServiceModule& module, ModuleHandle instance) {
    const Platform& os = module.Os();
    const char16_t* commandLine = os.module.CommandLine();
    module.Init(instance, IDS_SERVICENAME, &module.Profile().libId);
    module.isService = true;

    switch (ScanSwitches(os.module, commandLine)) {
        case RegistrationSwitch::UnregServer:
            return module.UnregisterServer();
        case RegistrationSwitch::RegServer:
            return module.RegisterServer(true, false);
        case RegistrationSwitch::Service:
            return module.RegisterServer(true, true);
        case RegistrationSwitch::None:
            break;
    }

    // Only a registered deliverable runs; "LocalService" chooses the service control manager.
    OwnedKey appIdRoot;
    Win32Error error =
        os.registry.OpenKey(Registry::ClassesRoot(), u"AppID", KEY_READ, appIdRoot.Receive(os.registry));
    if (error != ERROR_SUCCESS) return static_cast<int32_t>(error);
    std::u16string appId(module.Profile().appId);
    OwnedKey appIdKey;
    error = os.registry.OpenKey(appIdRoot.Get(), appId.c_str(), KEY_READ,
                                appIdKey.Receive(os.registry));
    if (error != ERROR_SUCCESS) return static_cast<int32_t>(error);

    char16_t localService[260];
    uint32_t size = sizeof(localService);
    module.isService = os.registry.QueryValue(appIdKey.Get(), u"LocalService", nullptr,
                                              localService, &size) == ERROR_SUCCESS;
    module.Start();
    return static_cast<int32_t>(module.status.win32ExitCode);
}

}  // namespace jobsvc
