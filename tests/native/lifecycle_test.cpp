// Running under the service control manager: start parameters, the status sequence and the
// stop through the run gate.
#include <gtest/gtest.h>

#include "service/interval.h"
#include "sim_test.h"

namespace jobsvc {
namespace {

using testing_support::ParametersPath;
using testing_support::SimTest;
using testing_support::StartedMessage;

class LifecycleTest : public SimTest {
protected:
    std::vector<uint32_t> States() const { return machine.StateHistory(pellawin.serviceName); }
    std::vector<std::u16string> Events() const { return machine.EventTexts(); }

    // Pellawin running, and the gate taken by the test as another service's job would.
    sim::Process& RunningWhileGateIsHeld(sim::EventRef& gate) {
        RegisterService(pellawin);
        gate = machine.OpenEvent(u"ObjectRunning");
        sim::Process& process = StartService(pellawin, {u"60"});
        EXPECT_TRUE(WaitForState(pellawin, SERVICE_RUNNING));
        EXPECT_TRUE(gate.Take());
        return process;
    }
};

TEST_F(LifecycleTest, NormalRunReportsTheFourStatesAndLogsToTheEventLog) {
    RegisterService(pellawin);
    sim::Process& process = StartService(pellawin, {u"1"});
    ASSERT_TRUE(WaitForState(pellawin, SERVICE_RUNNING));
    machine.RunFor(60000);
    ASSERT_EQ(machine.Jobs().size(), 1u);
    ASSERT_TRUE(machine.Control(pellawin.serviceName, SERVICE_CONTROL_STOP));
    ASSERT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 60000));

    EXPECT_EQ(States(), (std::vector<uint32_t>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                               SERVICE_STOP_PENDING, SERVICE_STOPPED}));
    for (const ServiceStatus& status : machine.StatusHistory(pellawin.serviceName)) {
        EXPECT_EQ(status.serviceType, SERVICE_WIN32_OWN_PROCESS);
        EXPECT_EQ(status.controlsAccepted, SERVICE_ACCEPT_STOP);
        EXPECT_EQ(status.win32ExitCode, 0u);
        EXPECT_EQ(status.serviceSpecificExitCode, 0u);
        EXPECT_EQ(status.checkPoint, 0u);
        EXPECT_EQ(status.waitHint, 0u);
    }
    EXPECT_EQ(process.ExitCode(), 0);
    EXPECT_TRUE(process.StandardOutput().empty());

    const auto& events = machine.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].text, StartedMessage(1));
    EXPECT_EQ(events[1].text, u"Service stopped");
    for (const sim::EventRecord& event : events) {
        EXPECT_EQ(event.source, pellawin.serviceName);
        EXPECT_EQ(event.type, EVENTLOG_INFORMATION_TYPE);
        EXPECT_EQ(event.category, 0);
        EXPECT_EQ(event.eventId, 0u);
    }
    // "Service stopped" follows the last report.
    EXPECT_GE(events[1].time, machine.StatusRecords(pellawin.serviceName).back().time);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
    EXPECT_EQ(process.ComBalance(), 0);
}

