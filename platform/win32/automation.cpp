#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"

namespace jobsvc::win32 {
namespace {

IDispatch* Native(DispatchObject object) { return reinterpret_cast<IDispatch*>(object); }

}  // namespace

HResult Win32Automation::Initialize() { return ::CoInitialize(nullptr); }

void Win32Automation::Uninitialize() { ::CoUninitialize(); }

HResult Win32Automation::InitializeSecurity(SecurityDescriptor descriptor,
                                            uint32_t authenticationLevel,
                                            uint32_t impersonationLevel, uint32_t capabilities) {
    return ::CoInitializeSecurity(reinterpret_cast<PSECURITY_DESCRIPTOR>(descriptor), -1, nullptr,
                                  nullptr, authenticationLevel, impersonationLevel, nullptr,
                                  capabilities, nullptr);
}

AutoString Win32Automation::AllocString(std::u16string_view text) {
    return Utf16(::SysAllocStringLen(Wide(text.data()), static_cast<UINT>(text.size())));
}

AutoString Win32Automation::AllocStringFromAnsi(const char* text) {
    const int units = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units == 0) return nullptr;
    // The count includes the terminator, which the string allocator adds by itself.
    BSTR result = ::SysAllocStringLen(nullptr, static_cast<UINT>(units - 1));
    if (result == nullptr) return nullptr;
    (void)::MultiByteToWideChar(CP_ACP, 0, text, -1, result, units);
    return Utf16(result);
}

void Win32Automation::FreeString(AutoString text) { ::SysFreeString(Wide(text)); }

HResult Win32Automation::ClassFromProgId(AutoString progId, Guid* classId) {
    return ::CLSIDFromProgID(Wide(progId), reinterpret_cast<CLSID*>(classId));
}

HResult Win32Automation::CreateDispatch(const Guid& classId, uint32_t context,
                                        DispatchObject* result) {
    IDispatch* object = nullptr;
    const HRESULT status = ::CoCreateInstance(win32::Native(classId), nullptr, context,
                                              IID_IDispatch, reinterpret_cast<void**>(&object));
    *result = Seam<DispatchObject>(object);
    return status;
}

HResult Win32Automation::GetIdOfName(DispatchObject object, AutoString name, uint32_t locale,
                                     int32_t* dispatchId) {
    LPOLESTR names[] = {Wide(name)};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT status = Native(object)->GetIDsOfNames(IID_NULL, names, 1, locale, &id);
    *dispatchId = id;
    return status;
}

HResult Win32Automation::InvokeWithString(DispatchObject object, int32_t dispatchId,
                                          uint32_t locale, uint16_t flags, AutoString argument) {
    // The caller owns the string: the argument is neither copied nor cleared here.
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = Wide(argument);
    DISPPARAMS parameters{&value, nullptr, 1, 0};
    return Native(object)->Invoke(dispatchId, IID_NULL, locale, flags, &parameters, nullptr,
                                  nullptr, nullptr);
}

void Win32Automation::Release(DispatchObject object) {
    if (object != nullptr) Native(object)->Release();
}

}  // namespace jobsvc::win32
