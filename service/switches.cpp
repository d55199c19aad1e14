#include "service/switches.h"

namespace jobsvc {

const char16_t* FindSwitch(Module& module, const char16_t* text, const char16_t* separators) {
    if (text == nullptr || separators == nullptr) return nullptr;
    for (; *text != u'\0'; text = module.NextChar(text)) {
        for (const char16_t* separator = separators; *separator != u'\0';
             separator = module.NextChar(separator)) {
            if (*text == *separator) return module.NextChar(text);
        }
    }
    return nullptr;
}

RegistrationSwitch ScanSwitches(Module& module, const char16_t* commandLine) {
    static constexpr char16_t separators[] = u"-/";
    // The remainder of the line must be the whole keyword.
    for (const char16_t* p = FindSwitch(module, commandLine, separators); p != nullptr;
         p = FindSwitch(module, p, separators)) {
        if (module.CompareNoCase(p, u"UnregServer") == 0) return RegistrationSwitch::UnregServer;
        if (module.CompareNoCase(p, u"RegServer") == 0) return RegistrationSwitch::RegServer;
        if (module.CompareNoCase(p, u"Service") == 0) return RegistrationSwitch::Service;
    }
    return RegistrationSwitch::None;
}

}  // namespace jobsvc
