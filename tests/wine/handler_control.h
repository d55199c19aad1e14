// The sample job handler as the tests steer it (its settings are described in
// tools/sample_handler/settings.h).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "job_log.h"

namespace e2e {

// The handler's behaviour for one test, with a job log of the test's own; back to the
// defaults when it goes.
class HandlerSettings {
public:
    explicit HandlerSettings(std::wstring jobLog);
    HandlerSettings(const HandlerSettings&) = delete;
    HandlerSettings& operator=(const HandlerSettings&) = delete;
    ~HandlerSettings();

    // "ok", "fail", "norun" or "crash"; a task limits it to that task's calls of "Run".
    [[nodiscard]] LSTATUS SetMode(const wchar_t* mode, const std::wstring& task = {});
    [[nodiscard]] LSTATUS SetDurationMs(DWORD milliseconds, const std::wstring& task = {});

    [[nodiscard]] const std::wstring& JobLogPath() const { return jobLog_; }
    [[nodiscard]] JobLog ReadJobLog() const;
    [[nodiscard]] std::string JobLogText() const;

private:
    void Clear();

    std::wstring jobLog_;
    std::optional<std::wstring> previousJobLog_;
};

// The handler's ProgID is missing for the life of this object.
class ProgIdRemoval {
public:
    ProgIdRemoval();
    ProgIdRemoval(const ProgIdRemoval&) = delete;
    ProgIdRemoval& operator=(const ProgIdRemoval&) = delete;
    ~ProgIdRemoval();

    [[nodiscard]] LSTATUS Status() const { return status_; }

private:
    std::optional<std::wstring> description_;
    std::optional<std::wstring> classId_;
    LSTATUS status_;
};

}  // namespace e2e
