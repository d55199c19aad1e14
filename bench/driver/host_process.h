// The Linux process that hosts a Windows process under Wine, read through Wine's view of
// /proc: CPU time, context switches and memory as the kernel counts them, which is what a
// busy or restless process costs the machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

struct HostSample {
    uint64_t cpuNs = 0;             // on-CPU time of the threads alive now
    uint64_t processCpuNs = 0;      // user + system time of the whole process, in clock ticks
    uint64_t contextSwitches = 0;   // voluntary and involuntary, all threads alive now
    uint64_t residentKb = 0;        // VmRSS
    uint64_t privateKb = 0;         // private pages, clean and dirty
    std::vector<uint32_t> threads;  // to tell whether a thread came or went between samples
};

// CPU time between two samples: per thread where no thread came or went (nanoseconds), from
// the coarser whole-process count otherwise.
uint64_t CpuNsBetween(const HostSample& before, const HostSample& after);

class HostProcess {
public:
    // The newest process of this Wine prefix (the driver's own) whose image is `imageName`
    // ("PELLAWIN.EXE").
    static std::optional<HostProcess> Find(std::wstring_view imageName);

    [[nodiscard]] std::optional<HostSample> Sample() const;
    [[nodiscard]] uint32_t Pid() const { return pid_; }

private:
    explicit HostProcess(uint32_t pid) : pid_(pid) {}

    uint32_t pid_;
};

}  // namespace bench
