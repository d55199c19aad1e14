// A long run of the family at period 0: each service's handle count and memory stay flat over
// thousands of dispatches. Measured from outside, once the services run, after a warm-up (the
// first dispatches load the handler and fill the platform's caches) and at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "child_process.h"
#include "family.h"
#include "handler_control.h"
#include "process_usage.h"
#include "service_control.h"

namespace e2e {
namespace {

constexpr size_t kWarmUpDispatches = 200;
constexpr size_t kDispatches = 4000;
// Far below a leak of anything per dispatch: a handle, or a string of the smallest heap block.
constexpr DWORD kHandleSlack = 8;
constexpr SIZE_T kMemorySlack = 64 * 1024;
// A dispatch takes some 12 ms here; a slow machine gets ten times that.
constexpr DWORD kRunTimeoutMs = 600000;

class Leaks : public FamilyTest {};

TEST_F(Leaks, HandlesAndMemoryOfEveryServiceStayFlatOverThousandsOfDispatches) {
    const std::vector<Member>& members = Members();
    HandlerSettings handler(TestFile(L".jobs.log"));
    ASSERT_EQ(StartAll(members, L"0"), "");
    std::vector<DWORD> processes;
    for (const Member& member : members) {
        const std::optional<DWORD> id = ProcessIdOf(member.name);
        ASSERT_TRUE(id) << member.task;
        processes.push_back(*id);
    }
    // Each dispatch that takes the gate runs one job; few others time out at this load.
    const auto dispatches = [&] {
        const JobLog log = handler.ReadJobLog();
        std::vector<size_t> counts;
        for (const Member& member : members) counts.push_back(JobsOf(log, member.task).size());
        return counts;
    };
    const auto everyOneReached = [&](size_t count) {
        return WaitUntil(
            [&] {
                Sleep(500);  // the log grows long: read it now and then
                const std::vector<size_t> counts = dispatches();
                return std::all_of(counts.begin(), counts.end(),
                                   [&](size_t n) { return n >= count; });
            },
            kRunTimeoutMs);
    };
    const auto sample = [&] {
        std::vector<ProcessUsage> usage;
        for (DWORD id : processes) usage.push_back(UsageOf(id).value_or(ProcessUsage{}));
        return usage;
    };

    const std::vector<ProcessUsage> atStart = sample();
    ASSERT_TRUE(everyOneReached(kWarmUpDispatches));
    const std::vector<ProcessUsage> warm = sample();
    const std::vector<size_t> warmCounts = dispatches();
    const ULONGLONG warmTicks = GetTickCount64();
    ASSERT_TRUE(everyOneReached(kWarmUpDispatches + kDispatches));
    const std::vector<ProcessUsage> atEnd = sample();
    const std::vector<size_t> endCounts = dispatches();
    const ULONGLONG runMs = GetTickCount64() - warmTicks;
    const std::vector<StopWatch> stops = StopAll(members);

    std::cout << "Handles and private memory (KiB) at start, after the warm-up and after the "
                 "run of " << runMs / 1000 << " s:\n";
    for (size_t i = 0; i < members.size(); ++i) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "  %-24s %5zu dispatches  handles %3lu %3lu %3lu  private %6zu %6zu %6zu"
                      "  working set %6zu %6zu\n",
                      members[i].task.c_str(), endCounts[i] - warmCounts[i], atStart[i].handles,
                      warm[i].handles, atEnd[i].handles, atStart[i].privateBytes / 1024,
                      warm[i].privateBytes / 1024, atEnd[i].privateBytes / 1024,
                      warm[i].workingSet / 1024, atEnd[i].workingSet / 1024);
        std::cout << line;
    }
    std::cout << std::flush;

    for (size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(members[i].task);
        ASSERT_NE(warm[i].handles, 0u) << "the process could not be examined";
        ASSERT_NE(atEnd[i].handles, 0u) << "the process could not be examined";
        EXPECT_LE(atEnd[i].handles, warm[i].handles + kHandleSlack);
        EXPECT_LE(atEnd[i].privateBytes, warm[i].privateBytes + kMemorySlack);
        EXPECT_TRUE(stops[i].stoppedUs);
    }
}

}  // namespace
}  // namespace e2e
