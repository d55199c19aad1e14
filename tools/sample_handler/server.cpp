// The in-process server around the job handler: class factory, unload check and
// self-registration.
#include <windows.h>

#include <olectl.h>

#include <string>

#include "handler_class.h"
#include "job_handler.h"

namespace sample_handler {
namespace {

HMODULE thisModule = nullptr;

// One static factory for the life of the DLL; only server locks count against unloading.
class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return CreateJobHandler(iid, object);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&activeCount);
        } else {
            InterlockedDecrement(&activeCount);
        }
        return S_OK;
    }
};

ClassFactory factory;

std::wstring ClassKey() {
    wchar_t text[64];
    StringFromGUID2(kClassId, text, 64);
    return std::wstring(L"CLSID\\") + text;
}

bool SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

bool RemoveKey(const std::wstring& key) {
    const LSTATUS result = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    if (result == ERROR_FILE_NOT_FOUND) return true;
    return result == ERROR_SUCCESS &&
           RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str()) == ERROR_SUCCESS;
}

}  // namespace
}  // namespace sample_handler

using namespace sample_handler;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return activeCount == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(thisModule, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return SELFREG_E_CLASS;

    wchar_t classText[64];
    StringFromGUID2(kClassId, classText, 64);
    const std::wstring progIdKey = kProgId;
    const std::wstring classKey = ClassKey();
    const bool written = SetText(progIdKey, nullptr, kDescription) &&
                         SetText(progIdKey + L"\\CLSID", nullptr, classText) &&
                         SetText(classKey, nullptr, kDescription) &&
                         SetText(classKey + L"\\InprocServer32", nullptr, path) &&
                         SetText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Both") &&
                         SetText(classKey + L"\\ProgID", nullptr, kProgId);
    return written ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    const bool progIdRemoved = RemoveKey(kProgId);
    const bool classRemoved = RemoveKey(ClassKey());
    return progIdRemoved && classRemoved ? S_OK : SELFREG_E_CLASS;
}