TEST_F(LifecycleTest, FailuresBeforeTheLoopEndTheRunWithoutAStopPending) {
    struct Case {
        const char* name;
        sim::Fault sim::Faults::*fault;
        uint32_t failingCall;  // the process's first event is its own, the gate the second
        std::vector<std::u16string> events;
    };
    const Case cases[] = {
        {"gate", &sim::Faults::createEvent, 2, {StartedMessage(1), u"Service stopped"}},
        {"timer", &sim::Faults::setTimer, 1,
         {StartedMessage(1), u"Failed to create timer", u"Service stopped"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine fresh;
        (fresh.Inject().*c.fault).FromCall(c.failingCall);
        fresh.SetString(testing_support::AppIdPath(pellawin), u"LocalService", u"Pellawin");
        fresh.AddImage(sim::Machine::DefaultImagePath(pellawin), pellawin);
        fresh.AddServiceEntry(std::u16string(pellawin.serviceName),
                              sim::Machine::DefaultImagePath(pellawin));
        sim::Process* process = fresh.StartService(pellawin.serviceName, {u"1"});
        ASSERT_NE(process, nullptr);
        fresh.RunUntil([&] { return process->Exited(); }, 60000);
        EXPECT_EQ(fresh.StateHistory(pellawin.serviceName),
                  (std::vector<uint32_t>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOPPED}));
        EXPECT_EQ(fresh.EventTexts(), c.events);
    }
}

TEST_F(LifecycleTest, HandlerThatCannotBeRegisteredReportsNothing) {
    machine.Inject().registerHandler.Always();
    RegisterService(pellawin);
    sim::Process& process = StartService(pellawin);
    machine.RunUntil([&] { return process.Exited(); }, 60000);
    EXPECT_TRUE(States().empty());
    EXPECT_EQ(Events(), std::vector<std::u16string>{u"Handler not installed"});
    EXPECT_TRUE(machine.Jobs().empty());
}

struct StartParameterCase {
    const char* name;
    std::vector<std::u16string> args;
    uint32_t minutes;
};

void PrintTo(const StartParameterCase& c, std::ostream* out) { *out << c.name; }

class StartParameterTest : public LifecycleTest,
                           public testing::WithParamInterface<StartParameterCase> {};

TEST_P(StartParameterTest, FirstParameterIsThisRunsIntervalAndIsStored) {
    const StartParameterCase& c = GetParam();
    RegisterService(halvane);
    SetInterval(halvane, 7);
    sim::Process& process = StartService(halvane, c.args);
    ASSERT_TRUE(WaitForState(halvane, SERVICE_RUNNING));

    EXPECT_EQ(process.Module().intervalMs, TimerPeriod(c.minutes));
    EXPECT_EQ(process.Module().intervalMinutes, 7u);  // the setting as loaded, untouched
    EXPECT_EQ(machine.GetDword(ParametersPath(halvane), u"Interval"),
              c.args.empty() ? 7u : c.minutes);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, StartParameterTest,
    testing::Values(
        StartParameterCase{"Thirty", {u"30"}, 30}, StartParameterCase{"None", {}, 7},
        StartParameterCase{"OnlyTheFirstCounts", {u"45", u"10"}, 45},
        StartParameterCase{"LettersOnly", {u"abc"}, 0}, StartParameterCase{"Empty", {u""}, 0},
        StartParameterCase{"BlankPlusDigitsLetters", {u" +15abc"}, 15},
        StartParameterCase{"MinusOne", {u"-1"}, 0xFFFFFFFF},
        StartParameterCase{"LongerThanNineteen", {u"000000000000000000000000000000025"}, 25}),
    [](const testing::TestParamInfo<StartParameterCase>& info) { return info.param.name; });

TEST_F(LifecycleTest, StartParameterWithoutAParametersKeyGovernsTheRunButIsNotStored) {
    RegisterService(pellawin);
    sim::Process& process = StartService(pellawin, {u"30"});
    ASSERT_TRUE(WaitForState(pellawin, SERVICE_RUNNING));
    EXPECT_EQ(process.Module().intervalMs, 1800000u);
    EXPECT_FALSE(machine.KeyExists(ParametersPath(pellawin)));
    EXPECT_EQ(Events().at(0), StartedMessage(30));
}

TEST_F(LifecycleTest, StopWhileItsOwnJobRunsWaitsForTheJob) {
    machine.SetHandler({.durationMs = 5000});
    RegisterService(pellawin);
    sim::Process& process = StartService(pellawin, {u"0"});
    ASSERT_TRUE(machine.RunUntil([&] { return !machine.Jobs().empty(); }, 1000));
    const uint64_t jobStart = machine.Jobs()[0].start;
    machine.RunFor(100);
    ASSERT_TRUE(machine.Control(pellawin.serviceName, SERVICE_CONTROL_STOP));
    EXPECT_EQ(machine.ServiceState(pellawin.serviceName), SERVICE_STOP_PENDING);

    ASSERT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 60000));
    ASSERT_EQ(machine.Jobs().size(), 1u);
    const uint64_t stopped = machine.StatusRecords(pellawin.serviceName).back().time;
    EXPECT_GE(stopped, jobStart + 5000);
    EXPECT_EQ(machine.StatusRecords(pellawin.serviceName).back().status.currentState,
              SERVICE_STOPPED);
    // The stopping service kept the gate.
    EXPECT_FALSE(machine.EventExists(u"ObjectRunning"));
}

