#include "registration_state.h"

#include "child_process.h"
#include "registry.h"
#include "service_control.h"

namespace e2e {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

template <class Value>
void Print(std::ostream* out, const char* name, const std::optional<Value>& value) {
    *out << "\n  " << name << ": ";
    if (!value) {
        *out << "-";
    } else if constexpr (std::is_same_v<Value, std::wstring>) {
        *out << '"' << Narrow(*value) << '"';
    } else {
        *out << *value;
    }
}

}  // namespace

RegistrationState ReadRegistrationState(const ProfileResources& profile) {
    const std::optional<ServiceConfig> config = QueryConfig(Wide(profile.serviceName));
    return RegistrationState{
        .appIdKey = KeyExists(HKEY_CLASSES_ROOT, AppIdKey(profile)),
        .appIdName = ReadString(HKEY_CLASSES_ROOT, AppIdKey(profile), nullptr),
        .localService = ReadString(HKEY_CLASSES_ROOT, AppIdKey(profile), L"LocalService"),
        .serviceParameters =
            ReadString(HKEY_CLASSES_ROOT, AppIdKey(profile), L"ServiceParameters"),
        .exeKeyAppId = ReadString(HKEY_CLASSES_ROOT, ExeKey(profile), L"AppID"),
        .serviceImage = config ? std::optional(config->binaryPath) : std::nullopt,
        .interval = ReadDword(HKEY_LOCAL_MACHINE, ParametersKey(profile), L"Interval"),
        .typeLibPath = ReadString(HKEY_CLASSES_ROOT, TypeLibKey(profile) + L"\\1.0\\0\\win32",
                                  nullptr),
    };
}

void PrintTo(const RegistrationState& state, std::ostream* out) {
    *out << "{AppID key: " << (state.appIdKey ? "present" : "absent");
    Print(out, "default", state.appIdName);
    Print(out, "LocalService", state.localService);
    Print(out, "ServiceParameters", state.serviceParameters);
    Print(out, ".EXE AppID", state.exeKeyAppId);
    Print(out, "service image", state.serviceImage);
    Print(out, "Interval", state.interval);
    Print(out, "type library", state.typeLibPath);
    *out << "}";
}

std::optional<DWORD> RunSwitch(const std::wstring& executable, const std::wstring& switchText) {
    // Several runs in one test each keep their output.
    static int run = 0;
    ChildProcess process(executable, switchText,
                         TestFile(L"." + std::to_wstring(++run) + L".out.txt"));
    if (!process.StartError().empty() || !process.WaitForExit()) return std::nullopt;
    return process.ExitCode();
}

Unregistered::Unregistered(const ProfileResources& profile) : profile_(profile) { Clean(); }

Unregistered::~Unregistered() { Clean(); }

void Unregistered::Clean() {
    const DWORD removed = RemoveService(Wide(profile_.serviceName));
    if (removed != ERROR_SUCCESS) {
        error_ = "the service entry stays, error " + std::to_string(removed);
    }
    for (const auto& [root, key] :
         {std::pair{HKEY_CLASSES_ROOT, AppIdKey(profile_)}, {HKEY_CLASSES_ROOT, ExeKey(profile_)},
          {HKEY_CLASSES_ROOT, TypeLibKey(profile_)}, {HKEY_LOCAL_MACHINE, ServiceKey(profile_)}}) {
        const LSTATUS status = DeleteKeyTree(root, key);
        if (status != ERROR_SUCCESS) {
            error_ = "cannot delete " + Narrow(key) + ", error " + std::to_string(status);
        }
    }
}

ServiceRegistration::ServiceRegistration(const ProfileResources& profile,
                                         std::optional<DWORD> storedInterval)
    : slate_(profile), name_(Wide(profile.serviceName)), error_(slate_.Error()) {
    const auto check = [&](const char* step, DWORD status) {
        if (status != ERROR_SUCCESS && error_.empty()) {
            error_ = std::string(step) + " failed, error " + std::to_string(status);
        }
    };
    check("the service entry", CreateServiceEntry(name_, L"\"" + ExecutablePath(profile) + L"\""));
    check("the marker", SetString(HKEY_CLASSES_ROOT, AppIdKey(profile), L"LocalService",
                                  Wide(profile.profile.shortName)));
    if (storedInterval) {
        check("the interval", SetDword(HKEY_LOCAL_MACHINE, ParametersKey(profile), L"Interval",
                                       *storedInterval));
    }
}

CopiedExecutable::CopiedExecutable(const ProfileResources& profile, const std::wstring& folder,
                                   const std::wstring& fileName)
    : path_(folder + L"\\" + fileName) {
    for (size_t end = folder.find(L'\\');; end = folder.find(L'\\', end + 1)) {
        const std::wstring prefix = folder.substr(0, end);
        if (CreateDirectoryW(prefix.c_str(), nullptr)) createdFolders_.push_back(prefix);
        if (end == std::wstring::npos) break;
    }
    ready_ = CopyFileW(ExecutablePath(profile).c_str(), path_.c_str(), FALSE) != FALSE;
}

CopiedExecutable::~CopiedExecutable() {
    (void)DeleteFileW(path_.c_str());
    for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder) {
        (void)RemoveDirectoryW(folder->c_str());
    }
}

}  // namespace e2e
