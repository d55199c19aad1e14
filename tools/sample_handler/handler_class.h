// The identity under which the sample job handler is registered. The job services know only
// the ProgID; the class identifier belongs to this handler alone.
#pragma once

#include <windows.h>

namespace sample_handler {

inline constexpr wchar_t kProgId[] = L"Tenmoor.TenmoorHandler";
inline constexpr wchar_t kDescription[] = L"Sample job handler";

// {D25899BB-0EAC-4B8D-94D7-9EFF842D2A3F}
inline constexpr CLSID kClassId = {
    0xd25899bb, 0x0eac, 0x4b8d, {0x94, 0xd7, 0x9e, 0xff, 0x84, 0x2d, 0x2a, 0x3f}};

}  // namespace sample_handler