TEST_F(LifecycleTest, StopWaitsWhileAnotherServiceHoldsTheGate) {
    sim::EventRef gate;
    sim::Process& process = RunningWhileGateIsHeld(gate);

    ASSERT_TRUE(machine.Control(pellawin.serviceName, SERVICE_CONTROL_STOP));
    machine.RunFor(600000);
    EXPECT_EQ(machine.ServiceState(pellawin.serviceName), SERVICE_STOP_PENDING);
    EXPECT_FALSE(process.Exited());

    gate.Set();
    ASSERT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 1000));
    EXPECT_EQ(machine.ServiceState(pellawin.serviceName), SERVICE_STOPPED);
    EXPECT_FALSE(gate.Signalled());  // the waiter took it and did not give it back
}

TEST_F(LifecycleTest, OtherControlsChangeNothingAndUnknownOnesAreLogged) {
    RegisterService(pellawin);
    sim::Process& process = StartService(pellawin, {u"60"});
    ASSERT_TRUE(WaitForState(pellawin, SERVICE_RUNNING));
    for (uint32_t control : {SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE,
                             SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_SHUTDOWN, 0u, 128u, 255u}) {
        ASSERT_TRUE(machine.Control(pellawin.serviceName, control));
    }
    machine.RunFor(1000);
    EXPECT_EQ(States(), (std::vector<uint32_t>{SERVICE_START_PENDING, SERVICE_RUNNING}));
    EXPECT_EQ(Events(), (std::vector<std::u16string>{StartedMessage(60), u"Bad service request",
                                                     u"Bad service request",
                                                     u"Bad service request"}));
    EXPECT_FALSE(process.Exited());
}

TEST_F(LifecycleTest, FurtherStopRequestsStartNoSecondWaiter) {
    sim::EventRef gate;
    sim::Process& process = RunningWhileGateIsHeld(gate);
    ASSERT_TRUE(machine.Control(pellawin.serviceName, SERVICE_CONTROL_STOP));
    const size_t threads = process.LiveThreads();
    ASSERT_TRUE(machine.Control(pellawin.serviceName, SERVICE_CONTROL_STOP));
    ASSERT_TRUE(machine.Control(pellawin.serviceName, SERVICE_CONTROL_STOP));
    EXPECT_EQ(process.LiveThreads(), threads);
    EXPECT_EQ(States(), (std::vector<uint32_t>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                               SERVICE_STOP_PENDING, SERVICE_STOP_PENDING,
                                               SERVICE_STOP_PENDING}));
    gate.Set();
    ASSERT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 1000));
    EXPECT_EQ(States().back(), SERVICE_STOPPED);
}

TEST_F(LifecycleTest, StopWithoutAWaiterThreadIsNotLost) {
    machine.Inject().startThread.Always();
    sim::EventRef gate;
    sim::Process& process = RunningWhileGateIsHeld(gate);
    ASSERT_TRUE(machine.Control(pellawin.serviceName, SERVICE_CONTROL_STOP));
    machine.RunFor(10000);
    EXPECT_EQ(machine.ServiceState(pellawin.serviceName), SERVICE_STOP_PENDING);  // gate held
    gate.Set();
    ASSERT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 1000));
    EXPECT_EQ(States().back(), SERVICE_STOPPED);
}

TEST_F(LifecycleTest, StopBeforeTheLoopThreadIsKnownEndsTheRunAtItsFirstMessage) {
    sim::Process& process = machine.Launch(pellawin, u"", {.entry = [](ServiceModule& module,
                                                                       ModuleHandle instance) {
        module.Init(instance, IDS_SERVICENAME, nullptr);
        module.isService = false;
        module.intervalMs = 60000;
        module.Handler(SERVICE_CONTROL_STOP);  // before Run has recorded its thread
        module.Run();
        return 0;
    }});
    ASSERT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 1000));
    EXPECT_TRUE(machine.Jobs().empty());
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace jobsvc
