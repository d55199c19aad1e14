#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {

int32_t Win32UserInterface::ShowMessageBox(const char16_t* text, const char16_t* caption,
                                           uint32_t style) {
    return ::MessageBoxW(nullptr, Wide(text), Wide(caption), style);
}

}  // namespace jobsvc::win32
