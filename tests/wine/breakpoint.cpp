#include "breakpoint.h"

#include <cstring>

namespace e2e {
namespace {

constexpr BYTE kBreakpoint = 0xCC;

}  // namespace

Breakpoint::Breakpoint(const wchar_t* module, const char* name) {
    HMODULE library = GetModuleHandleW(module);
    if (library == nullptr) library = LoadLibraryW(module);
    if (library != nullptr) target_ = reinterpret_cast<BYTE*>(GetProcAddress(library, name));
}

bool Breakpoint::TryPlace(HANDLE process) {
    if (placed_ || target_ == nullptr) return placed_;
    BYTE theirs[8];
    if (!ReadProcessMemory(process, target_, theirs, sizeof theirs, nullptr) ||
        std::memcmp(theirs, target_, sizeof theirs) != 0) {
        return false;
    }
    placed_ = WriteProcessMemory(process, target_, &kBreakpoint, 1, nullptr) &&
              FlushInstructionCache(process, target_, 1);
    return placed_;
}

bool Breakpoint::Hits(const EXCEPTION_RECORD& record) const {
    return placed_ && record.ExceptionCode == EXCEPTION_BREAKPOINT &&
           record.ExceptionAddress == target_;
}

bool Breakpoint::Remove(HANDLE process) {
    if (!placed_) return true;
    // This process's own copy was never touched: its first byte is the original.
    placed_ = !(WriteProcessMemory(process, target_, target_, 1, nullptr) &&
                FlushInstructionCache(process, target_, 1));
    return !placed_;
}

}  // namespace e2e
