#include "family.h"

#include <algorithm>

#include "child_process.h"
#include "job_figures.h"
#include "service_control.h"

namespace e2e {

RegisteredFamily::RegisteredFamily(const std::vector<std::u16string_view>& shortNames) {
    for (std::u16string_view shortName : shortNames) {
        const ProfileResources& profile = Profile(shortName);
        slates_.push_back(std::make_unique<Unregistered>(profile));
        members_.push_back({&profile, Wide(profile.serviceName), Ansi(profile.profile.taskName)});
        const std::string what = Ansi(shortName);
        if (!slates_.back()->Error().empty() && error_.empty()) {
            error_ = what + ": " + slates_.back()->Error();
        }
        const std::optional<DWORD> exitCode = RunSwitch(ExecutablePath(profile), L"-Service");
        if (exitCode != 0u && error_.empty()) {
            error_ = what + " -Service: " +
                     (exitCode ? "exit code " + std::to_string(*exitCode) : "no exit");
        }
    }
}

std::unique_ptr<RegisteredFamily> FamilyTest::family_;

void FamilyTest::TearDownTestSuite() { family_.reset(); }

void FamilyTest::SetUp() {
    if (!family_) family_ = std::make_unique<RegisteredFamily>(AllShortNames());
    ASSERT_EQ(family_->Error(), "");
    ASSERT_TRUE(WaitForNoGate());
}

const std::vector<Member>& FamilyTest::Members() { return family_->Members(); }

std::vector<std::u16string_view> AllShortNames() {
    std::vector<std::u16string_view> names;
    for (const ProfileResources& profile : jobsvc::AllProfiles()) {
        names.push_back(profile.profile.shortName);
    }
    return names;
}

std::vector<std::string> TasksOf(const std::vector<Member>& members) {
    std::vector<std::string> tasks;
    for (const Member& member : members) tasks.push_back(member.task);
    return tasks;
}

std::string StartAll(const std::vector<Member>& members, const std::wstring& parameter) {
    for (const Member& member : members) {
        const DWORD status = StartWithParameters(member.name, {parameter});
        if (status != ERROR_SUCCESS) {
            return member.task + ": start failed, error " + std::to_string(status);
        }
    }
    for (const Member& member : members) {
        if (!WaitForState(member.name, SERVICE_RUNNING)) return member.task + ": not running";
    }
    return {};
}

bool WaitForJobsOfAll(const HandlerSettings& handler, const std::vector<std::string>& tasks,
                      int64_t sinceUs) {
    return WaitUntil([&] {
        const JobLog log = handler.ReadJobLog();
        return std::all_of(tasks.begin(), tasks.end(), [&](const std::string& task) {
            const std::vector<Job> jobs = JobsOf(log, task);
            return std::any_of(jobs.begin(), jobs.end(),
                               [&](const Job& job) { return job.startUs > sinceUs && job.endUs; });
        });
    });
}

bool WaitForEachText(const EventLogTrace& events, const std::vector<Member>& members,
                     std::u16string_view ProfileResources::*text, size_t count) {
    for (const Member& member : members) {
        const size_t sharing = std::count_if(members.begin(), members.end(), [&](const Member& m) {
            return m.profile->*text == member.profile->*text;
        });
        if (!events.WaitForText(Ansi(member.profile->*text), sharing * count)) return false;
    }
    return true;
}

bool WaitForNoGate() {
    return WaitUntil([] {
        const HANDLE gate = OpenEventW(SYNCHRONIZE, FALSE, L"ObjectRunning");
        if (gate == nullptr) return true;
        CloseHandle(gate);
        return false;
    });
}

std::vector<StopWatch> StopAll(const std::vector<Member>& members) {
    std::vector<StopWatch> watches(members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        SERVICE_STATUS status{};
        watches[i].requestedUs = JobLogClockUs();
        if (RequestStop(members[i].name, &status) == ERROR_SUCCESS) {
            watches[i].answer = status.dwCurrentState;
        }
    }
    (void)WaitUntil(
        [&] {
            bool all = true;
            for (size_t i = 0; i < members.size(); ++i) {
                if (watches[i].stoppedUs) continue;
                if (QueryState(members[i].name) == static_cast<DWORD>(SERVICE_STOPPED)) {
                    watches[i].stoppedUs = JobLogClockUs();
                } else {
                    all = false;
                }
            }
            return all;
        },
        kFamilyHangTimeoutMs);
    return watches;
}

}  // namespace e2e
