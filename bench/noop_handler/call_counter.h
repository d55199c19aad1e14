// What the no-op job handler shares with the benchmark: its class and the counter of its
// calls, which lives in shared memory named after the host process so that the benchmark
// can read it without a word to the host.
#pragma once

#include <windows.h>

#include <string>

namespace noop_handler {

// {5C366E67-3920-450B-9CA2-CAC6453D50BD}
inline constexpr CLSID kClassId = {
    0x5c366e67, 0x3920, 0x450b, {0x9c, 0xa2, 0xca, 0xc6, 0x45, 0x3d, 0x50, 0xbd}};
inline constexpr wchar_t kClassIdText[] = L"{5C366E67-3920-450B-9CA2-CAC6453D50BD}";

struct CallCounter {
    volatile LONG runs;  // completed calls of "Run"
};

inline std::wstring CallCounterName(DWORD processId) {
    return L"JobServicesBench.Runs." + std::to_wstring(processId);
}

}  // namespace noop_handler
