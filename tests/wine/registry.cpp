#include "registry.h"

namespace e2e {

LSTATUS SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
    return RegSetKeyValueW(root, key.c_str(), name, REG_DWORD, &value, sizeof value);
}

LSTATUS SetString(HKEY root, const std::wstring& key, const wchar_t* name,
                  const std::wstring& value) {
    return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD size = 0;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

LSTATUS DeleteValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    const LSTATUS status = RegDeleteKeyValueW(root, key.c_str(), name);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS DeleteKeyTree(HKEY root, const std::wstring& key) {
    LSTATUS status = RegDeleteTreeW(root, key.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKeyW(root, key.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

TemporaryKey::TemporaryKey(HKEY root, std::wstring key) : root_(root) {
    for (size_t end = 0; end != std::wstring::npos;) {
        end = key.find(L'\\', end + 1);
        const std::wstring prefix = key.substr(0, end);
        if (!KeyExists(root, prefix)) {
            createdFrom_ = prefix;
            break;
        }
    }
    HKEY created = nullptr;
    status_ = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &created, nullptr);
    if (status_ == ERROR_SUCCESS) RegCloseKey(created);
}

TemporaryKey::~TemporaryKey() {
    if (!createdFrom_.empty()) (void)DeleteKeyTree(root_, createdFrom_);
}

}  // namespace e2e
