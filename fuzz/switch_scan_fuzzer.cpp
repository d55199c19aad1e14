// The switch scan against a plain reading of the rule: the first '-' or '/' whose remainder
// of the line is a keyword, in any letter case, decides.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fake_platform.h"
#include "service/switches.h"

using jobsvc::RegistrationSwitch;

namespace {

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (jobsvc::fuzz::Fold(a[i]) != jobsvc::fuzz::Fold(b[i])) return false;
    }
    return true;
}

RegistrationSwitch Reference(std::u16string_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != u'-' && line[i] != u'/') continue;
        const std::u16string_view rest = line.substr(i + 1);
        if (EqualsNoCase(rest, u"UnregServer")) return RegistrationSwitch::UnregServer;
        if (EqualsNoCase(rest, u"RegServer")) return RegistrationSwitch::RegServer;
        if (EqualsNoCase(rest, u"Service")) return RegistrationSwitch::Service;
    }
    return RegistrationSwitch::None;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Bytes are read as ASCII-heavy UTF-16 so that keywords turn up often; the line ends at
    // its first zero like the platform's.
    std::u16string line;
    for (size_t i = 0; i < size; ++i) {
        const char16_t c = data[i] == 0xFF && i + 1 < size ? char16_t(0x100 + data[++i]) : data[i];
        if (c == 0) break;
        line += c;
    }
    jobsvc::fuzz::FakeModule module;
    if (jobsvc::ScanSwitches(module, line.c_str()) != Reference(line)) std::abort();
    return 0;
}
