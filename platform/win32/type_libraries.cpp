#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {
namespace {

ITypeLib* Native(TypeLib library) { return reinterpret_cast<ITypeLib*>(library); }

}  // namespace

HResult Win32TypeLibraries::Load(const char16_t* path, TypeLib* result) {
    ITypeLib* library = nullptr;
    const HRESULT status = ::LoadTypeLib(Wide(path), &library);
    *result = Seam<TypeLib>(library);
    return status;
}

HResult Win32TypeLibraries::Register(TypeLib library, const char16_t* path,
                                     const char16_t* helpDirectory) {
    // The API's parameters lack const, but it only reads the texts.
    return ::RegisterTypeLib(Native(library), const_cast<wchar_t*>(Wide(path)),
                             const_cast<wchar_t*>(Wide(helpDirectory)));
}

HResult Win32TypeLibraries::GetAttributes(TypeLib library, TypeLibAttributes* result) {
    TLIBATTR* attributes = nullptr;
    const HRESULT status = Native(library)->GetLibAttr(&attributes);
    if (FAILED(status)) return status;
    *result = TypeLibAttributes{reinterpret_cast<const Guid&>(attributes->guid), attributes->lcid,
                                attributes->syskind, attributes->wMajorVerNum,
                                attributes->wMinorVerNum};
    Native(library)->ReleaseTLibAttr(attributes);
    return status;
}

bool Win32TypeLibraries::UnregisterByLookup(const TypeLibAttributes& attributes,
                                            HResult* result) {
    // Looked up at run time: older automation libraries do not export it.
    using UnregisterProc = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    const HMODULE oleaut = ::LoadLibraryW(L"oleaut32.dll");
    if (oleaut == nullptr) return false;
    const auto unregister =
        ProcedureCast<UnregisterProc>(::GetProcAddress(oleaut, "UnRegisterTypeLib"));
    if (unregister != nullptr) {
        *result = unregister(win32::Native(attributes.libId), attributes.majorVersion,
                             attributes.minorVersion, attributes.locale,
                             static_cast<SYSKIND>(attributes.systemKind));
    }
    ::FreeLibrary(oleaut);
    return unregister != nullptr;
}

void Win32TypeLibraries::Release(TypeLib library) {
    if (library != nullptr) Native(library)->Release();
}

}  // namespace jobsvc::win32
