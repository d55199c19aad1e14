// Start and stop latency: the service control manager's view, polled about once a
// millisecond, of one service at a time, so that no other process competes for the machine.
#include <optional>

#include "clock.h"
#include "measurements.h"
#include "services.h"
#include "summary.h"

namespace bench {
namespace {

// Time to reach the message loop after RUNNING, so that the stop meets an idle service.
constexpr DWORD kSettleMs = 200;

struct StartStop {
    double startMs;
    double stopMs;
};

std::optional<StartStop> TimeStartStop(const std::wstring& serviceName) {
    std::optional<Service> service = Service::Open(serviceName);
    if (!service) return std::nullopt;
    // A one-minute interval: no job comes while we measure.
    const double startRequested = NowMs();
    if (!service->RequestStart({L"1"}) || !service->WaitForState(SERVICE_RUNNING)) {
        return std::nullopt;
    }
    const double running = NowMs();
    const std::optional<DWORD> processId = service->ProcessId();
    if (!processId) return std::nullopt;
    const ProcessWatch process(*processId);

    Sleep(kSettleMs);
    FreeRunGate();
    const double stopRequested = NowMs();
    if (!service->RequestStop() || !service->WaitForState(SERVICE_STOPPED)) return std::nullopt;
    const double stopped = NowMs();
    if (!process.WaitForExit()) return std::nullopt;
    return StartStop{running - startRequested, stopped - stopRequested};
}

}  // namespace

bool MeasureLatency(const Subjects& subjects, int rounds) {
    std::vector<double> startOurs, startFloor, stopOurs, stopFloor;
    // Round 0 warms the caches of both and is not counted.
    for (int round = 0; round <= rounds; ++round) {
        for (const Subject* subject : {&subjects.First(round), &subjects.Second(round)}) {
            const std::optional<StartStop> timing = TimeStartStop(subject->serviceNames.front());
            if (!timing) {
                PrintNote("latency: " + subject->label + " did not start and stop");
                return false;
            }
            if (round == 0) continue;
            const bool ours = subject == &subjects.ours;
            (ours ? startOurs : startFloor).push_back(timing->startMs);
            (ours ? stopOurs : stopFloor).push_back(timing->stopMs);
        }
    }
    PrintRow("start", "Start latency (request to RUNNING)", "ms", startOurs, startFloor);
    PrintRow("stop", "Stop latency (request to STOPPED, gate free)", "ms", stopOurs, stopFloor);
    PrintPairedRatio("start latency", startOurs, startFloor);
    PrintPairedRatio("stop latency", stopOurs, stopFloor);
    return true;
}

}  // namespace bench
