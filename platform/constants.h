// The platform's numbers that the runtime uses, under the platform's own names.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace jobsvc {

inline constexpr Win32Error ERROR_SUCCESS = 0;
inline constexpr Win32Error ERROR_FILE_NOT_FOUND = 2;
inline constexpr Win32Error ERROR_ACCESS_DENIED = 5;
inline constexpr Win32Error ERROR_INVALID_HANDLE = 6;
inline constexpr Win32Error ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr Win32Error ERROR_MORE_DATA = 234;
inline constexpr Win32Error ERROR_NO_TOKEN = 1008;
inline constexpr Win32Error ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr Win32Error ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
inline constexpr Win32Error ERROR_SERVICE_EXISTS = 1073;
inline constexpr Win32Error ERROR_GEN_FAILURE = 31;
inline constexpr Win32Error ERROR_INVALID_PARAMETER = 87;
inline constexpr Win32Error ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr Win32Error ERROR_BAD_PATHNAME = 161;
inline constexpr Win32Error ERROR_NOACCESS = 998;
inline constexpr Win32Error ERROR_KEY_DELETED = 1018;
inline constexpr Win32Error ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr Win32Error ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
inline constexpr Win32Error ERROR_DUPLICATE_SERVICE_NAME = 1078;
inline constexpr Win32Error ERROR_INVALID_TIMER_ID = 1402;
inline constexpr Win32Error ERROR_INVALID_THREAD_ID = 1444;

inline constexpr HResult S_OK = 0;
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005);
inline constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000E);
inline constexpr HResult E_ACCESSDENIED = static_cast<HResult>(0x80070005);
inline constexpr HResult REGDB_E_CLASSNOTREG = static_cast<HResult>(0x80040154);
inline constexpr HResult CO_E_CLASSSTRING = static_cast<HResult>(0x800401F3);
inline constexpr HResult DISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006);
inline constexpr HResult TYPE_E_CANTLOADLIBRARY = static_cast<HResult>(0x80029C4A);
inline constexpr HResult TYPE_E_REGISTRYACCESS = static_cast<HResult>(0x8002801C);
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_POINTER = static_cast<HResult>(0x80004003);
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003);

inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t KEY_WRITE = 0x20006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr uint32_t READ_CONTROL = 0x20000;

inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_MULTI_SZ = 7;

inline constexpr uint32_t SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr uint32_t SERVICE_DEMAND_START = 3;
inline constexpr uint32_t SERVICE_ERROR_NORMAL = 1;
inline constexpr uint32_t SERVICE_ACCEPT_STOP = 1;

inline constexpr uint32_t SERVICE_STOPPED = 1;
inline constexpr uint32_t SERVICE_START_PENDING = 2;
inline constexpr uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr uint32_t SERVICE_RUNNING = 4;

inline constexpr uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr uint32_t SERVICE_CONTROL_SHUTDOWN = 5;

inline constexpr uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr uint32_t SERVICE_QUERY_CONFIG = 0x0001;
inline constexpr uint32_t SERVICE_STOP = 0x0020;
inline constexpr uint32_t DELETE = 0x10000;
inline constexpr uint32_t SERVICE_ALL_ACCESS = 0xF01FF;
inline constexpr uint32_t SC_MANAGER_CREATE_SERVICE = 0x0002;
inline constexpr uint32_t SERVICE_PAUSE_CONTINUE = 0x0040;
inline constexpr uint32_t SERVICE_INTERROGATE = 0x0080;
inline constexpr uint32_t SERVICE_USER_DEFINED_CONTROL = 0x0100;

inline constexpr uint16_t EVENTLOG_INFORMATION_TYPE = 4;

inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;
inline constexpr uint32_t INFINITE = 0xFFFFFFFF;

inline constexpr uint32_t WM_QUIT = 0x0012;
inline constexpr uint32_t WM_TIMER = 0x0113;

inline constexpr uint32_t MB_OK = 0;

inline constexpr uint32_t CLSCTX_ALL = 0x17;
inline constexpr uint32_t LOCALE_USER_DEFAULT = 0x400;
inline constexpr uint16_t DISPATCH_METHOD = 1;
inline constexpr uint32_t RPC_C_AUTHN_LEVEL_PKT = 4;
inline constexpr uint32_t RPC_C_IMP_LEVEL_IMPERSONATE = 3;
inline constexpr uint32_t EOAC_NONE = 0;

inline constexpr int32_t SYS_WIN32 = 1;
inline constexpr uint32_t USER_TIMER_MAXIMUM = 0x7FFFFFFF;
inline constexpr uint32_t USER_TIMER_MINIMUM = 10;

}  // namespace jobsvc
