// The automation object that the job services create for every dispatch.
#pragma once

#include <windows.h>

#include <oleauto.h>

namespace sample_handler {

// The dispatch identifier that "Run" resolves to.
inline constexpr DISPID kRunDispatchId = 1;

// Exit code of a host process that the "crash" mode ends.
inline constexpr UINT kCrashExitCode = 0xC0DEDEAD;

HRESULT CreateJobHandler(REFIID iid, void** object);

// Objects alive and server locks held; the DLL may unload only at zero.
extern LONG activeCount;

}  // namespace sample_handler
