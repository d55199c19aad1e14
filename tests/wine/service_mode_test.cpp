// The deliverables under the service control manager: entry and "LocalService" marker made by
// the test, started with parameters, stopped, and heard through the event log.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "deliverable.h"
#include "event_log_trace.h"
#include "handler_control.h"
#include "registration_state.h"
#include "registry.h"
#include "service_control.h"

namespace e2e {
namespace {

constexpr char kStopped[] = "Service stopped";

// The texts of a run; the last one, "Service stopped", can still be lost as the process ends
// (stopped_message_test.cpp), so it is left out.
std::vector<std::string> TextsBeforeTheStop(const EventLogTrace& events) {
    std::vector<std::string> texts = events.Texts();
    if (!texts.empty() && texts.back() == kStopped) texts.pop_back();
    return texts;
}

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

struct StartCase {
    const char* name;
    std::optional<DWORD> storedInterval;  // empty: no Parameters key
    std::vector<std::wstring> parameters;
    DWORD runInterval;
    std::optional<DWORD> storedAfter;
};

class ServiceModeStart : public testing::TestWithParam<StartCase> {};

TEST_P(ServiceModeStart, RunsWithTheFirstParameterAndStoresItOnlyInAnExistingKey) {
    const StartCase& c = GetParam();
    const ProfileResources& profile = Profile(u"Simbrel");
    HandlerSettings handler(TestFile(L".jobs.log"));
    ServiceRegistration service(profile, c.storedInterval);
    ASSERT_EQ(service.Error(), "");
    const EventLogTrace events;

    ASSERT_EQ(StartWithParameters(service.Name(), c.parameters), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_RUNNING)) << events.Describe();
    EXPECT_TRUE(events.WaitForText(StartedLine(c.runInterval))) << events.Describe();
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, ParametersKey(profile), L"Interval"), c.storedAfter);
    EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, ParametersKey(profile)), c.storedInterval.has_value());

    ASSERT_EQ(RequestStop(service.Name()), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_STOPPED));
    EXPECT_EQ(TextsBeforeTheStop(events), std::vector<std::string>{StartedLine(c.runInterval)});
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, ServiceModeStart,
    testing::Values(StartCase{"ReplacesTheSetting", 7, {L"30"}, 30, 30},
                    StartCase{"LeavesAMissingKeyMissing", std::nullopt, {L"30"}, 30, std::nullopt},
                    StartCase{"OnlyTheFirstCounts", 7, {L"45", L"20"}, 45, 45},
                    StartCase{"ZeroLikeAnyNumber", 60, {L"0"}, 0, 0},
                    StartCase{"NoneRunsWithTheSetting", 7, {}, 7, 7}),
    [](const testing::TestParamInfo<StartCase>& info) { return info.param.name; });

class ServiceModeJobs : public testing::TestWithParam<size_t> {};

TEST_P(ServiceModeJobs, ServiceProcessRunsItsOwnTask) {
    const ProfileResources& profile = jobsvc::AllProfiles()[GetParam()];
    const std::string task = Ansi(profile.profile.taskName);
    HandlerSettings handler(TestFile(L".jobs.log"));
    ServiceRegistration service(profile, std::nullopt);
    ASSERT_EQ(service.Error(), "");

    ASSERT_EQ(StartWithParameters(service.Name(), {L"0"}), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_RUNNING));
    const std::optional<DWORD> processId = ProcessIdOf(service.Name());
    ASSERT_TRUE(processId);
    EXPECT_TRUE(WaitUntil([&] { return HasFinishedJob(handler.ReadJobLog(), task); }))
        << handler.JobLogText();
    ASSERT_EQ(RequestStop(service.Name()), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_STOPPED));

    const JobLog log = handler.ReadJobLog();
    EXPECT_TRUE(log.malformed.empty()) << handler.JobLogText();
    for (const Job& job : log.jobs) {
        EXPECT_EQ(job.task, task);
        EXPECT_EQ(job.processId, *processId);
        EXPECT_EQ(job.result, 0u);  // a stop lets a running job end
    }
}

INSTANTIATE_TEST_SUITE_P(EightDeliverables, ServiceModeJobs,
                         testing::Range<size_t>(0, jobsvc::AllProfiles().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return Ansi(jobsvc::AllProfiles()[info.param].profile.shortName);
                         });

