// Several deliverables at once under the service control manager: registered with "-Service",
// started with a parameter, stopped together and watched on their way to SERVICE_STOPPED.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deliverable.h"
#include "event_log_trace.h"
#include "handler_control.h"
#include "registration_state.h"
#include "test_environment.h"

namespace e2e {

// Long enough for every member to stop one after another, each through a time-out of a
// dispatch of the others: only a hang should reach it.
inline constexpr DWORD kFamilyHangTimeoutMs = 4 * kHangTimeoutMs;

struct Member {
    const ProfileResources* profile;
    std::wstring name;  // the service's
    std::string task;
};

class RegisteredFamily {
public:
    // Each from no registration at all; all of it goes again with this object, a running
    // service first.
    explicit RegisteredFamily(const std::vector<std::u16string_view>& shortNames);
    RegisteredFamily(const RegisteredFamily&) = delete;
    RegisteredFamily& operator=(const RegisteredFamily&) = delete;

    [[nodiscard]] const std::vector<Member>& Members() const { return members_; }
    // Why the registration is incomplete; empty when it is complete.
    [[nodiscard]] const std::string& Error() const { return error_; }

private:
    std::vector<std::unique_ptr<Unregistered>> slates_;
    std::vector<Member> members_;
    std::string error_;
};

// A suite that runs the eight: registered once, by the suite's first test (whose files keep the
// registrations' output), and unregistered when the suite ends. Each test starts from a fresh
// run gate.
class FamilyTest : public testing::Test {
protected:
    static void TearDownTestSuite();
    void SetUp() override;
    static const std::vector<Member>& Members();

private:
    static std::unique_ptr<RegisteredFamily> family_;
};

// The short names of all eight, in the order of the profile table.
std::vector<std::u16string_view> AllShortNames();
std::vector<std::string> TasksOf(const std::vector<Member>& members);

// Starts each with the one start parameter and waits until all run; why not, or empty.
std::string StartAll(const std::vector<Member>& members, const std::wstring& parameter);

// Until every one of `tasks` has run a job, begun after `sinceUs`, to its end.
bool WaitForJobsOfAll(const HandlerSettings& handler, const std::vector<std::string>& tasks,
                      int64_t sinceUs = 0);

// Waits until each member can have written its own `text` (one of its profile's) `count` times:
// two deliverables share their texts, and the lines name no service.
bool WaitForEachText(const EventLogTrace& events, const std::vector<Member>& members,
                     std::u16string_view ProfileResources::*text, size_t count);

// Waits until no process has the run gate open any more (a service that has stopped may still
// be on its way out with its handle), so that the next run begins with a fresh gate.
bool WaitForNoGate();

struct StopWatch {
    DWORD answer = 0;  // the state that the service reported to the stop request
    int64_t requestedUs = 0;
    std::optional<int64_t> stoppedUs;  // when SERVICE_STOPPED was first seen; empty: never
};

// Requests a stop of every member (in their order, without waiting in between) and polls their
// states until all are stopped or the hang time-out passes. Times on the job log's clock.
std::vector<StopWatch> StopAll(const std::vector<Member>& members);

}  // namespace e2e
