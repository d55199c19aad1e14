// Registry helpers that leave the machine as a test found it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace e2e {

// Values are written with their keys created as needed.
LSTATUS SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value);
LSTATUS SetString(HKEY root, const std::wstring& key, const wchar_t* name,
                  const std::wstring& value);
// REG_SZ, or REG_EXPAND_SZ as stored; `name` null reads the default value.
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const wchar_t* name);
std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const wchar_t* name);
// The strings of a REG_MULTI_SZ, without the empty one that ends the list.
std::optional<std::vector<std::wstring>> ReadMultiString(HKEY root, const std::wstring& key,
                                                         const wchar_t* name);
bool ValueExists(HKEY root, const std::wstring& key, const wchar_t* name);
bool KeyExists(HKEY root, const std::wstring& key);
// Both succeed when there is nothing to delete.
LSTATUS DeleteValue(HKEY root, const std::wstring& key, const wchar_t* name);
LSTATUS DeleteKeyTree(HKEY root, const std::wstring& key);

// Creates a key and, when it goes, deletes the part of its path that it had to create.
class TemporaryKey {
public:
    TemporaryKey(HKEY root, std::wstring key);
    TemporaryKey(const TemporaryKey&) = delete;
    TemporaryKey& operator=(const TemporaryKey&) = delete;
    ~TemporaryKey();

    [[nodiscard]] LSTATUS Status() const { return status_; }

private:
    HKEY root_;
    std::wstring createdFrom_;  // the highest key that did not exist; empty: none
    LSTATUS status_;
};

}  // namespace e2e
