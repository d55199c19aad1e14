// How the sample job handler behaves, read from the registry at every call so that a test can
// change it between two dispatches of a running service.
//
// Key HKEY_LOCAL_MACHINE\Software\JobServicesTest\Handler:
//   Mode       REG_SZ     "ok" (default), "fail", "norun" or "crash"
//   DurationMs REG_DWORD  how long "Run" takes; default 0
//   JobLog     REG_SZ     the file that each job appends to; no log when missing
// Subkey Tasks\<task name> may hold Mode and DurationMs for that task alone. The name lookup
// does not know the task yet, so "norun" takes effect only from the main key.
#pragma once

#include <windows.h>

#include <string>

namespace sample_handler {

inline constexpr wchar_t kSettingsKey[] = L"Software\\JobServicesTest\\Handler";

enum class Mode {
    Ok,     // "Run" succeeds
    Fail,   // "Run" returns E_FAIL
    NoRun,  // the name "Run" is unknown
    Crash,  // the host process dies in the middle of "Run"
};

struct Settings {
    Mode mode = Mode::Ok;
    DWORD durationMs = 0;
    std::wstring jobLog;  // empty: no log
};

// An unknown mode text reads as Mode::Ok. `task` null: the main key only.
Settings ReadSettings(const wchar_t* task);

}  // namespace sample_handler
