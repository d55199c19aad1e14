// The program entry: switch scan, service-mode probe and hand-over to Start.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace jobsvc {

class ServiceModule;

// Runs the process and returns its exit code.
[[nodiscard]] int32_t ProgramEntry(ServiceModule& module, ModuleHandle instance);

}  // namespace jobsvc
