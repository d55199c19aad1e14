#include "install/registrar.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/constants.h"
#include "platform/owned.h"

namespace jobsvc {
namespace {

constexpr size_t kMaxDepth = 32;  // far beyond any script; keeps hostile input off the stack

HResult FromWin32(Win32Error error) {
    return error == ERROR_SUCCESS ? S_OK
                                  : static_cast<HResult>(0x80070000u | (error & 0xFFFFu));
}

struct Value {
    uint32_t type = REG_SZ;
    std::u16string text;  // REG_SZ
    uint32_t number = 0;  // REG_DWORD
};

struct NamedValue {
    std::u16string name;
    Value value;
};

enum class KeyFlag { Normal, NoRemove, ForceRemove, Delete };

struct Key {
    std::u16string name;
    KeyFlag flag = KeyFlag::Normal;
    std::optional<Value> defaultValue;
    std::vector<NamedValue> values;
    std::vector<Key> subkeys;
};

struct Root {
    RegKey handle;
    std::vector<Key> keys;
};

bool EqualsNoCase(std::u16string_view left, std::u16string_view right) {
    if (left.size() != right.size()) return false;
    for (size_t i = 0; i < left.size(); ++i) {
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
        if (lower(left[i]) != lower(right[i])) return false;
    }
    return true;
}

class Parser {
public:
    Parser(std::string_view script, std::span<const ReplacementVariable> variables)
        : script_(script), variables_(variables) {}

    bool Parse(std::vector<Root>& roots) {
        std::u16string word;
        while (Next(word)) {
            Root root{RootHandle(word), {}};
            if (root.handle == nullptr || !Expect(u"{") || !ParseBody(root.keys, nullptr, 0)) {
                return false;
            }
            roots.push_back(std::move(root));
        }
        return ok_;
    }

private:
    static RegKey RootHandle(std::u16string_view name) {
        if (EqualsNoCase(name, u"HKCR") || EqualsNoCase(name, u"HKEY_CLASSES_ROOT")) {
            return Registry::ClassesRoot();
        }
        if (EqualsNoCase(name, u"HKLM") || EqualsNoCase(name, u"HKEY_LOCAL_MACHINE")) {
            return Registry::LocalMachine();
        }
        return nullptr;
    }

    // Items up to the closing brace. `values` is null at root level, where "val" is a key name.
    bool ParseBody(std::vector<Key>& keys, std::vector<NamedValue>* values, size_t depth) {
        if (depth >= kMaxDepth) return false;
        std::u16string word;
        while (Next(word)) {
            if (word == u"}" && !lastQuoted_) return true;
            if (values != nullptr && !lastQuoted_ && EqualsNoCase(word, u"val")) {
                NamedValue value;
                if (!Next(value.name) || !Expect(u"=") || !ParseValue(value.value)) return false;
                values->push_back(std::move(value));
                continue;
            }
            Key key;
            if (!lastQuoted_) {
                if (EqualsNoCase(word, u"NoRemove")) key.flag = KeyFlag::NoRemove;
                if (EqualsNoCase(word, u"ForceRemove")) key.flag = KeyFlag::ForceRemove;
                if (EqualsNoCase(word, u"Delete")) key.flag = KeyFlag::Delete;
                if (key.flag != KeyFlag::Normal && !Next(word)) return false;
            }
            if (word.empty() || (!lastQuoted_ && (word == u"{" || word == u"=" || word == u"}"))) {
                return false;
            }
            key.name = std::move(word);
            if (!Peek(word)) return false;
            if (word == u"=" && !peekQuoted_) {
                (void)Next(word);
                key.defaultValue.emplace();
                if (!ParseValue(*key.defaultValue)) return false;
                if (!Peek(word)) return false;
            }
            if (word == u"{" && !peekQuoted_) {
                (void)Next(word);
                if (!ParseBody(key.subkeys, &key.values, depth + 1)) return false;
            }
            keys.push_back(std::move(key));
        }
        return false;  // the script ended inside a block
    }

    bool ParseValue(Value& value) {
        std::u16string type;
        std::u16string data;
        if (!Next(type) || !Next(data)) return false;
        if (EqualsNoCase(type, u"s")) {
            value.type = REG_SZ;
            value.text = std::move(data);
            return true;
        }
        if (EqualsNoCase(type, u"d")) {
            value.type = REG_DWORD;
            return ParseNumber(data, value.number);
        }
        return false;
    }

    static bool ParseNumber(std::u16string_view text, uint32_t& number) {
        uint32_t base = 10;
        if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
            base = 16;
            text.remove_prefix(2);
        }
        if (text.empty()) return false;
        uint64_t result = 0;
        for (char16_t c : text) {
            uint32_t digit;
            if (c >= u'0' && c <= u'9') digit = c - u'0';
            else if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
            else if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
            else return false;
            result = result * base + digit;
            if (result > 0xFFFFFFFFu) return false;
        }
        number = static_cast<uint32_t>(result);
        return true;
    }

    bool Expect(std::u16string_view expected) {
        std::u16string word;
        return Next(word) && !lastQuoted_ && word == expected;
    }

    bool Peek(std::u16string& word) {
        const size_t position = position_;
        const bool found = Next(word);
        peekQuoted_ = lastQuoted_;
        position_ = position;
        return found;
    }

