// The program entry: switch scan, service-mode probe and hand-over to Start.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace jobsvc {

class ServiceModule;

// Points just past the first character of `text` that is one of `separators`; null when
// `text` is null or empty or holds none of them. A null separator set matches nothing.
[[nodiscard]] const char16_t* FindSwitch(Module& module, const char16_t* text,
                                         const char16_t* separators);

// Runs the process and returns its exit code.
[[nodiscard]] int32_t ProgramEntry(ServiceModule& module, ModuleHandle instance);

}  // namespace jobsvc
