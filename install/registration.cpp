#include <string>

#include "install/registrar.h"
#include "platform/constants.h"
#include "platform/owned.h"
#include "service/service_module.h"

namespace jobsvc {
namespace {

constexpr uint32_t kMaxPath = 260;
constexpr char16_t kRegistryType[] = u"REGISTRY";

// A refused service step must not read as success to an unattended installer.
int32_t EntryFailure(Win32Error error) {
    return static_cast<int32_t>(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
}

Win32Error SetString(Registry& registry, RegKey key, const char16_t* name,
                     std::u16string_view text) {
    const std::u16string value(text);  // stored with its terminator
    return registry.SetValue(key, name, REG_SZ, value.c_str(),
                             static_cast<uint32_t>((value.size() + 1) * sizeof(char16_t)));
}

// Ends COM on every way out of a registration action.
class ComScope {
public:
    explicit ComScope(Automation& automation) : automation_(automation) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() { automation_.Uninitialize(); }

private:
    Automation& automation_;
};

std::u16string ModulePath(Module& module) {
    char16_t path[kMaxPath];
    const uint32_t length = module.FileName(path, kMaxPath);
    return std::u16string(path, length < kMaxPath ? length : 0);
}

HResult ApplyScript(const Platform& os, ModuleHandle instance, RegistrarMode mode) {
    const std::span<const std::byte> resource = os.module.FindResourceData(instance, kRegistryType, IDR_APPID);
    std::u16string modulePath = ModulePath(os.module);
    for (size_t quote = modulePath.find(u'\''); quote != std::u16string::npos;
         quote = modulePath.find(u'\'', quote + 2)) {
        modulePath.insert(quote, 1, u'\'');
    }
    const ReplacementVariable variables[] = {{u"Module", modulePath}};
    const std::string_view script(reinterpret_cast<const char*>(resource.data()), resource.size());
    return ApplyRegistrationScript(os.registry, script, variables, mode);
}

// Loads the executable's own type library, or the ".tlb" file beside it.
HResult LoadTypeLibrary(const Platform& os, OwnedTypeLib& library, std::u16string& path) {
    path = ModulePath(os.module);
    HResult result = os.typeLibraries.Load(path.c_str(), library.Receive(os.typeLibraries));
    if (result >= 0) return result;
    const size_t dot = path.rfind(u'.');
    path = path.substr(0, dot) + u".tlb";
    return os.typeLibraries.Load(path.c_str(), library.Receive(os.typeLibraries));
}

}  // namespace

int32_t ServiceModule::RegisterServer(bool registerTypeLib, bool asService) {
    const HResult initialized = os_.automation.Initialize();
    if (initialized < 0) return initialized;
    const ComScope com(os_.automation);

    (void)Uninstall();  // "RegServer" too removes an existing service entry
    (void)ApplyScript(os_, instance, RegistrarMode::Register);

    OwnedKey appIdRoot;
    Win32Error error = os_.registry.OpenKey(Registry::ClassesRoot(), u"AppID", KEY_WRITE,
                                            appIdRoot.Receive(os_.registry));
    if (error != ERROR_SUCCESS) return static_cast<int32_t>(error);
    const std::u16string appId(profile_.appId);
    OwnedKey appIdKey;
    error = os_.registry.OpenKey(appIdRoot.Get(), appId.c_str(), KEY_WRITE,
                                 appIdKey.Receive(os_.registry));
    if (error != ERROR_SUCCESS) return static_cast<int32_t>(error);

    (void)os_.registry.DeleteValue(appIdKey.Get(), u"LocalService");  // absent is fine

    int32_t entryFailure = 0;
    if (asService) {
        (void)SetString(os_.registry, appIdKey.Get(), u"LocalService", profile_.shortName);
        (void)SetString(os_.registry, appIdKey.Get(), u"ServiceParameters", u"-Service");
        if (!Install()) entryFailure = EntryFailure(lastEntryError);
        error = StoreInterval(profile_.defaultIntervalMinutes, true);
        if (error != ERROR_SUCCESS) return static_cast<int32_t>(error);
    }

    const int32_t result = registerTypeLib ? RegisterTypeLibrary() : 0;
    return result != 0 ? result : entryFailure;
}

int32_t ServiceModule::UnregisterServer() {
    const HResult initialized = os_.automation.Initialize();
    if (initialized < 0) return initialized;
    const ComScope com(os_.automation);

    (void)ApplyScript(os_, instance, RegistrarMode::Unregister);
    const bool removed = Uninstall();
    UnregisterTypeLibrary();
    return removed ? 0 : EntryFailure(lastEntryError);
}

HResult ServiceModule::RegisterTypeLibrary() {
    OwnedTypeLib library;
    std::u16string path;
    const HResult loaded = LoadTypeLibrary(os_, library, path);
    if (loaded < 0) return loaded;
    const size_t separator = path.find_last_of(u"\\/:");
    const std::u16string helpDirectory =
        separator == std::u16string::npos ? std::u16string() : path.substr(0, separator + 1);
    return os_.typeLibraries.Register(library.Get(), path.c_str(), helpDirectory.c_str());
}

void ServiceModule::UnregisterTypeLibrary() {
    OwnedTypeLib library;
    std::u16string path;
    if (LoadTypeLibrary(os_, library, path) < 0) return;
    TypeLibAttributes attributes{};
    if (os_.typeLibraries.GetAttributes(library.Get(), &attributes) < 0) return;
    // Looked up at run time; where it cannot be found nothing is unregistered or reported.
    HResult ignored = S_OK;
    (void)os_.typeLibraries.UnregisterByLookup(attributes, &ignored);
}

}  // namespace jobsvc
