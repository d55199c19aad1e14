// What a running process holds, read from outside: its handles and its memory.
#pragma once

#include <windows.h>

#include <optional>

namespace e2e {

struct ProcessUsage {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;  // committed memory of its own (heaps, stacks, private data)
    SIZE_T workingSet = 0;
};

// Empty when the process cannot be examined.
std::optional<ProcessUsage> UsageOf(DWORD processId);

}  // namespace e2e
