#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {

Win32Error Win32Registry::OpenKey(RegKey parent, const char16_t* subKey, uint32_t access,
                                  RegKey* result) {
    HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExW(Native<HKEY>(parent), Wide(subKey), 0, access, &key);
    *result = Seam<RegKey>(key);
    return static_cast<Win32Error>(status);
}

Win32Error Win32Registry::CreateKey(RegKey parent, const char16_t* subKey, uint32_t access,
                                    RegKey* result) {
    HKEY key = nullptr;
    const LONG status = ::RegCreateKeyExW(Native<HKEY>(parent), Wide(subKey), 0, nullptr,
                                          REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
    *result = Seam<RegKey>(key);
    return static_cast<Win32Error>(status);
}

Win32Error Win32Registry::QueryValue(RegKey key, const char16_t* name, uint32_t* type,
                                     void* data, uint32_t* size) {
    DWORD nativeType = 0;
    DWORD nativeSize = size ? *size : 0;
    const LONG status = ::RegQueryValueExW(Native<HKEY>(key), Wide(name), nullptr,
                                           type ? &nativeType : nullptr,
                                           static_cast<BYTE*>(data), size ? &nativeSize : nullptr);
    if (type) *type = nativeType;
    if (size) *size = nativeSize;
    return static_cast<Win32Error>(status);
}

Win32Error Win32Registry::SetValue(RegKey key, const char16_t* name, uint32_t type,
                                   const void* data, uint32_t size) {
    return static_cast<Win32Error>(::RegSetValueExW(Native<HKEY>(key), Wide(name), 0, type,
                                                    static_cast<const BYTE*>(data), size));
}

Win32Error Win32Registry::DeleteValue(RegKey key, const char16_t* name) {
    return static_cast<Win32Error>(::RegDeleteValueW(Native<HKEY>(key), Wide(name)));
}

Win32Error Win32Registry::DeleteTree(RegKey parent, const char16_t* subKey) {
    // Given a subkey name, RegDeleteTreeW removes that key as well as everything below it; a
    // further RegDeleteKeyW would only report the key as missing.
    return static_cast<Win32Error>(::RegDeleteTreeW(Native<HKEY>(parent), Wide(subKey)));
}

Win32Error Win32Registry::CloseKey(RegKey key) {
    return static_cast<Win32Error>(::RegCloseKey(Native<HKEY>(key)));
}

}  // namespace jobsvc::win32
