// The executables are built without exceptions (cmake/windows.cmake): nothing in them throws
// or catches, and the library's exception machinery (unwinder, verbose terminate handler,
// demangler, formatted output) made up four fifths of each file. What the C++ library would
// throw ends the process here instead, as the uncaught exception would have, but without a
// message box that a service could never close. These definitions replace the library's
// own, so that none of that machinery is linked.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void EndProcess(UINT exitCode) {
    TerminateProcess(GetCurrentProcess(), exitCode);
    __builtin_unreachable();  // the call does not return for the calling process
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    EndProcess(ERROR_NOT_ENOUGH_MEMORY);
}

void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t) noexcept { std::free(block); }

// All that the library's own definitions (one object file, functexcept.o) provide: defining
// only some of them would pull that file in for the others and clash.
namespace std {

void __throw_bad_alloc() { EndProcess(ERROR_NOT_ENOUGH_MEMORY); }
void __throw_bad_array_new_length() { EndProcess(ERROR_NOT_ENOUGH_MEMORY); }
void __throw_bad_exception() { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_bad_cast() { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_bad_typeid() { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_logic_error(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_domain_error(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_invalid_argument(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_length_error(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_out_of_range(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_out_of_range_fmt(const char*, ...) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_runtime_error(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_range_error(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_overflow_error(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }
void __throw_underflow_error(const char*) { EndProcess(ERROR_INTERNAL_ERROR); }

}  // namespace std
