// Gate throughput: n services with period 0 run the sample handler's jobs of a fixed length
// back to back. The share of a window during which some job holds the gate, read from the
// job log's begin and end lines, says how much time goes between one job and the next.
#include <algorithm>
#include <optional>

#include "clock.h"
#include "handlers.h"
#include "measurements.h"
#include "services.h"
#include "summary.h"
#include "wine/job_log.h"

namespace bench {
namespace {

// Long enough for every service to have come round to its first job.
constexpr DWORD kWarmUpMs = 1500;

struct Share {
    double percent;
    size_t jobs;
    size_t overlaps;  // jobs that began while another held the gate
};

std::optional<std::string> ReadFileText(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string text;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) text.append(chunk, read);
    CloseHandle(file);
    return text;
}

Share GateShare(const e2e::JobLog& log, int64_t windowStartUs, int64_t windowEndUs) {
    std::vector<std::pair<int64_t, int64_t>> held;
    for (const e2e::Job& job : log.jobs) {
        const int64_t begin = std::max(job.startUs, windowStartUs);
        const int64_t end = std::min(job.endUs.value_or(windowEndUs), windowEndUs);
        if (begin < end) held.emplace_back(begin, end);
    }
    std::sort(held.begin(), held.end());
    Share share{0, held.size(), 0};
    int64_t covered = 0;
    int64_t reach = windowStartUs;
    for (const auto& [begin, end] : held) {
        if (begin < reach) ++share.overlaps;
        covered += std::max<int64_t>(0, end - std::max(begin, reach));
        reach = std::max(reach, end);
    }
    share.percent = 100.0 * static_cast<double>(covered) /
                    static_cast<double>(windowEndUs - windowStartUs);
    return share;
}

std::optional<Share> RunJobs(const Subject& subject, int count, DWORD windowMs,
                             const std::wstring& jobLogPath) {
    DeleteFileW(jobLogPath.c_str());
    std::vector<Service> services;
    bool started = true;
    for (int i = 0; i < count; ++i) {
        std::optional<Service> service = Service::Open(subject.serviceNames.at(i));
        if (!service) return std::nullopt;
        started = service->RequestStart({L"0"}) && started;
        services.push_back(std::move(*service));
    }
    for (Service& service : services) started = service.WaitForState(SERVICE_RUNNING) && started;
    int64_t windowStartUs = 0;
    int64_t windowEndUs = 0;
    if (started) {
        Sleep(kWarmUpMs);
        windowStartUs = SystemTimeUs();
        Sleep(windowMs);
        windowEndUs = SystemTimeUs();
    }
    if (!StopAll(services) || !started) return std::nullopt;

    const std::optional<std::string> text = ReadFileText(jobLogPath);
    if (!text) return std::nullopt;
    return GateShare(e2e::ParseJobLog(*text), windowStartUs, windowEndUs);
}

}  // namespace

bool MeasureGateShare(const Subjects& subjects, const std::vector<int>& serviceCounts,
                      int repeats, DWORD jobMs, DWORD windowMs) {
    const std::wstring jobLogPath = SampleJobLogPath();
    if (jobLogPath.empty() || !SetSampleJobLength(jobMs)) {
        PrintNote("gate share: the sample handler has no job log or its settings cannot be set");
        return false;
    }
    for (const int count : serviceCounts) {
        std::vector<double> ours, floor;
        size_t overlaps = 0;
        for (int repeat = 0; repeat < repeats; ++repeat) {
            for (const Subject* subject : {&subjects.First(repeat), &subjects.Second(repeat)}) {
                const std::optional<Share> share = RunJobs(*subject, count, windowMs, jobLogPath);
                if (!share || share->jobs == 0) {
                    PrintNote("gate share: no jobs of " + subject->label + " with " +
                              std::to_string(count) + " services");
                    return false;
                }
                (subject == &subjects.ours ? ours : floor).push_back(share->percent);
                overlaps += share->overlaps;
            }
        }
        const std::string services = std::to_string(count) + (count == 1 ? " service" : " services");
        PrintRow("gate-" + std::to_string(count), "Gate share, " + services, "%", ours, floor);
        if (overlaps > 0) {
            PrintNote("gate share, " + services + ": " + std::to_string(overlaps) +
                      " jobs began while another held the gate (a wait of 2000 ms ran out)");
        }
    }
    return true;
}

}  // namespace bench
