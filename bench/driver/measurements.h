// The measurements, each taking the job service and the floor in turn within one run, so
// that the noise of a shared machine falls on both alike.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

struct Subject {
    std::string label;                      // "ours" or "floor", for notes
    std::wstring imageName;                 // the host process's name
    std::vector<std::wstring> serviceNames; // the first is the one measured alone
};

struct Subjects {
    Subject ours;
    Subject floor;
    // Alternating which goes first keeps a drift of the machine from favouring either.
    [[nodiscard]] const Subject& First(int round) const { return round % 2 == 0 ? ours : floor; }
    [[nodiscard]] const Subject& Second(int round) const { return round % 2 == 0 ? floor : ours; }
};

// Start request to RUNNING and stop request to STOPPED (the gate free), one service at a time.
bool MeasureLatency(const Subjects& subjects, int rounds);
// CPU time per dispatch with period 0 and the no-op handler, both services side by side,
// over `windows` windows of `windowMs`.
bool MeasureDispatchCost(const Subjects& subjects, int windows, DWORD windowMs);
// Both services side by side with a one-minute interval: CPU time, context switches and
// memory over `windowMs` in `slices`, after their first job or, if not `afterFirstJob`,
// before it.
bool MeasureIdle(const Subjects& subjects, bool afterFirstJob, DWORD windowMs, int slices);
// The share of wall time during which some job holds the gate, with the sample handler's jobs
// of `jobMs` back to back, for each count of services.
bool MeasureGateShare(const Subjects& subjects, const std::vector<int>& serviceCounts,
                      int repeats, DWORD jobMs, DWORD windowMs);

}  // namespace bench
