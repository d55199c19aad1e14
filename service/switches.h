// The registration switches on the command line.
#pragma once

#include "platform/platform.h"

namespace jobsvc {

// Points just past the first character of `text` that is one of `separators`; null when
// `text` is null or empty or holds none of them. A null separator set matches nothing.
[[nodiscard]] const char16_t* FindSwitch(Module& module, const char16_t* text,
                                         const char16_t* separators);

enum class RegistrationSwitch { None, UnregServer, RegServer, Service };

// The registration switch that ends the command line: '-' or '/' and a keyword in any letter
// case, with nothing after it.
[[nodiscard]] RegistrationSwitch ScanSwitches(Module& module, const char16_t* commandLine);

}  // namespace jobsvc
