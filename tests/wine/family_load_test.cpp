// The family under load: services registered with "-Service", started with the start
// parameter 0 (a dispatch 10 ms after the last one ended), against the sample handler with jobs
// of a set length, and stopped while jobs run. The figures go to standard output.
//
// What the run gate allows. A dispatch waits at most 2000 ms for the gate and signals it after
// its wait in every case, taken or timed out. A dispatch that timed out thus frees the gate
// while another service's job may still run, and lets one more taker through: that is the only
// way two jobs can overlap, and ReadFigures checks each overlap against it. With jobs far
// shorter than 2000 ms no wait times out, so no two jobs overlap at all. A service's own jobs
// never overlap: one thread runs them, and its timer is disarmed during a dispatch. A stop takes
// the gate with no time limit and keeps it; the next dispatch of another service times out after
// 2000 ms and signals it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>

#include "child_process.h"
#include "event_log_trace.h"
#include "family.h"
#include "handler_control.h"
#include "job_figures.h"
#include "service_control.h"

namespace e2e {
namespace {

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

class FamilyLoad : public FamilyTest {};

struct FamilyRun {
    int64_t startUs = 0;
    Window window;  // from all running to the stop requests
    std::vector<StopWatch> stops;
};

FamilyRun RunAndStop(const std::vector<Member>& members, DWORD milliseconds) {
    FamilyRun run;
    run.startUs = JobLogClockUs();
    const std::string started = StartAll(members, L"0");
    EXPECT_EQ(started, "");
    run.window.fromUs = JobLogClockUs();
    if (started.empty()) Sleep(milliseconds);  // the length of the run, not a measurement
    run.window.toUs = JobLogClockUs();
    run.stops = StopAll(members);
    return run;
}

void Print(const std::string& title, const FamilyFigures& figures, const FamilyRun& run,
           const std::vector<Member>& members) {
    std::cout << title << ", " << (run.window.toUs - run.window.fromUs) / 1000 << " ms:\n"
              << Describe(figures) << "  from the stop request to SERVICE_STOPPED (ms):";
    for (size_t i = 0; i < members.size(); ++i) {
        const StopWatch& stop = run.stops[i];
        std::cout << ' ' << (stop.stoppedUs ? (*stop.stoppedUs - stop.requestedUs) / 1000 : -1);
    }
    std::cout << std::endl;
}

// Each stop answered STOP_PENDING and ended in STOPPED, and every job of the service had
// ended by the time it was seen stopped.
void ExpectStoppedAfterTheirJobs(const std::vector<Member>& members, const FamilyRun& run,
                                 const JobLog& log) {
    for (size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(members[i].task);
        const StopWatch& stop = run.stops[i];
        EXPECT_EQ(stop.answer, static_cast<DWORD>(SERVICE_STOP_PENDING));
        ASSERT_TRUE(stop.stoppedUs) << "still " << QueryState(members[i].name).value_or(0);
        for (const Job& job : JobsOf(log, members[i].task)) {
            ASSERT_TRUE(job.endUs) << "a job that never ended";
            EXPECT_LT(*job.endUs, *stop.stoppedUs);
            EXPECT_EQ(job.result, 0u);
        }
    }
}

TEST_F(FamilyLoad, TwoServicesWithShortJobsNeverOverlap) {
    const std::vector<Member> two(Members().begin(), Members().begin() + 2);
    HandlerSettings handler(TestFile(L".jobs.log"));
    ASSERT_EQ(handler.SetDurationMs(50), ERROR_SUCCESS);
    const FamilyRun run = RunAndStop(two, 8000);

    const JobLog log = handler.ReadJobLog();
    EXPECT_TRUE(log.malformed.empty()) << handler.JobLogText();
    const FamilyFigures figures = ReadFigures(log, TasksOf(two), run.startUs, run.window);
    Print("Two services, 50 ms jobs", figures, run, two);
    EXPECT_EQ(figures.overlappingJobs, 0u);
    for (const ServiceFigures& service : figures.services) EXPECT_GE(service.jobs, 2u);
    ExpectStoppedAfterTheirJobs(two, run, log);
}

// Seven jobs of 300 ms take longer than a dispatch waits: the gate is more than full, waits
// time out and let jobs overlap.
TEST_F(FamilyLoad, EightServicesKeepRunningJobsAndStopWhileJobsRun) {
    const std::vector<Member>& members = Members();
    HandlerSettings handler(TestFile(L".jobs.log"));
    ASSERT_EQ(handler.SetDurationMs(300), ERROR_SUCCESS);
    const FamilyRun run = RunAndStop(members, 20000);

    const JobLog log = handler.ReadJobLog();
    EXPECT_TRUE(log.malformed.empty()) << handler.JobLogText();
    const FamilyFigures figures = ReadFigures(log, TasksOf(members), run.startUs, run.window);
    Print("Eight services, 300 ms jobs", figures, run, members);
    EXPECT_EQ(figures.unexplainedOverlaps, std::vector<std::string>{});
    // Every service runs jobs all through the run: in each of its quarters.
    const int64_t quarter = (run.window.toUs - run.window.fromUs) / 4;
    for (const Member& member : members) {
        for (int64_t from = run.window.fromUs; from + quarter <= run.window.toUs; from += quarter) {
            const std::vector<Job> jobs = JobsOf(log, member.task);
            EXPECT_TRUE(std::any_of(jobs.begin(), jobs.end(), [&](const Job& job) {
                return job.startUs >= from && job.startUs < from + quarter;
            })) << member.task << " ran no job from " << (from - run.window.fromUs) / 1000 << " ms";
        }
    }
    for (const ServiceFigures& service : figures.services) {
        EXPECT_EQ(service.ownOverlaps, 0u) << service.task;
    }
    ExpectStoppedAfterTheirJobs(members, run, log);
}

// While the handler lacks "Run", dispatches never touch the gate: the test can take it and
// hold it for longer than any dispatch would wait, and a stop must wait all that time.
TEST_F(FamilyLoad, StopWaitsForTheGateThatTheTestHolds) {
    const std::vector<Member>& members = Members();
    const Member& stopping = members[2];
    HandlerSettings handler(TestFile(L".jobs.log"));
    ASSERT_EQ(handler.SetDurationMs(50), ERROR_SUCCESS);
    ASSERT_EQ(StartAll(members, L"0"), "");
    ASSERT_TRUE(WaitForJobsOfAll(handler, TasksOf(members))) << handler.JobLogText();

    const EventLogTrace events;
    ASSERT_EQ(handler.SetMode(L"norun"), ERROR_SUCCESS);
    // Once each has said so, its dispatches leave the gate alone. One that began before may
    // still wait for the gate, at most 2000 ms: two deliverables share their texts, so the
    // test cannot tell when theirs are done, and gives them that long.
    ASSERT_TRUE(WaitForEachText(events, members, &ProfileResources::noRunMethod, 1))
        << events.Describe();
    Sleep(2500);
    const Handle gate(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"ObjectRunning"),
                      &CloseHandle);
    ASSERT_TRUE(gate);
    ASSERT_EQ(WaitForSingleObject(gate.get(), kHangTimeoutMs), WAIT_OBJECT_0);

