// The process: one Win32 platform, one module object, and the runtime's entry.
#include "platform/win32/native.h"
#include "platform/win32/win32_platform.h"
#include "profiles/job_profile.h"
#include "service/entry.h"
#include "service/service_module.h"

jobsvc::ServiceModule& jobsvc::ProcessModule() {
    // Built on first use, which is wWinMain's, before any other thread exists.
    static win32::Win32Platform system;
    static ServiceModule module(system.Interfaces(), ThisProfile());
    return module;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return jobsvc::ProgramEntry(jobsvc::ProcessModule(),
                                reinterpret_cast<jobsvc::ModuleHandle>(instance));
}
