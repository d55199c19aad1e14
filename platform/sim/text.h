// UTF-16 helpers of the simulated machine. Names that the platform compares without regard
// to case (registry, services, events, ProgIDs) are folded to ASCII lower case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace jobsvc::sim {

inline char16_t FoldChar(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

inline std::u16string Fold(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded) c = FoldChar(c);
    return folded;
}

inline bool EqualNoCase(std::u16string_view left, std::u16string_view right) {
    if (left.size() != right.size()) return false;
    for (size_t i = 0; i < left.size(); ++i) {
        if (FoldChar(left[i]) != FoldChar(right[i])) return false;
    }
    return true;
}

// lstrcmpiW's sign for ASCII text.
inline int32_t CompareNoCase(std::u16string_view left, std::u16string_view right) {
    const size_t common = left.size() < right.size() ? left.size() : right.size();
    for (size_t i = 0; i < common; ++i) {
        const char16_t l = FoldChar(left[i]);
        const char16_t r = FoldChar(right[i]);
        if (l != r) return l < r ? -1 : 1;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

inline std::u16string_view View(const char16_t* text) {
    return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

inline std::u16string Widen(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    // The ANSI code page agrees with UTF-16 on every byte the system uses (plain ASCII).
    for (char c : text) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return wide;
}

inline std::string Narrow(std::u16string_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

// Registry form: braces, upper-case hexadecimal.
inline std::u16string GuidText(const Guid& guid) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::u16string text = u"{";
    auto hex = [&](uint64_t value, int width) {
        for (int shift = (width - 1) * 4; shift >= 0; shift -= 4)
            text += digits[(value >> shift) & 0xF];
    };
    hex(guid.data1, 8);
    text += u'-';
    hex(guid.data2, 4);
    text += u'-';
    hex(guid.data3, 4);
    text += u'-';
    hex(guid.data4[0], 2);
    hex(guid.data4[1], 2);
    text += u'-';
    for (int i = 2; i < 8; ++i) hex(guid.data4[i], 2);
    text += u'}';
    return text;
}

}  // namespace jobsvc::sim
