#include "deliverable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <iterator>

#include <objbase.h>

#include "test_environment.h"

namespace e2e {

const ProfileResources& Profile(std::u16string_view shortName) {
    for (const ProfileResources& resources : jobsvc::AllProfiles()) {
        if (resources.profile.shortName == shortName) return resources;
    }
    std::abort();  // a test names a deliverable that does not exist
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::string Ansi(std::u16string_view text) {
    const std::wstring wide = Wide(text);
    const int units = static_cast<int>(wide.size());
    if (units == 0) return {};
    const int size =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), units, result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring ExecutablePath(const ProfileResources& profile) {
    // The file's own spelling: the system reports it so, and registration stores that.
    std::wstring name = Wide(profile.profile.shortName) + L".EXE";
    std::transform(name.begin(), name.end(), name.begin(), towupper);
    return ExecutableDirectory() + L"\\" + name;
}

std::wstring AppIdKey(const ProfileResources& profile) {
    return L"AppID\\" + Wide(profile.profile.appId);
}

std::wstring ExeKey(const ProfileResources& profile) {
    return L"AppID\\" + Wide(profile.profile.shortName) + L".EXE";
}

std::wstring TypeLibKey(const ProfileResources& profile) {
    static_assert(sizeof(jobsvc::Guid) == sizeof(GUID));
    GUID libId;
    std::memcpy(&libId, &profile.profile.libId, sizeof libId);
    wchar_t text[40] = {};
    (void)StringFromGUID2(libId, text, static_cast<int>(std::size(text)));
    return std::wstring(L"TypeLib\\") + text;
}

std::wstring ServiceKey(const ProfileResources& profile) {
    return L"SYSTEM\\CurrentControlSet\\Services\\" + Wide(profile.serviceName);
}

std::wstring ParametersKey(const ProfileResources& profile) {
    return ServiceKey(profile) + L"\\Parameters";
}

std::string StartedLine(DWORD intervalMinutes) {
    return "Service started with interval(minutes): " + std::to_string(intervalMinutes);
}

PlainProcessRegistration::PlainProcessRegistration(const ProfileResources& profile,
                                                   DWORD intervalMinutes)
    : appId_(HKEY_CLASSES_ROOT, AppIdKey(profile)),
      service_(HKEY_LOCAL_MACHINE, ParametersKey(profile)) {
    ready_ = appId_.Status() == ERROR_SUCCESS && service_.Status() == ERROR_SUCCESS &&
             DeleteValue(HKEY_CLASSES_ROOT, AppIdKey(profile), L"LocalService") == ERROR_SUCCESS &&
             SetDword(HKEY_LOCAL_MACHINE, ParametersKey(profile), L"Interval", intervalMinutes) ==
                 ERROR_SUCCESS;
}

}  // namespace e2e
