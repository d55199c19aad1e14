#include "job_figures.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace e2e {
namespace {

constexpr int64_t kGateWaitUs = 2'000'000;
// A job's begin line is written a moment after its dispatch took the gate; a wait may end a
// tick early. Far below the wait itself, so a gate that let jobs through without a time-out
// still shows.
constexpr int64_t kSlackUs = 100'000;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

int64_t EndOf(const Job& job) { return job.endUs.value_or(kNever); }

double Milliseconds(int64_t us) { return static_cast<double>(us) / 1000.0; }

// The stretches of the run in which the service ran no job: [from, to). A service started
// again runs in a new process, which began after its old one's last job did.
std::vector<Window> Gaps(const JobLog& log, const std::string& task, int64_t runStartUs) {
    std::vector<Window> gaps;
    int64_t free = runStartUs;
    const Job* previous = nullptr;
    for (const Job& job : log.jobs) {
        if (job.task != task) continue;
        if (previous != nullptr && previous->processId != job.processId && !previous->endUs) {
            free = previous->startUs;
        }
        if (job.startUs > free) gaps.push_back({free, job.startUs});
        free = std::max(free, EndOf(job));
        previous = &job;
    }
    if (free != kNever) gaps.push_back({free, kNever});
    return gaps;
}

// Times in milliseconds since `originUs`.
std::string DescribeJob(const Job& job, int64_t originUs) {
    char text[160];
    const int length = std::snprintf(text, sizeof text, "%s (pid %lu, %.1f to ", job.task.c_str(),
                                     static_cast<unsigned long>(job.processId),
                                     Milliseconds(job.startUs - originUs));
    std::string described(text, length > 0 ? std::min<size_t>(length, sizeof text - 1) : 0);
    if (!job.endUs) return described + "no end)";
    std::snprintf(text, sizeof text, "%.1f ms)", Milliseconds(*job.endUs - originUs));
    return described + text;
}

}  // namespace

int64_t JobLogClockUs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10);
}

bool CanHaveTimedOut(const JobLog& log, const std::vector<std::string>& tasks, int64_t runStartUs,
                     const Window& span) {
    for (const std::string& task : tasks) {
        for (const Window& gap : Gaps(log, task, runStartUs)) {
            // The wait ends at some T in the span with gap.from + wait <= T <= gap.to.
            const int64_t earliestEnd = gap.fromUs + kGateWaitUs - kSlackUs;
            if (earliestEnd <= gap.toUs && earliestEnd <= span.toUs &&
                gap.toUs >= span.fromUs - kSlackUs) {
                return true;
            }
        }
    }
    return false;
}

FamilyFigures ReadFigures(const JobLog& log, const std::vector<std::string>& tasks,
                          int64_t runStartUs, const Window& window) {
    FamilyFigures figures;
    for (const std::string& task : tasks) {
        ServiceFigures service{task};
        int64_t free = window.fromUs;
        const Job* previous = nullptr;
        for (const Job& job : log.jobs) {
            if (job.task != task) continue;
            ++service.jobs;
            if (job.result.value_or(0) != 0) ++service.failed;
            if (previous != nullptr && previous->processId == job.processId &&
                job.startUs < EndOf(*previous)) {
                ++service.ownOverlaps;
            }
            previous = &job;
            if (job.startUs <= window.toUs) {
                service.longestPauseUs = std::max(service.longestPauseUs, job.startUs - free);
            }
            free = std::max(free, EndOf(job));
        }
        if (free < window.toUs) {
            service.longestPauseUs = std::max(service.longestPauseUs, window.toUs - free);
        }
        figures.services.push_back(service);
    }

    // The log lists jobs in the order they began.
    const std::vector<Job>& jobs = log.jobs;
    for (size_t b = 0; b < jobs.size(); ++b) {
        const Job& job = jobs[b];
        size_t running = 0;
        bool endedSinceLastBegin = false;
        for (size_t a = 0; a < b; ++a) {
            if (EndOf(jobs[a]) > job.startUs) ++running;
        }
        figures.mostAtOnce = std::max(figures.mostAtOnce, running + 1);
        if (running == 0) continue;
        ++figures.overlappingJobs;

        // The gate was last taken, at the latest, by the job begun just before this one. If
        // that job still runs and no job ended since, only a dispatch that gave up its wait
        // can have signalled the gate in between.
        const Job& previous = jobs[b - 1];
        if (EndOf(previous) <= job.startUs) continue;
        for (size_t a = 0; a < b; ++a) {
            const int64_t end = EndOf(jobs[a]);
            if (end > previous.startUs && end <= job.startUs) endedSinceLastBegin = true;
        }
        if (endedSinceLastBegin) continue;
        std::vector<std::string> others;
        for (const std::string& task : tasks) {
            if (task != previous.task) others.push_back(task);
        }
        if (!CanHaveTimedOut(log, others, runStartUs, {previous.startUs, job.startUs})) {
            figures.unexplainedOverlaps.push_back(DescribeJob(job, runStartUs) + " began during " +
                                                  DescribeJob(previous, runStartUs));
        }
    }
    return figures;
}

std::string Describe(const FamilyFigures& figures) {
    std::string text = "  task                      jobs  failed  longest pause (ms)\n";
    char line[128];
    for (const ServiceFigures& service : figures.services) {
        std::snprintf(line, sizeof line, "  %-24s %5zu  %6zu  %18.1f\n", service.task.c_str(),
                      service.jobs, service.failed, Milliseconds(service.longestPauseUs));
        text += line;
    }
    std::snprintf(line, sizeof line, "  overlapping jobs: %zu, most at once: %zu\n",
                  figures.overlappingJobs, figures.mostAtOnce);
    text += line;
    for (const std::string& overlap : figures.unexplainedOverlaps) {
        text += "  unexplained: " + overlap + "\n";
    }
    return text;
}

}  // namespace e2e
