// The job handlers of the benchmark prefix: the sample handler (fixed-length jobs with a job
// log) and the no-op handler (calls counted in shared memory), one of which answers for the
// ProgID at a time.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "noop_handler/call_counter.h"

namespace bench {

class HandlerChoice {
public:
    // Registers the no-op handler's class beside the sample handler, which the prefix has.
    static std::optional<HandlerChoice> Prepare(const std::wstring& noopHandlerPath);

    bool UseNoop();
    bool UseSample();

private:
    explicit HandlerChoice(std::wstring sampleClassId) : sampleClassId_(std::move(sampleClassId)) {}

    std::wstring sampleClassId_;
};

// The sample handler's settings (tools/README.md).
bool SetSampleJobLength(DWORD durationMs);
std::wstring SampleJobLogPath();

// The no-op handler's count of "Run" calls in one process; the counter exists from the
// process's first call on.
class RunCounter {
public:
    explicit RunCounter(DWORD processId) : processId_(processId) {}
    RunCounter(RunCounter&& other) noexcept
        : processId_(other.processId_), mapping_(other.mapping_), counter_(other.counter_) {
        other.mapping_ = nullptr;
        other.counter_ = nullptr;
    }
    RunCounter& operator=(RunCounter&&) = delete;
    RunCounter(const RunCounter&) = delete;
    ~RunCounter();

    // Zero until the process has made its first call.
    LONG Runs();

private:
    DWORD processId_;
    HANDLE mapping_ = nullptr;
    const noop_handler::CallCounter* counter_ = nullptr;
};

}  // namespace bench
