// Conversions between the seam's types and the Win32 API's. The seam's records and callbacks
// are declared to match the platform's, so a cast is all that a call needs; the assertions
// below keep that true.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oleauto.h>

#include <cstddef>

#include "platform/platform.h"

namespace jobsvc::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 passes straight through");
static_assert(sizeof(DWORD) == sizeof(uint32_t));
static_assert(sizeof(LONG) == sizeof(int32_t));

static_assert(sizeof(Guid) == sizeof(GUID));
static_assert(offsetof(Guid, data2) == offsetof(GUID, Data2));
static_assert(offsetof(Guid, data3) == offsetof(GUID, Data3));
static_assert(offsetof(Guid, data4) == offsetof(GUID, Data4));

static_assert(sizeof(ServiceStatus) == sizeof(SERVICE_STATUS));
static_assert(offsetof(ServiceStatus, currentState) == offsetof(SERVICE_STATUS, dwCurrentState));
static_assert(offsetof(ServiceStatus, controlsAccepted) ==
              offsetof(SERVICE_STATUS, dwControlsAccepted));
static_assert(offsetof(ServiceStatus, win32ExitCode) == offsetof(SERVICE_STATUS, dwWin32ExitCode));
static_assert(offsetof(ServiceStatus, serviceSpecificExitCode) ==
              offsetof(SERVICE_STATUS, dwServiceSpecificExitCode));
static_assert(offsetof(ServiceStatus, checkPoint) == offsetof(SERVICE_STATUS, dwCheckPoint));
static_assert(offsetof(ServiceStatus, waitHint) == offsetof(SERVICE_STATUS, dwWaitHint));

static_assert(sizeof(ServiceTableEntry) == sizeof(SERVICE_TABLE_ENTRYW));
static_assert(offsetof(ServiceTableEntry, serviceProc) ==
              offsetof(SERVICE_TABLE_ENTRYW, lpServiceProc));

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* Utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline char16_t* Utf16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }

inline const GUID& Native(const Guid& guid) { return reinterpret_cast<const GUID&>(guid); }

// Opaque seam handles are the platform's handles under another name.
template <class Win32Handle, class SeamHandle>
Win32Handle Native(SeamHandle handle) {
    return reinterpret_cast<Win32Handle>(handle);
}
template <class SeamHandle, class Win32Handle>
SeamHandle Seam(Win32Handle handle) {
    return reinterpret_cast<SeamHandle>(handle);
}

// A procedure found at run time, typed for its call; the detour through the generic function
// type tells the compiler that the cast is meant.
template <class Procedure>
Procedure ProcedureCast(FARPROC address) {
    return reinterpret_cast<Procedure>(reinterpret_cast<void (*)()>(address));
}

}  // namespace jobsvc::win32
