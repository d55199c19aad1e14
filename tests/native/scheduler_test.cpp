// The scheduler loop and the job dispatch under the run gate, in plain-process mode.
#include <gtest/gtest.h>

#include "sim_test.h"

namespace jobsvc {
namespace {

using testing_support::SimTest;
using testing_support::StartedMessage;
using Behaviour = sim::HandlerScript::Behaviour;

constexpr uint64_t kMinute = 60000;

class SchedulerTest : public SimTest {};

TEST_F(SchedulerTest, FirstJobComesOneIntervalAfterStartWithTheTaskName) {
    sim::Process& process = LaunchPlain(pellawin, 1);
    EXPECT_EQ(process.StandardOutput(), std::vector<std::u16string>{StartedMessage(1)});

    machine.RunFor(kMinute - 1);
    EXPECT_TRUE(machine.Jobs().empty());
    machine.RunFor(1);
    ASSERT_EQ(machine.Jobs().size(), 1u);
    EXPECT_EQ(machine.Jobs()[0].task, u"MatchApprove");
    EXPECT_EQ(machine.Jobs()[0].start, kMinute);
    EXPECT_EQ(machine.Jobs()[0].processId, process.Id());
    EXPECT_FALSE(process.Exited());
}

TEST_F(SchedulerTest, IntervalRunsFromTheEndOfOneJobToTheStartOfTheNext) {
    machine.SetHandler({.durationMs = 150000});  // two and a half intervals
    LaunchPlain(pellawin, 1);
    machine.RunFor(6 * kMinute);
    ASSERT_GE(machine.Jobs().size(), 2u);
    const sim::JobRecord& first = machine.Jobs()[0];
    const sim::JobRecord& second = machine.Jobs()[1];
    EXPECT_EQ(first.start, kMinute);
    EXPECT_EQ(first.end, kMinute + 150000);
    // Nothing queued while the job ran: one dispatch, a full interval after it ended.
    EXPECT_EQ(second.start, *first.end + kMinute);
}

TEST_F(SchedulerTest, EachDispatchAsksTheHandlerExactlyAndReleasesWhatItTook) {
    LaunchPlain(corvasse, 1);
    machine.RunFor(kMinute);
    ASSERT_EQ(machine.Jobs().size(), 1u);

    using Kind = sim::AutomationCall::Kind;
    const auto& calls = machine.AutomationCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, Kind::ClassFromProgId);
    EXPECT_EQ(calls[0].text, u"Tenmoor.TenmoorHandler");
    EXPECT_EQ(calls[1].kind, Kind::CreateDispatch);
    EXPECT_EQ(calls[1].classId, sim::Machine::HandlerClassId());
    EXPECT_EQ(calls[1].context, CLSCTX_ALL);
    EXPECT_EQ(calls[2].kind, Kind::GetIdOfName);
    EXPECT_EQ(calls[2].text, u"Run");
    EXPECT_EQ(calls[2].locale, LOCALE_USER_DEFAULT);
    EXPECT_EQ(calls[3].kind, Kind::Invoke);
    EXPECT_EQ(calls[3].text, u"CheckMails");
    EXPECT_EQ(calls[3].dispatchId, calls[2].dispatchId);
    EXPECT_EQ(calls[3].locale, LOCALE_USER_DEFAULT);
    EXPECT_EQ(calls[3].flags, DISPATCH_METHOD);

    const sim::HandleCounts open = machine.OpenHandles();
    EXPECT_EQ(open.dispatchObjects, 0u);
    EXPECT_EQ(open.strings, 0u);
    EXPECT_EQ(machine.InvalidReleases(), 0u);
}

TEST_F(SchedulerTest, ComSecurityIsSetForTheWholeProcess) {
    LaunchPlain(pellawin, 1);
    ASSERT_EQ(machine.SecurityCalls().size(), 1u);
    const sim::SecurityRecord& security = machine.SecurityCalls()[0];
    EXPECT_TRUE(security.descriptorGiven);
    EXPECT_EQ(security.authenticationLevel, RPC_C_AUTHN_LEVEL_PKT);
    EXPECT_EQ(security.impersonationLevel, RPC_C_IMP_LEVEL_IMPERSONATE);
    EXPECT_EQ(security.capabilities, EOAC_NONE);
}

struct FailureCase {
    const char* name;
    sim::HandlerScript script;
    bool unregisterProgId;
    uint32_t messageId;
};
void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.name; }

class DispatchFailureTest : public SchedulerTest,
                            public testing::WithParamInterface<FailureCase> {};

