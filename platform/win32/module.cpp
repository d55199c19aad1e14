#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {

const char16_t* Win32Module::CommandLine() { return Utf16(::GetCommandLineW()); }

uint32_t Win32Module::FileName(char16_t* buffer, uint32_t capacity) {
    return ::GetModuleFileNameW(nullptr, Wide(buffer), capacity);
}

int32_t Win32Module::LoadText(ModuleHandle instance, uint32_t id, char16_t* buffer,
                              int32_t capacity) {
    return ::LoadStringW(Native<HINSTANCE>(instance), id, Wide(buffer), capacity);
}

std::span<const std::byte> Win32Module::FindResourceData(ModuleHandle instance,
                                                         const char16_t* type, uint32_t id) {
    const auto module = Native<HMODULE>(instance);
    const HRSRC resource = ::FindResourceExW(module, Wide(type), MAKEINTRESOURCEW(id),
                                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (resource == nullptr) return {};
    const HGLOBAL loaded = ::LoadResource(module, resource);
    if (loaded == nullptr) return {};
    const void* data = ::LockResource(loaded);
    if (data == nullptr) return {};
    // Resources stay mapped for the life of the module: nothing to unlock or free.
    return {static_cast<const std::byte*>(data), ::SizeofResource(module, resource)};
}

const char16_t* Win32Module::NextChar(const char16_t* text) {
    return Utf16(::CharNextW(Wide(text)));
}

int32_t Win32Module::CompareNoCase(const char16_t* left, const char16_t* right) {
    return ::lstrcmpiW(Wide(left), Wide(right));
}

}  // namespace jobsvc::win32
