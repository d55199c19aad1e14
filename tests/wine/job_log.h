// Reads the sample handler's job log back into jobs (the line format is the handler's, see
// tools/sample_handler/job_log_writer.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct Job {
    std::string task;
    uint32_t processId = 0;
    int64_t startUs = 0;             // microseconds on the clock shared by all processes
    std::optional<int64_t> endUs;    // empty: the job has not ended (or its host died)
    std::optional<uint32_t> result;  // the HRESULT of "Run"; set together with endUs
};

struct JobLog {
    std::vector<Job> jobs;               // in the order in which they began
    std::vector<std::string> malformed;  // lines that are not a begin or a matching end
};

// Only complete lines count: a line still being written is left for the next read.
JobLog ParseJobLog(std::string_view text);

// The jobs of one task, in order.
std::vector<Job> JobsOf(const JobLog& log, std::string_view task);
// Whether a job of `task` has begun and ended.
bool HasFinishedJob(const JobLog& log, std::string_view task);

}  // namespace e2e
