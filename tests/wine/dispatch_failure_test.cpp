// A dispatch that cannot run its job writes the profile's text and the service runs on.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "child_process.h"
#include "deliverable.h"
#include "handler_control.h"

namespace e2e {
namespace {

struct FailureCase {
    const char* name;
    std::u16string_view deliverable;
    bool progIdRegistered;
    const wchar_t* handlerMode;
    uint32_t textId;
};

std::u16string_view Text(const ProfileResources& profile, uint32_t id) {
    switch (id) {
        case jobsvc::IDS_CREATEINSTANCEFAILED:
            return profile.createInstanceFailed;
        case jobsvc::IDS_NORUNMETHOD:
            return profile.noRunMethod;
        default:
            return profile.runFailed;
    }
}

class DispatchFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(DispatchFailure, WritesTheProfileTextAtEveryIntervalAndRunsOn) {
    const FailureCase& c = GetParam();
    const ProfileResources& profile = Profile(c.deliverable);
    const std::string text = Ansi(Text(profile, c.textId));
    HandlerSettings handler(TestFile(L".jobs.log"));
    ASSERT_EQ(handler.SetMode(c.handlerMode), ERROR_SUCCESS);
    std::optional<ProgIdRemoval> removal;
    if (!c.progIdRegistered) {
        ASSERT_EQ(removal.emplace().Status(), ERROR_SUCCESS);
    }
    PlainProcessRegistration registration(profile, 0);
    ASSERT_TRUE(registration.Ready());

    ChildProcess service(ExecutablePath(profile), L"", TestFile(L".out.txt"));
    ASSERT_EQ(service.StartError(), "");
    EXPECT_TRUE(service.WaitForLine(text, 2)) << service.Output();
    service.Terminate();

    const std::vector<std::string> lines = service.OutputLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), StartedLine(0));
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], text);

    const std::vector<Job> jobs = JobsOf(handler.ReadJobLog(), Ansi(profile.profile.taskName));
    if (c.textId != jobsvc::IDS_RUNFAILED) {
        EXPECT_TRUE(jobs.empty()) << handler.JobLogText();
        return;
    }
    EXPECT_FALSE(jobs.empty());
    for (const Job& job : jobs) {
        if (job.result) {
            EXPECT_EQ(*job.result, static_cast<uint32_t>(E_FAIL));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DispatchFailure,
    testing::Values(FailureCase{"ProgIdNotRegistered", u"Corvasse", false, L"ok",
                                jobsvc::IDS_CREATEINSTANCEFAILED},
                    FailureCase{"NoRunMethod", u"Pellawin", true, L"norun",
                                jobsvc::IDS_NORUNMETHOD},
                    FailureCase{"RunFails", u"Pellawin", true, L"fail", jobsvc::IDS_RUNFAILED}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace e2e
