// A job handler that does nothing: "Run" returns S_OK at once. With it, the cost of a
// dispatch is what the job service spends around the job. Each call is counted in shared
// memory (call_counter.h); the mapping is made at the first call, so later calls cost one
// interlocked add.
#include <windows.h>
#include <ole2.h>

#include <new>

#include "call_counter.h"

namespace noop_handler {
namespace {

constexpr DISPID kRunDispatchId = 1;

LONG objectCount = 0;
CallCounter* counter = nullptr;

void CountRun() {
    if (counter == nullptr) {
        // Kept for the life of the process; losing the race to another thread only leaks a view.
        const HANDLE mapping =
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                               sizeof(CallCounter),
                               CallCounterName(GetCurrentProcessId()).c_str());
        if (mapping == nullptr) return;
        counter = static_cast<CallCounter*>(
            MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(CallCounter)));
        if (counter == nullptr) return;
    }
    InterlockedIncrement(&counter->runs);
}

class Handler final : public IDispatch {
public:
    Handler() { InterlockedIncrement(&objectCount); }
    Handler(const Handler&) = delete;
    Handler& operator=(const Handler&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count != 1) return E_INVALIDARG;
        const bool known = names[0] != nullptr && lstrcmpiW(names[0], L"Run") == 0;
        ids[0] = known ? kRunDispatchId : DISPID_UNKNOWN;
        return known ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        if (id != kRunDispatchId) return DISP_E_MEMBERNOTFOUND;
        CountRun();
        return S_OK;
    }

private:
    ~Handler() { InterlockedDecrement(&objectCount); }

    LONG references_ = 1;
};

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
        Handler* handler = new (std::nothrow) Handler;
        if (handler == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = handler->QueryInterface(iid, object);
        handler->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&objectCount);
        } else {
            InterlockedDecrement(&objectCount);
        }
        return S_OK;
    }
};

ClassFactory factory;

}  // namespace
}  // namespace noop_handler

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, noop_handler::kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    return noop_handler::factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return noop_handler::objectCount == 0 ? S_OK : S_FALSE; }