    SERVICE_STATUS status{};
    ASSERT_EQ(RequestStop(stopping.name, &status), ERROR_SUCCESS);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    Sleep(3000);  // longer than a dispatch's wait; not a measurement
    EXPECT_EQ(QueryState(stopping.name), static_cast<DWORD>(SERVICE_STOP_PENDING));
    const size_t noRunsSoFar = events.Texts().size();
    ASSERT_TRUE(SetEvent(gate.get()));
    const int64_t freedUs = JobLogClockUs();
    EXPECT_TRUE(WaitForState(stopping.name, SERVICE_STOPPED));
    const int64_t stoppedUs = JobLogClockUs();
    std::cout << "Stopped " << (stoppedUs - freedUs) / 1000 << " ms after the gate came free\n";
    // The others ran on all the while.
    EXPECT_GT(events.Texts().size(), noRunsSoFar);
    for (const Member& member : members) {
        if (&member != &stopping) {
            EXPECT_EQ(QueryState(member.name), static_cast<DWORD>(SERVICE_RUNNING));
        }
    }
    // The stopped service took the gate for good: the others run jobs again only after one of
    // their dispatches has given up its wait and signalled it.
    ASSERT_EQ(handler.SetMode(L"ok"), ERROR_SUCCESS);
    const int64_t resumedUs = JobLogClockUs();
    std::vector<std::string> others;
    for (const Member& member : members) {
        if (&member != &stopping) others.push_back(member.task);
    }
    ASSERT_TRUE(WaitForJobsOfAll(handler, others, resumedUs)) << handler.JobLogText();
    const JobLog log = handler.ReadJobLog();
    const auto first = std::find_if(log.jobs.begin(), log.jobs.end(),
                                    [&](const Job& job) { return job.startUs > resumedUs; });
    ASSERT_NE(first, log.jobs.end());
    std::cout << "First job " << (first->startUs - resumedUs) / 1000
              << " ms after the handler knew \"Run\" again\n";
    EXPECT_TRUE(CanHaveTimedOut(log, others, resumedUs, {resumedUs, first->startUs}));

    const std::vector<StopWatch> stops = StopAll(members);
    for (const StopWatch& stop : stops) EXPECT_TRUE(stop.stoppedUs);
}

}  // namespace
}  // namespace e2e
