#include "registry.h"

#include <algorithm>

namespace e2e {

LSTATUS SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
    return RegSetKeyValueW(root, key.c_str(), name, REG_DWORD, &value, sizeof value);
}

LSTATUS SetString(HKEY root, const std::wstring& key, const wchar_t* name,
                  const std::wstring& value) {
    return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

namespace {

// The data of a value of one of the given types, in UTF-16 units.
std::optional<std::wstring> ReadUnits(HKEY root, const std::wstring& key, const wchar_t* name,
                                      DWORD types) {
    DWORD size = 0;
    if (RegGetValueW(root, key.c_str(), name, types, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, key.c_str(), name, types, nullptr, value.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(size / sizeof(wchar_t));
    return value;
}

}  // namespace

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name) {
    std::optional<std::wstring> value =
        ReadUnits(root, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND);
    while (value && !value->empty() && value->back() == L'\0') value->pop_back();
    return value;
}

std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<std::wstring>> ReadMultiString(HKEY root, const std::wstring& key,
                                                         const wchar_t* name) {
    const std::optional<std::wstring> data = ReadUnits(root, key, name, RRF_RT_REG_MULTI_SZ);
    if (!data) return std::nullopt;
    std::vector<std::wstring> strings;
    for (size_t start = 0; start < data->size();) {
        const size_t end = std::min(data->find(L'\0', start), data->size());
        if (end == start) break;  // the empty string that ends the list
        strings.push_back(data->substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

bool ValueExists(HKEY root, const std::wstring& key, const wchar_t* name) {
    return RegGetValueW(root, key.c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
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