TEST(ServiceModeStop, StaysPendingWhileAnotherProcessHoldsTheRunGate) {
    const ProfileResources& profile = Profile(u"Tobrisk");
    HandlerSettings handler(TestFile(L".jobs.log"));
    ServiceRegistration service(profile, std::nullopt);
    ASSERT_EQ(service.Error(), "");
    // A service stopped just before may still be on its way out, its handle with it.
    ASSERT_TRUE(WaitUntil([] {
        const Handle other(OpenEventW(SYNCHRONIZE, FALSE, L"ObjectRunning"), &CloseHandle);
        return other == nullptr;
    }));
    // Created taken: the service finds it so, and a 30-minute interval runs no job to free it.
    const Handle gate(CreateEventW(nullptr, FALSE, FALSE, L"ObjectRunning"), &CloseHandle);
    ASSERT_NE(gate.get(), nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS))
        << "another process has the gate";

    ASSERT_EQ(StartWithParameters(service.Name(), {L"30"}), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_RUNNING));
    SERVICE_STATUS status{};
    ASSERT_EQ(RequestStop(service.Name(), &status), ERROR_SUCCESS);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    // Not a measurement: a service that stopped without the gate would be seen stopped here.
    Sleep(1000);
    EXPECT_EQ(QueryState(service.Name()), static_cast<DWORD>(SERVICE_STOP_PENDING));

    ASSERT_TRUE(SetEvent(gate.get()));
    EXPECT_TRUE(WaitForState(service.Name(), SERVICE_STOPPED));
    // The stopping service took the gate for good.
    EXPECT_EQ(WaitForSingleObject(gate.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(handler.ReadJobLog().jobs.empty()) << handler.JobLogText();
}

TEST(ServiceModeStop, WaitsForItsRunningJobToEnd) {
    const ProfileResources& profile = Profile(u"Quellan");
    const std::string task = Ansi(profile.profile.taskName);
    HandlerSettings handler(TestFile(L".jobs.log"));
    ASSERT_EQ(handler.SetDurationMs(3000), ERROR_SUCCESS);
    ServiceRegistration service(profile, std::nullopt);
    ASSERT_EQ(service.Error(), "");

    ASSERT_EQ(StartWithParameters(service.Name(), {L"0"}), ERROR_SUCCESS);
    ASSERT_TRUE(WaitUntil([&] { return !handler.ReadJobLog().jobs.empty(); }))
        << handler.JobLogText();
    SERVICE_STATUS status{};
    ASSERT_EQ(RequestStop(service.Name(), &status), ERROR_SUCCESS);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_STOPPED));

    // Read once stopped: the job's end must be in already.
    const JobLog log = handler.ReadJobLog();
    ASSERT_EQ(log.jobs.size(), 1u) << handler.JobLogText();
    EXPECT_EQ(log.jobs[0].task, task);
    EXPECT_TRUE(log.jobs[0].endUs) << handler.JobLogText();
    EXPECT_EQ(log.jobs[0].result, 0u);
}

TEST(ServiceModeEvents, FailuresAndUnknownControlsAreReportedAndTheServiceRunsOn) {
    const ProfileResources& profile = Profile(u"Varnock");
    const std::string runFailed = Ansi(profile.runFailed);
    HandlerSettings handler(TestFile(L".jobs.log"));
    ASSERT_EQ(handler.SetMode(L"fail"), ERROR_SUCCESS);
    ServiceRegistration service(profile, std::nullopt);
    ASSERT_EQ(service.Error(), "");
    const EventLogTrace events;

    ASSERT_EQ(StartWithParameters(service.Name(), {L"0"}), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_RUNNING));
    EXPECT_TRUE(events.WaitForText(runFailed, 2)) << events.Describe();
    ASSERT_EQ(handler.SetMode(L"ok"), ERROR_SUCCESS);  // no more failures from here on

    SERVICE_STATUS status{};
    EXPECT_EQ(SendControl(service.Name(), SERVICE_CONTROL_INTERROGATE, &status), ERROR_SUCCESS);
    EXPECT_EQ(SendControl(service.Name(), 200, &status), ERROR_SUCCESS);
    EXPECT_TRUE(events.WaitForText("Bad service request")) << events.Describe();
    EXPECT_EQ(QueryState(service.Name()), static_cast<DWORD>(SERVICE_RUNNING));

    ASSERT_EQ(RequestStop(service.Name()), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(service.Name(), SERVICE_STOPPED));
    const std::vector<std::string> texts = TextsBeforeTheStop(events);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), StartedLine(0));
    for (size_t i = 1; i < texts.size(); ++i) {
        EXPECT_TRUE(texts[i] == runFailed || texts[i] == "Bad service request") << texts[i];
    }
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Bad service request"), 1);
}

TEST(ServiceModeEventLogTrace, ReadsTheTextsOfCompleteReportLinesOnly) {
    const std::string log =
        "00e0:trace:eventlog:ServiceMain starting Event Log Service\n"
        "01a0:trace:eventlog:ReportEventW L\"Service started with interval(minutes): 0\"\r\n"
        "0024:fixme:advapi:ReportEventW stub\n"
        "01a0:trace:eventlog:ReportEventW L\"say \\\"hi\\\" \\\\ bye\"\n"
        "01a0:trace:eventlog:ReportEventW L\"cut";
    EXPECT_EQ(ParseEventLogTrace(log),
              (std::vector<std::string>{"Service started with interval(minutes): 0",
                                        "say \"hi\" \\ bye"}));
}

}  // namespace
}  // namespace e2e
