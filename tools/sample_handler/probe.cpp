// A minimal client of the job handler, making the calls that a job service makes for one
// dispatch:  handler_probe <task> [<times>]
// Prints one line per call and exits with 0 when every call succeeded, 1 on a usage error and
// 2 when a step failed.
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <cwchar>

#include "handler_class.h"

namespace {

bool Check(const char* step, HRESULT result) {
    if (SUCCEEDED(result)) return true;
    std::printf("%s failed hr=0x%08lX\n", step, static_cast<unsigned long>(result));
    return false;
}

bool RunOnce(const wchar_t* task) {
    CLSID classId;
    if (!Check("progid", CLSIDFromProgID(sample_handler::kProgId, &classId))) return false;
    IDispatch* handler = nullptr;
    if (!Check("create", CoCreateInstance(classId, nullptr, CLSCTX_ALL, IID_IDispatch,
                                          reinterpret_cast<void**>(&handler)))) {
        return false;
    }
    wchar_t name[] = L"Run";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    bool ok = Check("names", handler->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    if (ok) {
        VARIANT argument;
        VariantInit(&argument);
        V_VT(&argument) = VT_BSTR;
        V_BSTR(&argument) = SysAllocString(task);
        DISPPARAMS parameters = {&argument, nullptr, 1, 0};
        ok = Check("invoke", handler->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                             &parameters, nullptr, nullptr, nullptr));
        VariantClear(&argument);
    }
    handler->Release();
    if (ok) std::printf("ok\n");
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 3) {
        std::printf("usage: handler_probe <task> [<times>]\n");
        return 1;
    }
    const long times = argc == 3 ? std::wcstol(argv[2], nullptr, 10) : 1;
    (void)CoInitialize(nullptr);
    bool ok = true;
    for (long i = 0; i < times && ok; ++i) ok = RunOnce(argv[1]);
    std::fflush(stdout);
    CoUninitialize();
    return ok ? 0 : 2;
}
