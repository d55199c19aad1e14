// The deliverables run as plain processes: registered (AppID key) but not as services.
#include <windows.h>

#include <gtest/gtest.h>

#include "child_process.h"
#include "deliverable.h"
#include "handler_control.h"

namespace e2e {
namespace {

class PlainProcess : public testing::TestWithParam<size_t> {
protected:
    const ProfileResources& profile_ = jobsvc::AllProfiles()[GetParam()];
};

TEST_P(PlainProcess, RunsItsTaskAgainAndAgainAtIntervalZero) {
    const std::string task = Ansi(profile_.profile.taskName);
    HandlerSettings handler(TestFile(L".jobs.log"));
    PlainProcessRegistration registration(profile_, 0);
    ASSERT_TRUE(registration.Ready());

    ChildProcess service(ExecutablePath(profile_), L"", TestFile(L".out.txt"));
    ASSERT_EQ(service.StartError(), "");
    EXPECT_TRUE(service.WaitForLine(StartedLine(0))) << service.Output();
    // The timer is armed afresh after every dispatch: a second job follows the first.
    const auto finishedJobs = [&] {
        size_t count = 0;
        for (const Job& job : JobsOf(handler.ReadJobLog(), task)) count += job.endUs.has_value();
        return count;
    };
    EXPECT_TRUE(WaitUntil([&] { return finishedJobs() >= 2; })) << handler.JobLogText();
    service.Terminate();

    EXPECT_EQ(service.OutputLines(), std::vector<std::string>{StartedLine(0)});
    const JobLog log = handler.ReadJobLog();
    EXPECT_TRUE(log.malformed.empty()) << handler.JobLogText();
    const Job* previous = nullptr;
    for (const Job& job : log.jobs) {
        EXPECT_EQ(job.task, task);
        EXPECT_EQ(job.processId, service.Id());
        if (job.result) {
            EXPECT_EQ(*job.result, 0u);
        }
        // One loop thread: a job begins only after the one before it ended.
        if (previous != nullptr) {
            EXPECT_GE(job.startUs, previous->endUs.value_or(INT64_MAX));
        }
        previous = &job;
    }
}

INSTANTIATE_TEST_SUITE_P(EightDeliverables, PlainProcess,
                         testing::Range<size_t>(0, jobsvc::AllProfiles().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return Ansi(jobsvc::AllProfiles()[info.param].profile.shortName);
                         });

TEST(PlainProcessWithoutAppId, ExitsWithFileNotFoundAndDoesNothing) {
    const ProfileResources& profile = jobsvc::AllProfiles().front();
    HandlerSettings handler(TestFile(L".jobs.log"));
    // With the interval set, only the missing AppID key keeps it from running jobs.
    PlainProcessRegistration registration(profile, 0);
    ASSERT_TRUE(registration.Ready());
    ASSERT_EQ(DeleteKeyTree(HKEY_CLASSES_ROOT, AppIdKey(profile)), ERROR_SUCCESS);

    ChildProcess service(ExecutablePath(profile), L"", TestFile(L".out.txt"));
    ASSERT_EQ(service.StartError(), "");
    ASSERT_TRUE(service.WaitForExit());
    EXPECT_EQ(service.ExitCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(service.Output(), "");
    EXPECT_EQ(handler.JobLogText(), "");
}

}  // namespace
}  // namespace e2e
