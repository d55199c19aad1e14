// The machine-wide run gate "ObjectRunning", seen from a process that holds it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "child_process.h"
#include "deliverable.h"
#include "handler_control.h"

namespace e2e {
namespace {

TEST(RunGate, DispatchSkipsItsJobWhileTheGateIsHeldAndSignalsItAfterItsWait) {
    const ProfileResources& profile = Profile(u"Halvane");
    const std::string task = Ansi(profile.profile.taskName);
    HandlerSettings handler(TestFile(L".jobs.log"));
    PlainProcessRegistration registration(profile, 0);
    ASSERT_TRUE(registration.Ready());

    const std::unique_ptr<void, decltype(&CloseHandle)> owned(
        CreateEventW(nullptr, FALSE, TRUE, L"ObjectRunning"), &CloseHandle);
    const DWORD creation = GetLastError();
    HANDLE gate = owned.get();
    ASSERT_NE(gate, nullptr);
    ASSERT_NE(creation, static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "another process has the gate";
    ASSERT_EQ(WaitForSingleObject(gate, 0), WAIT_OBJECT_0);  // taken: only a dispatch frees it

    {
        ChildProcess service(ExecutablePath(profile), L"", TestFile(L".out.txt"));
        ASSERT_EQ(service.StartError(), "");
        EXPECT_TRUE(service.WaitForLine(StartedLine(0))) << service.Output();
        // The dispatch gives up waiting, skips its job and signals the gate all the same.
        ASSERT_EQ(WaitForSingleObject(gate, kHangTimeoutMs), WAIT_OBJECT_0);
        EXPECT_TRUE(JobsOf(handler.ReadJobLog(), task).empty()) << handler.JobLogText();

        // Handed back, the gate lets the next dispatch run its job.
        ASSERT_TRUE(SetEvent(gate));
        EXPECT_TRUE(WaitUntil([&] { return HasFinishedJob(handler.ReadJobLog(), task); }))
            << handler.JobLogText();
        EXPECT_EQ(service.OutputLines(), std::vector<std::string>{StartedLine(0)});
    }
}

}  // namespace
}  // namespace e2e
