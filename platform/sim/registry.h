// The simulated registry: HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE with keys and typed values,
// names compared without regard to case, handles that remember their access rights, and
// keys that the test can deny.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/records.h"

namespace jobsvc::sim {

class SimRegistry final : public Registry {
public:
    SimRegistry();
    SimRegistry(const SimRegistry&) = delete;
    SimRegistry& operator=(const SimRegistry&) = delete;
    ~SimRegistry();

    Win32Error OpenKey(RegKey parent, const char16_t* subKey, uint32_t access,
                       RegKey* result) override;
    Win32Error CreateKey(RegKey parent, const char16_t* subKey, uint32_t access,
                         RegKey* result) override;
    Win32Error QueryValue(RegKey key, const char16_t* name, uint32_t* type, void* data,
                          uint32_t* size) override;
    Win32Error SetValue(RegKey key, const char16_t* name, uint32_t type, const void* data,
                        uint32_t size) override;
    Win32Error DeleteValue(RegKey key, const char16_t* name) override;
    Win32Error DeleteTree(RegKey parent, const char16_t* subKey) override;
    Win32Error CloseKey(RegKey key) override;

    // The test's side, on full paths ("HKLM\\SYSTEM\\..."), without access checks. A path
    // that names no root is a mistake of the test: std::invalid_argument.
    void CreatePath(std::u16string_view path);
    bool Exists(std::u16string_view path) const;
    void DeletePath(std::u16string_view path);
    void SetPathValue(std::u16string_view path, std::u16string_view name, uint32_t type,
                      std::span<const uint8_t> data);
    std::optional<RegValue> GetPathValue(std::u16string_view path, std::u16string_view name) const;
    std::vector<std::u16string> SubKeys(std::u16string_view path) const;
    std::vector<std::u16string> ValueNames(std::u16string_view path) const;
    void Deny(std::u16string_view path, uint32_t mask);
    void ClearDenials() { denials_.clear(); }

    size_t OpenKeys() const { return handles_.size(); }
    size_t InvalidCloses() const { return invalidCloses_; }

private:
    struct Value {
        std::u16string name;
        RegValue value;
    };
    struct Key {
        std::u16string name;
        std::map<std::u16string, std::unique_ptr<Key>> subKeys;  // by folded name
        std::map<std::u16string, Value> values;                  // by folded name
    };
    using Path = std::vector<std::u16string>;  // folded, from the root's own name
    struct Handle {
        Path path;
        uint32_t access;
    };

    Win32Error Resolve(RegKey key, Path* path, uint32_t* access) const;
    Win32Error ResolveKey(RegKey key, uint32_t need, Key** found);
    Key* Find(const Path& path) const;
    uint32_t Denied(const Path& path) const;
    RegKey NewHandle(Path path, uint32_t access);
    static Path TestPath(std::u16string_view path);

    Key root_;
    std::map<RegKey, std::unique_ptr<Handle>> handles_;
    std::map<std::u16string, uint32_t> denials_;  // by folded full path
    size_t invalidCloses_ = 0;
};

}  // namespace jobsvc::sim
