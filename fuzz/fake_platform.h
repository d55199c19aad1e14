// Just enough of a machine for the fuzz targets: text stepping and an in-memory registry.
// The fuzzers run single-threaded and far faster without the simulated machine's threads.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/constants.h"
#include "platform/platform.h"

namespace jobsvc::fuzz {

inline char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

class FakeModule final : public Module {
public:
    const char16_t* CommandLine() override { return u""; }
    uint32_t FileName(char16_t*, uint32_t) override { return 0; }
    int32_t LoadText(ModuleHandle, uint32_t, char16_t*, int32_t) override { return 0; }
    std::span<const std::byte> FindResourceData(ModuleHandle, const char16_t*, uint32_t) override {
        return {};
    }
    const char16_t* NextChar(const char16_t* text) override { return *text ? text + 1 : text; }
    int32_t CompareNoCase(const char16_t* left, const char16_t* right) override {
        for (;; ++left, ++right) {
            const char16_t a = Fold(*left), b = Fold(*right);
            if (a != b) return a < b ? -1 : 1;
            if (a == 0) return 0;
        }
    }
};

// Keys by folded full path; handles are indices into an open-key table.
class FakeRegistry final : public Registry {
public:
    FakeRegistry() {
        keys_[u"hkcr"] = {};
        keys_[u"hklm"] = {};
    }

    Win32Error OpenKey(RegKey parent, const char16_t* subKey, uint32_t, RegKey* result) override {
        std::u16string path;
        if (!Resolve(parent, subKey, path)) return ERROR_INVALID_HANDLE;
        if (!keys_.count(path)) return ERROR_FILE_NOT_FOUND;
        *result = Open(path);
        return ERROR_SUCCESS;
    }
    Win32Error CreateKey(RegKey parent, const char16_t* subKey, uint32_t, RegKey* result) override {
        std::u16string path;
        if (!Resolve(parent, subKey, path)) return ERROR_INVALID_HANDLE;
        keys_[path];
        *result = Open(path);
        return ERROR_SUCCESS;
    }
    Win32Error QueryValue(RegKey, const char16_t*, uint32_t*, void*, uint32_t*) override {
        return ERROR_FILE_NOT_FOUND;
    }
    Win32Error SetValue(RegKey key, const char16_t* name, uint32_t, const void* data,
                        uint32_t size) override {
        const std::u16string* path = PathOf(key);
        if (path == nullptr) return ERROR_INVALID_HANDLE;
        const auto* bytes = static_cast<const uint8_t*>(data);
        keys_[*path][FoldAll(name)] = std::vector<uint8_t>(bytes, bytes + size);
        return ERROR_SUCCESS;
    }
    Win32Error DeleteValue(RegKey key, const char16_t* name) override {
        const std::u16string* path = PathOf(key);
        if (path == nullptr) return ERROR_INVALID_HANDLE;
        return keys_[*path].erase(FoldAll(name)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    Win32Error DeleteTree(RegKey parent, const char16_t* subKey) override {
        std::u16string path;
        if (!Resolve(parent, subKey, path)) return ERROR_INVALID_HANDLE;
        if (!keys_.count(path)) return ERROR_FILE_NOT_FOUND;
        for (auto it = keys_.lower_bound(path); it != keys_.end() && it->first.starts_with(path);) {
            const bool below = it->first.size() == path.size() || it->first[path.size()] == u'\\';
            it = below ? keys_.erase(it) : std::next(it);
        }
        return ERROR_SUCCESS;
    }
    Win32Error CloseKey(RegKey key) override {
        const size_t index = reinterpret_cast<uintptr_t>(key);
        if (index == 0 || index > open_.size() || open_[index - 1].empty()) {
            ++invalidCloses;
            return ERROR_INVALID_HANDLE;
        }
        open_[index - 1].clear();
        --openCount;
        return ERROR_SUCCESS;
    }

    size_t openCount = 0;
    size_t invalidCloses = 0;
    std::map<std::u16string, std::map<std::u16string, std::vector<uint8_t>>> keys_;

private:
    static std::u16string FoldAll(const char16_t* text) {
        std::u16string folded;
        for (; *text; ++text) folded += Fold(*text);
        return folded;
    }
    const std::u16string* PathOf(RegKey key) const {
        if (key == ClassesRoot()) return &kClassesRoot;
        if (key == LocalMachine()) return &kLocalMachine;
        const size_t index = reinterpret_cast<uintptr_t>(key);
        if (index == 0 || index > open_.size() || open_[index - 1].empty()) return nullptr;
        return &open_[index - 1];
    }
    bool Resolve(RegKey parent, const char16_t* subKey, std::u16string& path) const {
        const std::u16string* base = PathOf(parent);
        if (base == nullptr) return false;
        path = *base;
        if (*subKey != u'\0') path += u'\\' + FoldAll(subKey);
        return true;
    }
    RegKey Open(const std::u16string& path) {
        open_.push_back(path);
        ++openCount;
        return reinterpret_cast<RegKey>(static_cast<uintptr_t>(open_.size()));
    }

    inline static const std::u16string kClassesRoot = u"hkcr";
    inline static const std::u16string kLocalMachine = u"hklm";
    std::vector<std::u16string> open_;
};

}  // namespace jobsvc::fuzz
