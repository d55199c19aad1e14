// What a run of several services looks like in the job log: jobs and pauses per service, the
// jobs that ran at the same time, and whether the run gate's time-out can account for them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job_log.h"

namespace e2e {

// Now, on the job log's clock (the system time, in microseconds).
int64_t JobLogClockUs();

struct ServiceFigures {
    std::string task;
    size_t jobs = 0;    // begun
    size_t failed = 0;  // ended with a result other than 0
    // The longest stretch of the window without a job of this service: between two of its
    // jobs, or from the window's start to its first job, or from its last job to the end.
    int64_t longestPauseUs = 0;
    size_t ownOverlaps = 0;  // jobs begun before the service's previous job had ended
};

// A span of time on the job log's clock.
struct Window {
    int64_t fromUs = 0;
    int64_t toUs = 0;
};

struct FamilyFigures {
    std::vector<ServiceFigures> services;  // in the order of the tasks asked for
    size_t overlappingJobs = 0;            // jobs begun while another job ran
    size_t mostAtOnce = 0;                 // the most jobs running at one moment
    // Overlapping jobs that no timed-out dispatch can have let in (CanHaveTimedOut), one line
    // each; the run gate allows no others.
    std::vector<std::string> unexplainedOverlaps;
};

// The services run `tasks` and were started at `runStartUs` or later; pauses are counted inside
// `window`.
FamilyFigures ReadFigures(const JobLog& log, const std::vector<std::string>& tasks,
                          int64_t runStartUs, const Window& window);

// Whether a dispatch of one of `tasks` can have given up its 2000 ms wait for the gate at some
// moment of `span`: the whole wait must fit into a stretch without a job of that service, after
// `runStartUs`. A service whose job never ended makes no more dispatches. The log's times are
// taken a little after the events, so the bounds are widened by a small slack.
bool CanHaveTimedOut(const JobLog& log, const std::vector<std::string>& tasks, int64_t runStartUs,
                     const Window& span);

// A printable table of the figures, for the test's output.
std::string Describe(const FamilyFigures& figures);

}  // namespace e2e
