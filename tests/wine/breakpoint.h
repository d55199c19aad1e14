// One-byte breakpoints in another process's copy of a system function, for tests that run
// that process under the debug API to answer or hold one of its calls.
#pragma once

#include <windows.h>

namespace e2e {

class Breakpoint {
public:
    // `module!name` as this process has it. System libraries lie at the same address in every
    // process of a session, so that is the other process's address too.
    Breakpoint(const wchar_t* module, const char* name);

    // Places it once the other process has the library mapped (it then holds the same first
    // bytes there as this one); true once placed.
    bool TryPlace(HANDLE process);
    [[nodiscard]] bool Placed() const { return placed_; }
    [[nodiscard]] bool Hits(const EXCEPTION_RECORD& record) const;
    [[nodiscard]] void* Address() const { return target_; }
    // Puts the original byte back; the function then runs undisturbed.
    bool Remove(HANDLE process);

private:
    BYTE* target_ = nullptr;
    bool placed_ = false;
};

}  // namespace e2e
