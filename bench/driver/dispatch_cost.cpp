// Dispatch cost: the job service and the floor run side by side with period 0, so that each
// dispatches back to back (the timer's shortest period apart) against the no-op handler, and
// the noise of the machine falls on both in the same windows. The CPU time of a service's
// process over a window, divided by the calls that the handler counted in it, is the cost of
// one dispatch.
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

// Enough calls to have loaded the handler and warmed every cache on the way.
constexpr LONG kWarmUpRuns = 20;

struct Dispatcher {
    Running running;
    RunCounter counter;
    HostProcess host;
    std::optional<HostSample> sample;
    LONG runs = 0;
    std::vector<double> cpuUs;       // per dispatch, one per window
    std::vector<double> intervalMs;  // from one dispatch to the next
};

std::unique_ptr<Dispatcher> Start(const Subject& subject) {
    std::optional<Running> running = StartAndWait(subject.serviceNames.front(), {L"0"});
    if (!running) return nullptr;
    std::optional<HostProcess> host = HostProcess::Find(subject.imageName);
    const DWORD processId = running->processId;
    if (!host) {
        (void)StopAndWait(*running);
        return nullptr;
    }
    return std::unique_ptr<Dispatcher>(new Dispatcher{
        std::move(*running), RunCounter(processId), *host, std::nullopt, 0, {}, {}});
}

bool WaitForRuns(Dispatcher& dispatcher, LONG runs) {
    const double deadline = NowMs() + kHangTimeoutMs;
    while (dispatcher.counter.Runs() < runs) {
        if (NowMs() > deadline) return false;
        Sleep(10);
    }
    return true;
}

// Closes the window that the previous call opened, and opens the next.
bool Sample(Dispatcher& dispatcher, double windowMs) {
    std::optional<HostSample> sample = dispatcher.host.Sample();
    const LONG runs = dispatcher.counter.Runs();
    if (!sample) return false;
    if (dispatcher.sample) {
        const LONG counted = runs - dispatcher.runs;
        if (counted <= 0) return false;
        dispatcher.cpuUs.push_back(
            static_cast<double>(CpuNsBetween(*dispatcher.sample, *sample)) / 1000.0 / counted);
        dispatcher.intervalMs.push_back(windowMs / counted);
    }
    dispatcher.sample = std::move(sample);
    dispatcher.runs = runs;
    return true;
}

}  // namespace

bool MeasureDispatchCost(const Subjects& subjects, int windows, DWORD windowMs) {
    std::unique_ptr<Dispatcher> ours = Start(subjects.ours);
    std::unique_ptr<Dispatcher> floor = Start(subjects.floor);
    bool measured = ours && floor && WaitForRuns(*ours, kWarmUpRuns) &&
                    WaitForRuns(*floor, kWarmUpRuns);
    double windowStart = NowMs();
    for (int window = 0; measured && window <= windows; ++window) {
        if (window > 0) Sleep(windowMs);
        const double now = NowMs();
        // Taken within microseconds of each other: the windows of both are the same.
        measured = Sample(*ours, now - windowStart) && Sample(*floor, now - windowStart);
        windowStart = now;
    }
    bool stopped = true;
    for (Dispatcher* dispatcher : {ours.get(), floor.get()}) {
        if (dispatcher != nullptr) stopped = StopAndWait(dispatcher->running) && stopped;
    }
    if (!measured || !stopped) {
        PrintNote("dispatch: a service did not start, dispatch or stop");
        return false;
    }
    PrintRow("dispatch", "Dispatch cost (CPU time of the service process)", "us/dispatch",
             ours->cpuUs, floor->cpuUs);
    PrintPairedRatio("dispatch cost", ours->cpuUs, floor->cpuUs);
    PrintRow("dispatch-interval", "Dispatch interval with period 0 (wall time)", "ms",
             ours->intervalMs, floor->intervalMs);
    return true;
}

}  // namespace bench
