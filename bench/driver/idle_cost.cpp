// Idle cost: the job service and the floor run side by side with a one-minute interval and
// the no-op handler. After each one's first job, its process is sampled at the ends of equal
// slices of the window that ends just before its next job; what a slice costs is given per
// minute. A thread blocked in the message retrieval should wake for nothing but its timer.
#include <cstdio>
#include <memory>
#include <optional>

#include "clock.h"
#include "handlers.h"
#include "host_process.h"
#include "measurements.h"
#include "services.h"
#include "summary.h"

namespace bench {
namespace {

// After a start: time to reach the loop. After the first job: time for the dispatch to end.
constexpr double kSettleMs = 1000;
constexpr double kAfterJobMs = 500;
constexpr double kIntervalMs = 60000;

struct Watch {
    const Subject* subject;
    Running running;
    RunCounter counter;
    HostProcess host;
    double runningAt;
    double windowStart = -1;
    LONG runsAtStart = 0;
    bool jobInWindow = false;
    std::vector<HostSample> samples;
    std::vector<double> sampledAt;
};

std::unique_ptr<Watch> StartWatch(const Subject& subject) {
    std::optional<Running> running = StartAndWait(subject.serviceNames.front(), {L"1"});
    if (!running) return nullptr;
    const double runningAt = NowMs();
    const std::optional<HostProcess> host = HostProcess::Find(subject.imageName);
    if (!host) {
        (void)StopAndWait(*running);
        return nullptr;
    }
    const DWORD processId = running->processId;
    return std::unique_ptr<Watch>(
        new Watch{&subject, std::move(*running), RunCounter(processId), *host, runningAt, -1, 0,
                  false, {}, {}});
}

// True once the watch has all its samples.
bool Step(Watch& watch, bool afterFirstJob, double sliceMs, int slices, bool* failed) {
    if (watch.samples.size() == static_cast<size_t>(slices) + 1) return true;
    const double now = NowMs();
    if (watch.windowStart < 0) {
        if (!afterFirstJob) {
            watch.windowStart = watch.runningAt + kSettleMs;
        } else if (watch.counter.Runs() >= 1) {
            watch.windowStart = now + kAfterJobMs;
        } else if (now > watch.runningAt + kIntervalMs + kHangTimeoutMs) {
            *failed = true;
            return true;
        }
        return false;
    }
    if (now < watch.windowStart + static_cast<double>(watch.samples.size()) * sliceMs) return false;
    const std::optional<HostSample> sample = watch.host.Sample();
    if (!sample) {
        *failed = true;
        return true;
    }
    const LONG runs = watch.counter.Runs();
    if (watch.samples.empty()) watch.runsAtStart = runs;
    watch.jobInWindow = watch.jobInWindow || runs != watch.runsAtStart;
    watch.samples.push_back(*sample);
    watch.sampledAt.push_back(now);
    return false;
}

struct IdleFigures {
    std::vector<double> cpuMsPerMinute;
    std::vector<double> switchesPerMinute;
    std::vector<double> residentMb;
    std::vector<double> privateMb;
};

IdleFigures Figures(const Watch& watch) {
    IdleFigures figures;
    for (size_t i = 0; i + 1 < watch.samples.size(); ++i) {
        const double perMinute = 60000.0 / (watch.sampledAt[i + 1] - watch.sampledAt[i]);
        const HostSample& before = watch.samples[i];
        const HostSample& after = watch.samples[i + 1];
        figures.cpuMsPerMinute.push_back(static_cast<double>(CpuNsBetween(before, after)) / 1e6 *
                                         perMinute);
        figures.switchesPerMinute.push_back(
            static_cast<double>(after.contextSwitches - before.contextSwitches) * perMinute);
    }
    for (const HostSample& sample : watch.samples) {
        figures.residentMb.push_back(static_cast<double>(sample.residentKb) / 1024.0);
        figures.privateMb.push_back(static_cast<double>(sample.privateKb) / 1024.0);
    }
    return figures;
}

std::string WindowNote(const Watch& watch) {
    const HostSample& first = watch.samples.front();
    const HostSample& last = watch.samples.back();
    char text[256];
    std::snprintf(text, sizeof text,
                  "idle: %s over %.1f s: %llu context switches, %.3f ms CPU, %zu threads%s",
                  watch.subject->label.c_str(),
                  (watch.sampledAt.back() - watch.sampledAt.front()) / 1000.0,
                  static_cast<unsigned long long>(last.contextSwitches - first.contextSwitches),
                  static_cast<double>(CpuNsBetween(first, last)) / 1e6, last.threads.size(),
                  watch.jobInWindow ? " (a job ran inside the window!)" : "");
    return text;
}

}  // namespace

bool MeasureIdle(const Subjects& subjects, bool afterFirstJob, DWORD windowMs, int slices) {
    std::vector<std::unique_ptr<Watch>> watches;
    for (const Subject* subject : {&subjects.ours, &subjects.floor}) {
        watches.push_back(StartWatch(*subject));
        if (watches.back() == nullptr) {
            PrintNote("idle: " + subject->label + " did not start");
            for (auto& watch : watches) {
                if (watch) (void)StopAndWait(watch->running);
            }
            return false;
        }
    }

    const double sliceMs = static_cast<double>(windowMs) / slices;
    bool failed = false;
    for (bool done = false; !done && !failed;) {
        done = true;
        for (auto& watch : watches) done = Step(*watch, afterFirstJob, sliceMs, slices, &failed) && done;
        Sleep(5);
    }
    bool stopped = true;
    for (auto& watch : watches) stopped = StopAndWait(watch->running) && stopped;
    if (failed || !stopped) {
        PrintNote("idle: a service did not reach its first job, could not be read or stop");
        return false;
    }

    const IdleFigures ours = Figures(*watches[0]);
    const IdleFigures floor = Figures(*watches[1]);
    PrintRow("idle-cpu", "Idle CPU time", "ms/min", ours.cpuMsPerMinute, floor.cpuMsPerMinute);
    PrintRow("idle-switches", "Idle context switches", "1/min", ours.switchesPerMinute,
             floor.switchesPerMinute);
    PrintRow("memory-resident", "Memory of the idle service: resident", "MiB", ours.residentMb,
             floor.residentMb);
    PrintRow("memory-private", "Memory of the idle service: private", "MiB", ours.privateMb,
             floor.privateMb);
    if (!afterFirstJob) PrintNote("idle: measured before the first job (a quick run)");
    for (auto& watch : watches) PrintNote(WindowNote(*watch));
    return !watches[0]->jobInWindow && !watches[1]->jobInWindow;
}

}  // namespace bench
