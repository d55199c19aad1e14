#include "platform/sim/registry.h"

#include <cstring>
#include <stdexcept>

#include "platform/constants.h"
#include "platform/sim/text.h"

namespace jobsvc::sim {
namespace {


constexpr char16_t kClassesRoot[] = u"hkcr";
constexpr char16_t kLocalMachine[] = u"hklm";

// Splits a subkey path as spelled; a leading or doubled separator is refused as the platform
// does, a trailing one is ignored.
bool SplitSpelled(std::u16string_view path, std::vector<std::u16string>* parts) {
    size_t start = 0;
    while (start < path.size()) {
        const size_t end = std::min(path.find(u'\\', start), path.size());
        if (end == start) return false;
        parts->emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

bool Split(std::u16string_view path, std::vector<std::u16string>* parts) {
    std::vector<std::u16string> spelled;
    if (!SplitSpelled(path, &spelled)) return false;
    for (const std::u16string& part : spelled) parts->push_back(Fold(part));
    return true;
}

std::u16string Join(const std::vector<std::u16string>& path) {
    std::u16string text;
    for (const std::u16string& part : path) {
        if (!text.empty()) text += u'\\';
        text += part;
    }
    return text;
}

}  // namespace

SimRegistry::SimRegistry() {
    CreatePath(u"HKCR\\AppID");
    CreatePath(u"HKCR\\TypeLib");
    CreatePath(u"HKLM\\SYSTEM\\CurrentControlSet\\Services");
}

SimRegistry::~SimRegistry() = default;

Win32Error SimRegistry::Resolve(RegKey key, Path* path, uint32_t* access) const {
    if (key == ClassesRoot() || key == LocalMachine()) {
        *path = {key == ClassesRoot() ? kClassesRoot : kLocalMachine};
        *access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    const auto found = handles_.find(key);
    if (found == handles_.end()) return ERROR_INVALID_HANDLE;
    *path = found->second->path;
    *access = found->second->access;
    return Find(*path) == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

Win32Error SimRegistry::ResolveKey(RegKey key, uint32_t need, Key** found) {
    Path path;
    uint32_t access = 0;
    if (const Win32Error error = Resolve(key, &path, &access); error != ERROR_SUCCESS) return error;
    if ((access & need) == 0) return ERROR_ACCESS_DENIED;
    *found = Find(path);
    return ERROR_SUCCESS;
}

SimRegistry::Key* SimRegistry::Find(const Path& path) const {
    const Key* key = &root_;
    for (const std::u16string& part : path) {
        const auto child = key->subKeys.find(part);
        if (child == key->subKeys.end()) return nullptr;
        key = child->second.get();
    }
    return const_cast<Key*>(key);
}

uint32_t SimRegistry::Denied(const Path& path) const {
    const auto found = denials_.find(Join(path));
    return found == denials_.end() ? 0 : found->second;
}

RegKey SimRegistry::NewHandle(Path path, uint32_t access) {
    auto handle = std::make_unique<Handle>(Handle{std::move(path), access});
    const RegKey key = reinterpret_cast<RegKey>(handle.get());
    handles_.emplace(key, std::move(handle));
    return key;
}

Win32Error SimRegistry::OpenKey(RegKey parent, const char16_t* subKey, uint32_t access,
                                RegKey* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    Path path;
    uint32_t parentAccess = 0;
    if (const Win32Error error = Resolve(parent, &path, &parentAccess); error != ERROR_SUCCESS) {
        return error;
    }
    if (!Split(View(subKey), &path)) return ERROR_BAD_PATHNAME;
    if (Find(path) == nullptr) return ERROR_FILE_NOT_FOUND;
    if ((Denied(path) & access) != 0) return ERROR_ACCESS_DENIED;
    *result = NewHandle(std::move(path), access);
    return ERROR_SUCCESS;
}

Win32Error SimRegistry::CreateKey(RegKey parent, const char16_t* subKey, uint32_t access,
                                  RegKey* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    Path path;
    uint32_t parentAccess = 0;
    if (const Win32Error error = Resolve(parent, &path, &parentAccess); error != ERROR_SUCCESS) {
        return error;
    }
    const size_t parentDepth = path.size();
    if (!Split(View(subKey), &path)) return ERROR_BAD_PATHNAME;
    if ((Denied(path) & access) != 0) return ERROR_ACCESS_DENIED;

    // Keys along the way are created one by one, so a refusal half-way leaves the upper ones.
    Key* key = Find(Path(path.begin(), path.begin() + parentDepth));
    for (size_t depth = parentDepth; depth < path.size(); ++depth) {
        auto child = key->subKeys.find(path[depth]);
        if (child == key->subKeys.end()) {
            const Path above(path.begin(), path.begin() + depth);
            const bool parentRights =
                depth > parentDepth || (parentAccess & KEY_CREATE_SUB_KEY) != 0;
            if (!parentRights || (Denied(above) & KEY_CREATE_SUB_KEY) != 0) {
                return ERROR_ACCESS_DENIED;
            }
            std::vector<std::u16string> spelled;
            (void)SplitSpelled(View(subKey), &spelled);
            auto created = std::make_unique<Key>();
            created->name = spelled[depth - parentDepth];  // the caller's spelling
            child = key->subKeys.emplace(path[depth], std::move(created)).first;
        }
        key = child->second.get();
    }
    *result = NewHandle(std::move(path), access);
    return ERROR_SUCCESS;
}

Win32Error SimRegistry::QueryValue(RegKey key, const char16_t* name, uint32_t* type, void* data,
                                   uint32_t* size) {
    Key* found = nullptr;
    if (const Win32Error error = ResolveKey(key, KEY_QUERY_VALUE, &found); error != ERROR_SUCCESS) {
        return error;
    }
    const auto value = found->values.find(Fold(View(name)));
    if (value == found->values.end()) return ERROR_FILE_NOT_FOUND;
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    const std::vector<uint8_t>& bytes = value->second.value.data;
    const auto needed = static_cast<uint32_t>(bytes.size());
    if (type != nullptr) *type = value->second.value.type;
    if (data == nullptr) {
        if (size != nullptr) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0) std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

Win32Error SimRegistry::SetValue(RegKey key, const char16_t* name, uint32_t type, const void* data,
                                 uint32_t size) {
    Key* found = nullptr;
    if (const Win32Error error = ResolveKey(key, KEY_SET_VALUE, &found); error != ERROR_SUCCESS) {
        return error;
    }
    if (data == nullptr && size > 0) return ERROR_NOACCESS;
    const auto* bytes = static_cast<const uint8_t*>(data);
    Value& value = found->values[Fold(View(name))];
    value.name = std::u16string(View(name));
    value.value = RegValue{type, std::vector<uint8_t>(bytes, bytes + size)};
    return ERROR_SUCCESS;
}

Win32Error SimRegistry::DeleteValue(RegKey key, const char16_t* name) {
    Key* found = nullptr;
    if (const Win32Error error = ResolveKey(key, KEY_SET_VALUE, &found); error != ERROR_SUCCESS) {
        return error;
    }
    return found->values.erase(Fold(View(name))) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

Win32Error SimRegistry::DeleteTree(RegKey parent, const char16_t* subKey) {
    // Any right to change the parent will do; the platform's finer rules are not modelled.
    Key* found = nullptr;
    if (const Win32Error error =
            ResolveKey(parent, KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE, &found);
        error != ERROR_SUCCESS) {
        return error;
    }
    Path path;
    uint32_t access = 0;
    (void)Resolve(parent, &path, &access);
    const size_t parentDepth = path.size();
    if (!Split(View(subKey), &path)) return ERROR_BAD_PATHNAME;
    if (path.size() == parentDepth) {
        found->subKeys.clear();
        found->values.clear();
        return ERROR_SUCCESS;
    }
    if (Find(path) == nullptr) return ERROR_FILE_NOT_FOUND;
    if ((Denied(path) & DELETE) != 0) return ERROR_ACCESS_DENIED;
    const std::u16string last = path.back();
    path.pop_back();
    Find(path)->subKeys.erase(last);
    return ERROR_SUCCESS;
}

Win32Error SimRegistry::CloseKey(RegKey key) {
    if (key == ClassesRoot() || key == LocalMachine()) return ERROR_SUCCESS;
    if (handles_.erase(key) > 0) return ERROR_SUCCESS;
    ++invalidCloses_;
    return ERROR_INVALID_HANDLE;
}

SimRegistry::Path SimRegistry::TestPath(std::u16string_view text) {
    Path path;
    if (!Split(text, &path) || path.empty()) {
        throw std::invalid_argument("not a registry path: " + Narrow(text));
    }
    if (path[0] == u"hkey_classes_root") path[0] = kClassesRoot;
    if (path[0] == u"hkey_local_machine") path[0] = kLocalMachine;
    if (path[0] != kClassesRoot && path[0] != kLocalMachine) {
        throw std::invalid_argument("registry path without HKCR or HKLM: " + Narrow(text));
    }
    return path;
}

void SimRegistry::CreatePath(std::u16string_view text) {
    const Path path = TestPath(text);
    std::vector<std::u16string> spelled;
    (void)SplitSpelled(text, &spelled);
    Key* key = &root_;
    for (size_t i = 0; i < path.size(); ++i) {
        std::unique_ptr<Key>& child = key->subKeys[path[i]];
        if (!child) {
            child = std::make_unique<Key>();
            child->name = spelled[i];
        }
        key = child.get();
    }
}

bool SimRegistry::Exists(std::u16string_view path) const { return Find(TestPath(path)) != nullptr; }

void SimRegistry::DeletePath(std::u16string_view text) {
    Path path = TestPath(text);
    if (path.size() < 2) throw std::invalid_argument("a root cannot be deleted");
    const std::u16string last = path.back();
    path.pop_back();
    if (Key* parent = Find(path)) parent->subKeys.erase(last);
}

void SimRegistry::SetPathValue(std::u16string_view path, std::u16string_view name, uint32_t type,
                               std::span<const uint8_t> data) {
    CreatePath(path);
    Value& value = Find(TestPath(path))->values[Fold(name)];
    value.name = std::u16string(name);
    value.value = RegValue{type, std::vector<uint8_t>(data.begin(), data.end())};
}

std::optional<RegValue> SimRegistry::GetPathValue(std::u16string_view path,
                                                  std::u16string_view name) const {
    const Key* key = Find(TestPath(path));
    if (key == nullptr) return std::nullopt;
    const auto value = key->values.find(Fold(name));
    if (value == key->values.end()) return std::nullopt;
    return value->second.value;
}

std::vector<std::u16string> SimRegistry::SubKeys(std::u16string_view path) const {
    std::vector<std::u16string> names;
    if (const Key* key = Find(TestPath(path))) {
        for (const auto& [folded, child] : key->subKeys) names.push_back(child->name);
    }
    return names;
}

std::vector<std::u16string> SimRegistry::ValueNames(std::u16string_view path) const {
    std::vector<std::u16string> names;
    if (const Key* key = Find(TestPath(path))) {
        for (const auto& [folded, value] : key->values) names.push_back(value.name);
    }
    return names;
}

void SimRegistry::Deny(std::u16string_view path, uint32_t mask) {
    // KEY_READ and KEY_WRITE share READ_CONTROL: denying one must not deny the other.
    denials_[Join(TestPath(path))] |= mask & ~READ_CONTROL;
}

}  // namespace jobsvc::sim