    // The next token: a quoted text, or a run of characters up to white space.
    bool Next(std::u16string& word) {
        word.clear();
        lastQuoted_ = false;
        while (position_ < script_.size() && IsSpace(script_[position_])) ++position_;
        if (position_ >= script_.size() || !ok_) return false;
        if (script_[position_] == '\'') {
            lastQuoted_ = true;
            for (++position_;; ++position_) {
                if (position_ >= script_.size()) return Fail();
                if (script_[position_] == '\'') {
                    if (position_ + 1 < script_.size() && script_[position_ + 1] == '\'') {
                        ++position_;
                    } else {
                        ++position_;
                        return true;
                    }
                }
                if (!Append(word)) return false;
            }
        }
        while (position_ < script_.size() && !IsSpace(script_[position_])) {
            if (!Append(word)) return false;
            ++position_;
        }
        return true;
    }

    // Appends the character at the position, expanding %Name% and %%.
    bool Append(std::u16string& word) {
        const char c = script_[position_];
        if (c != '%') {
            // Plain ASCII in practice; other bytes are taken as Latin-1.
            word += static_cast<char16_t>(static_cast<unsigned char>(c));
            return true;
        }
        const size_t end = script_.find('%', position_ + 1);
        if (end == std::string_view::npos) return Fail();
        const std::string_view name = script_.substr(position_ + 1, end - position_ - 1);
        position_ = end;
        if (name.empty()) {
            word += u'%';
            return true;
        }
        for (const ReplacementVariable& variable : variables_) {
            if (variable.name.size() == name.size() &&
                std::equal(name.begin(), name.end(), variable.name.begin(),
                           [](char a, char16_t b) { return static_cast<char16_t>(a) == b; })) {
                word += variable.value;
                return true;
            }
        }
        return Fail();
    }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    bool Fail() {
        ok_ = false;
        return false;
    }

    std::string_view script_;
    std::span<const ReplacementVariable> variables_;
    size_t position_ = 0;
    bool ok_ = true;
    bool lastQuoted_ = false;
    bool peekQuoted_ = false;
};

class Applier {
public:
    explicit Applier(Registry& registry) : registry_(registry) {}

    HResult Register(RegKey parent, const Key& key) {
        if (key.flag == KeyFlag::ForceRemove || key.flag == KeyFlag::Delete) {
            (void)registry_.DeleteTree(parent, key.name.c_str());  // absent is fine
            if (key.flag == KeyFlag::Delete) return S_OK;
        }
        OwnedKey handle;
        Win32Error error = registry_.CreateKey(parent, key.name.c_str(), KEY_READ | KEY_WRITE,
                                               handle.Receive(registry_));
        if (error != ERROR_SUCCESS) return FromWin32(error);
        if (key.defaultValue) {
            error = SetValue(handle.Get(), u"", *key.defaultValue);
            if (error != ERROR_SUCCESS) return FromWin32(error);
        }
        for (const NamedValue& value : key.values) {
            error = SetValue(handle.Get(), value.name.c_str(), value.value);
            if (error != ERROR_SUCCESS) return FromWin32(error);
        }
        for (const Key& subkey : key.subkeys) {
            const HResult result = Register(handle.Get(), subkey);
            if (result != S_OK) return result;
        }
        return S_OK;
    }

    HResult Unregister(RegKey parent, const Key& key) {
        if (key.flag != KeyFlag::NoRemove) {
            const Win32Error error = registry_.DeleteTree(parent, key.name.c_str());
            return error == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(error);
        }
        OwnedKey handle;
        Win32Error error = registry_.OpenKey(parent, key.name.c_str(), KEY_READ | KEY_WRITE,
                                             handle.Receive(registry_));
        if (error == ERROR_FILE_NOT_FOUND) return S_OK;
        if (error != ERROR_SUCCESS) return FromWin32(error);
        for (const Key& subkey : key.subkeys) {
            const HResult result = Unregister(handle.Get(), subkey);
            if (result != S_OK) return result;
        }
        for (const NamedValue& value : key.values) {
            error = registry_.DeleteValue(handle.Get(), value.name.c_str());
            if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return FromWin32(error);
        }
        return S_OK;
    }

private:
    Win32Error SetValue(RegKey key, const char16_t* name, const Value& value) {
        if (value.type == REG_DWORD) {
            const uint8_t data[4] = {
                static_cast<uint8_t>(value.number), static_cast<uint8_t>(value.number >> 8),
                static_cast<uint8_t>(value.number >> 16), static_cast<uint8_t>(value.number >> 24)};
            return registry_.SetValue(key, name, REG_DWORD, data, sizeof(data));
        }
        // Stored with its terminator, as the platform expects of REG_SZ.
        return registry_.SetValue(key, name, REG_SZ, value.text.c_str(),
                                  static_cast<uint32_t>((value.text.size() + 1) * sizeof(char16_t)));
    }

    Registry& registry_;
};

}  // namespace

HResult ApplyRegistrationScript(Registry& registry, std::string_view script,
                                std::span<const ReplacementVariable> variables,
                                RegistrarMode mode) {
    // The script is text: it ends at a zero, so that no name can hide one. (An empty name
    // would make a key operation act on the parent itself.)
    script = script.substr(0, script.find('\0'));
    std::vector<Root> roots;
    if (!Parser(script, variables).Parse(roots)) return E_INVALIDARG;
    Applier applier(registry);
    for (const Root& root : roots) {
        for (const Key& key : root.keys) {
            const HResult result = mode == RegistrarMode::Register
                                       ? applier.Register(root.handle, key)
                                       : applier.Unregister(root.handle, key);
            if (result != S_OK) return result;
        }
    }
    return S_OK;
}

}  // namespace jobsvc
