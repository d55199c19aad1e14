// The benchmark driver: runs inside the benchmark's Wine prefix, registers the deliverables
// and the floor, and measures them side by side. scripts/bench.sh builds and runs it and
// turns its rows into the table.
//
//   job_bench.exe [--quick] [--deliverable NAME] [--phases LIST] DELIVERABLES_DIR FLOOR_EXE
//                 NOOP_HANDLER_DLL
//
// LIST: any of latency,dispatch,idle,gate (default: all, in that order).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "deliverables.h"
#include "handlers.h"
#include "measurements.h"
#include "services.h"
#include "summary.h"

namespace bench {
namespace {

constexpr wchar_t kFloorServicePrefix[] = L"JobServicesBench Floor ";
constexpr wchar_t kFloorImage[] = L"JOBFLOOR.EXE";
constexpr int kMostServices = 8;

struct Settings {
    int latencyRounds = 30;
    int dispatchWindows = 15;
    DWORD dispatchWindowMs = 2000;
    bool idleAfterFirstJob = true;
    DWORD idleWindowMs = 59000;  // of the 60 s between two jobs
    int idleSlices = 6;
    std::vector<int> gateCounts{1, 2, 4, 8};
    int gateRepeats = 2;
    DWORD gateJobMs = 200;
    DWORD gateWindowMs = 5000;
};

Settings QuickSettings() {
    Settings quick;
    quick.latencyRounds = 3;
    quick.dispatchWindows = 3;
    quick.dispatchWindowMs = 1000;
    quick.idleAfterFirstJob = false;
    quick.idleWindowMs = 10000;
    quick.idleSlices = 2;
    quick.gateCounts = {1, 8};
    quick.gateRepeats = 1;
    quick.gateWindowMs = 2500;
    return quick;
}

struct Options {
    bool quick = false;
    std::wstring deliverable = L"Pellawin";
    std::wstring phases = L"latency,dispatch,idle,gate";
    std::wstring deliverablesDirectory;
    std::wstring floorPath;
    std::wstring noopHandlerPath;
};

std::optional<Options> ParseOptions(int argc, wchar_t** argv) {
    Options options;
    std::vector<std::wstring> positional;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--quick") {
            options.quick = true;
        } else if (argument == L"--deliverable" && i + 1 < argc) {
            options.deliverable = argv[++i];
        } else if (argument == L"--phases" && i + 1 < argc) {
            options.phases = argv[++i];
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 3) return std::nullopt;
    options.deliverablesDirectory = positional[0];
    options.floorPath = positional[1];
    options.noopHandlerPath = positional[2];
    return options;
}

bool HasPhase(const Options& options, const std::wstring& phase) {
    return (L"," + options.phases + L",").find(L"," + phase + L",") != std::wstring::npos;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The deliverable under test first, then the others in table order, all registered as
// services; and as many floor services, all of one executable.
std::optional<Subjects> Prepare(const Options& options) {
    std::vector<Deliverable> deliverables = AllDeliverables();
    const auto chosen =
        std::find_if(deliverables.begin(), deliverables.end(),
                     [&](const Deliverable& d) { return d.shortName == options.deliverable; });
    if (chosen == deliverables.end()) {
        PrintNote("no deliverable " + Narrow(options.deliverable));
        return std::nullopt;
    }
    std::rotate(deliverables.begin(), chosen, chosen + 1);

    Subjects subjects;
    subjects.ours.label = "ours";
    subjects.ours.imageName = deliverables.front().fileName;
    subjects.floor.label = "floor";
    subjects.floor.imageName = kFloorImage;
    for (const Deliverable& deliverable : deliverables) {
        const std::wstring path = options.deliverablesDirectory + L"\\" + deliverable.fileName;
        const std::optional<DWORD> exitCode = RegisterAsService(path);
        if (!exitCode || *exitCode != 0) {
            PrintNote("registering " + Narrow(path) + " with -Service failed");
            return std::nullopt;
        }
        subjects.ours.serviceNames.push_back(deliverable.serviceName);
    }
    for (int i = 1; i <= kMostServices; ++i) {
        const std::wstring name = kFloorServicePrefix + std::to_wstring(i);
        if (!CreateOwnProcessService(name, options.floorPath)) {
            PrintNote("creating the floor service " + Narrow(name) + " failed");
            return std::nullopt;
        }
        subjects.floor.serviceNames.push_back(name);
    }
    return subjects;
}

int Run(const Options& options) {
    const Settings settings = options.quick ? QuickSettings() : Settings();
    std::optional<Subjects> subjects = Prepare(options);
    if (!subjects) return 1;
    std::optional<HandlerChoice> handlers = HandlerChoice::Prepare(options.noopHandlerPath);
    if (!handlers) {
        PrintNote("the sample handler is not registered in this prefix");
        return 1;
    }
    PrintNote("deliverable: " + Narrow(options.deliverable) + " (" +
              Narrow(subjects->ours.serviceNames.front()) + ")");

    bool measured = true;
    if (HasPhase(options, L"latency")) {
        measured = MeasureLatency(*subjects, settings.latencyRounds) && measured;
    }
    if (HasPhase(options, L"dispatch") || HasPhase(options, L"idle")) {
        if (!handlers->UseNoop()) return 1;
        if (HasPhase(options, L"dispatch")) {
            measured = MeasureDispatchCost(*subjects, settings.dispatchWindows,
                                           settings.dispatchWindowMs) &&
                       measured;
        }
        if (HasPhase(options, L"idle")) {
            measured = MeasureIdle(*subjects, settings.idleAfterFirstJob, settings.idleWindowMs,
                                   settings.idleSlices) &&
                       measured;
        }
    }
    if (HasPhase(options, L"gate")) {
        if (!handlers->UseSample()) return 1;
        measured = MeasureGateShare(*subjects, settings.gateCounts, settings.gateRepeats,
                                    settings.gateJobMs, settings.gateWindowMs) &&
                   measured;
    }
    (void)handlers->UseSample();
    return measured ? 0 : 1;
}

}  // namespace
}  // namespace bench

int wmain(int argc, wchar_t** argv) {
    const std::optional<bench::Options> options = bench::ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: job_bench.exe [--quick] [--deliverable NAME] [--phases LIST] "
                     "DELIVERABLES_DIR FLOOR_EXE NOOP_HANDLER_DLL\n");
        return 2;
    }
    return bench::Run(*options);
}
