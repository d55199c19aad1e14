#include "service/entry.h"

#include "platform/constants.h"
#include "platform/owned.h"
#include "service/service_module.h"

namespace jobsvc {

const char16_t* FindSwitch(Module& module, const char16_t* text, const char16_t* separators) {
    if (text == nullptr || separators == nullptr) return nullptr;
    for (; *text != u'\0'; text = module.NextChar(text)) {
        for (const char16_t* separator = separators; *separator != u'\0';
             separator = module.NextChar(separator)) {
            if (*text == *separator) return module.NextChar(text);
        }
    }
    return nullptr;
}

namespace {

// The remainder of the line must be the whole keyword, so a switch counts only as the last
// thing on the command line.
enum class Switch { None, UnregServer, RegServer, Service };

Switch ScanSwitches(Module& module, const char16_t* commandLine) {
    static constexpr char16_t separators[] = u"-/";
    for (const char16_t* p = FindSwitch(module, commandLine, separators); p != nullptr;
         p = FindSwitch(module, p, separators)) {
        if (module.CompareNoCase(p, u"UnregServer") == 0) return Switch::UnregServer;
        if (module.CompareNoCase(p, u"RegServer") == 0) return Switch::RegServer;
        if (module.CompareNoCase(p, u"Service") == 0) return Switch::Service;
    }
    return Switch::None;
}

}  // namespace

int32_t ProgramEntry(ServiceModule& module, ModuleHandle instance) {
    const Platform& os = module.Os();
    const char16_t* commandLine = os.module.CommandLine();
    module.Init(instance, IDS_SERVICENAME, &module.Profile().libId);
    module.isService = true;

    switch (ScanSwitches(os.module, commandLine)) {
        case Switch::UnregServer:
            return module.UnregisterServer();
        case Switch::RegServer:
            return module.RegisterServer(true, false);
        case Switch::Service:
            return module.RegisterServer(true, true);
        case Switch::None:
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
