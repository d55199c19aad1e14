#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "job_figures.h"

namespace e2e {
namespace {

constexpr int64_t Ms(int64_t milliseconds) { return milliseconds * 1000; }

constexpr int kNoEnd = -1;

struct Entry {
    const char* task;
    int processId;
    int beginMs;
    int endMs;  // kNoEnd: the job never ended
    bool fails = false;
};

// The job log that these jobs leave, its lines in the order of their times.
JobLog Log(const std::vector<Entry>& entries) {
    std::vector<std::pair<int, std::string>> lines;
    for (const Entry& entry : entries) {
        const std::string subject = std::string(" task=") + entry.task +
                                    " pid=" + std::to_string(entry.processId) + " t=";
        const auto time = [](int ms) { return std::to_string(ms) + ".000"; };
        lines.emplace_back(entry.beginMs, "begin" + subject + time(entry.beginMs));
        if (entry.endMs != kNoEnd) {
            const char* result = entry.fails ? " hr=0x80004005" : " hr=0x00000000";
            lines.emplace_back(entry.endMs, "end" + subject + time(entry.endMs) + result);
        }
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (const auto& line : lines) text += line.second + "\r\n";
    return ParseJobLog(text);
}

const std::vector<std::string> kTasks = {"A", "B", "C"};

TEST(JobLogFigures, CountsJobsFailuresAndPausesPerService) {
    const JobLog log = Log({{"A", 1, 1000, 1100},
                            {"B", 2, 1200, 1300, true},
                            {"A", 1, 1500, 1600},
                            {"B", 2, 1700, 1800, true}});
    const FamilyFigures figures = ReadFigures(log, kTasks, 0, {0, Ms(3000)});
    ASSERT_EQ(figures.services.size(), 3u);
    EXPECT_EQ(figures.services[0].jobs, 2u);
    EXPECT_EQ(figures.services[0].failed, 0u);
    EXPECT_EQ(figures.services[0].longestPauseUs, Ms(1400));  // from its last job to the end
    EXPECT_EQ(figures.services[1].failed, 2u);
    EXPECT_EQ(figures.services[1].longestPauseUs, Ms(1200));  // before its first job
    EXPECT_EQ(figures.services[2].jobs, 0u);
    EXPECT_EQ(figures.services[2].longestPauseUs, Ms(3000));
    EXPECT_EQ(figures.overlappingJobs, 0u);
    EXPECT_EQ(figures.mostAtOnce, 1u);
}

struct OverlapCase {
    const char* name;
    std::vector<Entry> jobs;
    size_t overlapping;
    size_t mostAtOnce;
    size_t unexplained;
};

void PrintTo(const OverlapCase& c, std::ostream* out) { *out << c.name; }

class JobLogFiguresOverlaps : public testing::TestWithParam<OverlapCase> {};

TEST_P(JobLogFiguresOverlaps, AreExplainedOnlyByAWaitThatRanOut) {
    const OverlapCase& c = GetParam();
    const FamilyFigures figures = ReadFigures(Log(c.jobs), kTasks, 0, {0, Ms(10000)});
    EXPECT_EQ(figures.overlappingJobs, c.overlapping);
    EXPECT_EQ(figures.mostAtOnce, c.mostAtOnce);
    EXPECT_EQ(figures.unexplainedOverlaps.size(), c.unexplained)
        << testing::PrintToString(figures.unexplainedOverlaps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JobLogFiguresOverlaps,
    testing::Values(
        // C has waited since 0: its wait ran out at 2000 ms, during A's job, and let B in.
        OverlapCase{"AfterAWaitRanOut", {{"A", 1, 0, 3000}, {"B", 2, 2500, 2600}}, 1, 2, 0},
        // No service had gone 2000 ms without a job when B began beside A.
        OverlapCase{"WithNoWaitThatCanHaveRunOut",
                    {{"C", 3, 0, 100}, {"A", 1, 200, 3000}, {"B", 2, 1000, 1100},
                     {"C", 3, 1900, 2000}},
                    2, 2, 1},
        // B's end signalled the gate and let C in beside A.
        OverlapCase{"AfterAnOverlappingJobEnded",
                    {{"A", 1, 0, 5000}, {"B", 2, 2500, 2600}, {"C", 3, 2700, 2800}}, 2, 2, 0},
        // A's job died with its process and holds the gate for good.
        OverlapCase{"BesideAJobThatNeverEnded",
                    {{"C", 3, 0, 50}, {"A", 1, 100, kNoEnd}, {"B", 2, 1000, 1100},
                     {"B", 2, 2200, 2300}},
                    2, 2, 1},
        OverlapCase{"ThreeAtOnce",
                    {{"A", 1, 0, 9000}, {"B", 2, 2500, 8000}, {"C", 3, 5000, 5100}}, 2, 3, 0}),
    [](const testing::TestParamInfo<OverlapCase>& info) { return info.param.name; });

TEST(JobLogFigures, AServiceWaitsNoMoreOnceItsJobDiedAndAgainOnceStartedAnew) {
    const JobLog log = Log({{"A", 1, 100, kNoEnd}, {"A", 5, 2500, 2600}});
    EXPECT_FALSE(CanHaveTimedOut(log, {"A"}, 0, {Ms(500), Ms(1500)}));
    EXPECT_TRUE(CanHaveTimedOut(log, {"A"}, 0, {Ms(2000), Ms(2500)}));
}

}  // namespace
}  // namespace e2e