TEST_P(DispatchFailureTest, EveryIntervalReportsTheProfileTextAndTheServiceRunsOn) {
    const FailureCase& failure = GetParam();
    machine.SetHandler(failure.script);
    if (failure.unregisterProgId) machine.UnregisterProgId(u"Tenmoor.TenmoorHandler");
    // Held by "another service": a dispatch that touched the gate would wait 2000 ms for it.
    sim::EventRef gate = machine.OpenEvent(u"ObjectRunning");
    const bool gateUsed = failure.messageId == IDS_RUNFAILED;
    if (!gateUsed) {
        ASSERT_TRUE(gate.Take());
    }

    const ProfileResources& profile = pellawin;
    sim::Process& process = LaunchPlain(profile, 1);
    machine.RunFor(2 * kMinute);

    const std::u16string text(failure.messageId == IDS_CREATEINSTANCEFAILED ? profile.createInstanceFailed
                              : failure.messageId == IDS_NORUNMETHOD        ? profile.noRunMethod
                                                                            : profile.runFailed);
    EXPECT_EQ(process.StandardOutput(),
              (std::vector<std::u16string>{testing_support::StartedMessage(1), text, text}));
    EXPECT_FALSE(process.Exited());
    // The gate was never signalled by a dispatch that could not reach "Run".
    EXPECT_EQ(gate.Signalled(), gateUsed);
    EXPECT_EQ(machine.OpenHandles().dispatchObjects, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DispatchFailureTest,
    testing::Values(
        FailureCase{"ProgIdMissing", {}, true, IDS_CREATEINSTANCEFAILED},
        FailureCase{"NotCreatable", {.behaviour = Behaviour::NotCreatable}, false,
                    IDS_CREATEINSTANCEFAILED},
        FailureCase{"NoRunMethod", {.behaviour = Behaviour::NoRunMethod}, false, IDS_NORUNMETHOD},
        FailureCase{"RunFails", {.behaviour = Behaviour::Fail}, false, IDS_RUNFAILED}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(SchedulerTest, GateHeldElsewhereSkipsTheJobSignalsAfterTwoSecondsAndTriesAgain) {
    sim::EventRef gate = machine.OpenEvent(u"ObjectRunning");
    ASSERT_TRUE(gate.Take());
    sim::Process& process = LaunchPlain(pellawin, 1);

    machine.RunFor(kMinute + 1999);
    EXPECT_FALSE(gate.Signalled());
    machine.RunFor(1);
    EXPECT_TRUE(gate.Signalled());  // signalled although this dispatch never took it
    EXPECT_TRUE(machine.Jobs().empty());
    EXPECT_EQ(process.StandardOutput().size(), 1u);  // a skipped job is no failure

    machine.RunFor(kMinute);
    ASSERT_EQ(machine.Jobs().size(), 1u);
    EXPECT_EQ(machine.Jobs()[0].start, 2 * kMinute + 2000);
}

TEST_F(SchedulerTest, JobsOfTwoServicesTakeTurnsAtTheGate) {
    machine.SetHandler({.durationMs = 300});
    LaunchPlain(pellawin, 0);
    LaunchPlain(corvasse, 0);
    machine.RunFor(20000);

    const auto& jobs = machine.Jobs();
    ASSERT_GT(jobs.size(), 20u);
    size_t perProcess[2] = {};
    for (size_t i = 1; i < jobs.size(); ++i) {
        ASSERT_TRUE(jobs[i - 1].end.has_value());
        EXPECT_GE(jobs[i].start, *jobs[i - 1].end) << "job " << i << " overlaps";
    }
    for (const sim::JobRecord& job : jobs) ++perProcess[job.task == u"CheckMails"];
    EXPECT_GT(perProcess[0], 5u);
    EXPECT_GT(perProcess[1], 5u);
}

TEST_F(SchedulerTest, ATimedOutDispatchFreesTheGateDuringAnotherServicesJob) {
    // The protocol's one allowed overlap: Pellawin's long job holds the gate, Corvasse's
    // dispatch times out and signals, and Corvasse's next dispatch takes the gate.
    machine.SetHandler({.durationMs = 10000});
    LaunchPlain(pellawin, 0);
    machine.RunFor(5);
    LaunchPlain(corvasse, 0);
    machine.RunFor(6000);

    const auto& jobs = machine.Jobs();
    ASSERT_GE(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].task, u"MatchApprove");
    EXPECT_EQ(jobs[1].task, u"CheckMails");
    // Corvasse's first dispatch (at 15 ms) waited 2000 ms; its next one, 10 ms later, ran.
    EXPECT_EQ(jobs[1].start, 15u + 2000u + 10u);
    EXPECT_LT(jobs[1].start, jobs[0].start + 10000);
}

TEST_F(SchedulerTest, TimerThatCannotBeArmedAtStartEndsTheRun) {
    machine.Inject().setTimer.Always();
    sim::Process& process = LaunchPlain(pellawin, 1);
    machine.RunUntil([&] { return process.Exited(); }, kMinute);
    ASSERT_TRUE(process.Exited());
    EXPECT_EQ(process.ExitCode(), 0);
    EXPECT_EQ(process.StandardOutput(),
              (std::vector<std::u16string>{StartedMessage(1), u"Failed to create timer"}));
    EXPECT_FALSE(machine.EventExists(u"ObjectRunning"));  // its handle was closed
    EXPECT_EQ(process.ComBalance(), 0);
}

TEST_F(SchedulerTest, TimerThatCannotBeArmedAgainStopsDispatchingButNotTheLoop) {
    machine.Inject().setTimer.OnCall(2);
    sim::Process& process = LaunchPlain(pellawin, 1);
    machine.RunFor(5 * kMinute);
    EXPECT_EQ(machine.Jobs().size(), 1u);
    EXPECT_EQ(process.StandardOutput(),
              (std::vector<std::u16string>{StartedMessage(1), u"Failed to create timer"}));
    EXPECT_FALSE(process.Exited());
}

TEST_F(SchedulerTest, GateThatCannotBeCreatedEndsTheRunSilently) {
    machine.Inject().createEvent.Always();
    sim::Process& process = LaunchPlain(pellawin, 1);
    machine.RunUntil([&] { return process.Exited(); }, kMinute);
    ASSERT_TRUE(process.Exited());
    EXPECT_EQ(process.StandardOutput(), std::vector<std::u16string>{StartedMessage(1)});
    machine.RunFor(2 * kMinute);
    EXPECT_TRUE(machine.Jobs().empty());
}

TEST_F(SchedulerTest, QuitDuringADispatchEndsTheLoopOnlyAfterTheJob) {
    sim::Process* process = nullptr;
    machine.SetHandler({.durationMs = 5000, .onStart = [&](size_t) {
        const ServiceModule& module = process->Module();
        (void)process->Os().messages.PostToThread(module.mainThreadId.load(), WM_QUIT, 0, 0);
    }});
    process = &LaunchPlain(pellawin, 1);
    machine.RunUntil([&] { return process->Exited(); }, 10 * kMinute);

    ASSERT_TRUE(process->Exited());
    ASSERT_EQ(machine.Jobs().size(), 1u);
    EXPECT_EQ(machine.Jobs()[0].end, kMinute + 5000);  // the job ran to its end
    EXPECT_EQ(process->Module().timerId, 0u);            // the re-armed timer was killed
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    EXPECT_EQ(process->ComBalance(), 0);
}

TEST_F(SchedulerTest, DispatchWithoutMemoryForItsStringsReportsAndIsArmedAgain) {
    machine.Inject().allocString.OnCall(1);
    sim::Process& process = LaunchPlain(pellawin, 1);
    machine.RunFor(2 * kMinute);
    // The first dispatch could not ask for its job; the second one ran it.
    EXPECT_EQ(process.StandardOutput(),
              (std::vector<std::u16string>{StartedMessage(1),
                                           std::u16string(pellawin.createInstanceFailed)}));
    ASSERT_EQ(machine.Jobs().size(), 1u);
    EXPECT_EQ(machine.Jobs()[0].start, 2 * kMinute);
    EXPECT_EQ(machine.OpenHandles().strings, 0u);
}

struct PeriodCase {
    uint32_t minutes;
    uint32_t periodMs;
    uint32_t reportedMinutes;
};

class TimerPeriodTest : public SimTest, public testing::WithParamInterface<PeriodCase> {};

TEST_P(TimerPeriodTest, PeriodIsTheIntervalWithoutWrapping) {
    sim::Process& process = LaunchPlain(pellawin, GetParam().minutes);
    EXPECT_EQ(process.Module().intervalMinutes, GetParam().minutes);  // stored value unchanged
    EXPECT_EQ(process.Module().intervalMs, GetParam().periodMs);
    EXPECT_EQ(process.StandardOutput().at(0), StartedMessage(GetParam().reportedMinutes));
}

INSTANTIATE_TEST_SUITE_P(Intervals, TimerPeriodTest,
                         testing::Values(PeriodCase{0, 0, 0}, PeriodCase{1, 60000, 1},
                                         PeriodCase{1440, 86400000, 1440},
                                         PeriodCase{35791, 2147460000, 35791},
                                         // Beyond here the platform's longest period applies.
                                         PeriodCase{35792, 0x7FFFFFFF, 35791},
                                         PeriodCase{71583, 0x7FFFFFFF, 35791},
                                         PeriodCase{0xFFFFFFFF, 0x7FFFFFFF, 35791}));

TEST_F(SchedulerTest, ZeroIntervalDispatchesAtThePlatformsShortestPeriod) {
    LaunchPlain(pellawin, 0);
    machine.RunFor(1000);
    EXPECT_GE(machine.Jobs().size(), 90u);
}

}  // namespace
}  // namespace jobsvc
