#include "job_handler.h"

#include <new>

#include "job_log_writer.h"
#include "settings.h"

namespace sample_handler {

LONG activeCount = 0;

namespace {

HRESULT RunJob(const wchar_t* task) {
    const Settings settings = ReadSettings(task);
    LogJobBegin(settings.jobLog.c_str(), task);
    if (settings.mode == Mode::Crash) {
        // Abrupt, like a handler that brings its host down: no end line, no unwinding.
        TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    }
    if (settings.durationMs > 0) Sleep(settings.durationMs);
    const HRESULT result = settings.mode == Mode::Fail ? E_FAIL : S_OK;
    LogJobEnd(settings.jobLog.c_str(), task, result);
    return result;
}

// No state besides the reference count, so any apartment may call it.
class JobHandler final : public IDispatch {
public:
    JobHandler() { InterlockedIncrement(&activeCount); }
    JobHandler(const JobHandler&) = delete;
    JobHandler& operator=(const JobHandler&) = delete;

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

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
        const bool known = ReadSettings(nullptr).mode != Mode::NoRun && names[0] != nullptr &&
                           lstrcmpiW(names[0], L"Run") == 0;
        ids[0] = known ? kRunDispatchId : DISPID_UNKNOWN;
        // "Run" has no named parameters.
        for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return known && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                     DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                                     UINT* argumentError) override {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (id != kRunDispatchId || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        if (parameters == nullptr) return E_INVALIDARG;
        if (parameters->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (parameters->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        const VARIANT& task = parameters->rgvarg[0];
        if (V_VT(&task) != VT_BSTR) {
            if (argumentError != nullptr) *argumentError = 0;
            return DISP_E_TYPEMISMATCH;
        }
        return RunJob(V_BSTR(&task) != nullptr ? V_BSTR(&task) : L"");
    }

private:
    ~JobHandler() { InterlockedDecrement(&activeCount); }

    LONG references_ = 1;
};

}  // namespace

HRESULT CreateJobHandler(REFIID iid, void** object) {
    JobHandler* handler = new (std::nothrow) JobHandler;
    if (handler == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = handler->QueryInterface(iid, object);
    handler->Release();
    return result;
}

}  // namespace sample_handler
