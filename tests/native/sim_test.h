// A simulated machine per test, and the few steps that most tests share.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/constants.h"
#include "platform/sim/machine.h"
#include "profiles/job_profile.h"
#include "service/service_module.h"

namespace jobsvc::testing_support {

inline const ProfileResources& Profile(std::u16string_view shortName) {
    return sim::Machine::Profile(shortName);
}

inline std::u16string AppIdPath(const ProfileResources& profile) {
    return u"HKCR\\AppID\\" + std::u16string(profile.profile.appId);
}

inline std::u16string ParametersPath(const ProfileResources& profile) {
    return u"HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + std::u16string(profile.serviceName) +
           u"\\Parameters";
}

inline std::u16string StartedMessage(uint32_t minutes) {
    std::u16string text = u"Service started with interval(minutes): ";
    for (char c : std::to_string(minutes)) text += static_cast<char16_t>(c);
    return text;
}

class SimTest : public testing::Test {
protected:
    const ProfileResources& pellawin = Profile(u"Pellawin");
    const ProfileResources& corvasse = Profile(u"Corvasse");
    const ProfileResources& halvane = Profile(u"Halvane");

    // Registered with "RegServer": runs as a plain process.
    void RegisterPlain(const ProfileResources& profile) { machine.CreateKey(AppIdPath(profile)); }

    // Registered with "Service", as far as a start needs: the marker and the service entry.
    void RegisterService(const ProfileResources& profile) {
        machine.SetString(AppIdPath(profile), u"LocalService", profile.profile.shortName);
        machine.AddImage(sim::Machine::DefaultImagePath(profile), profile);
        machine.AddServiceEntry(std::u16string(profile.serviceName),
                                sim::Machine::DefaultImagePath(profile));
    }

    void SetInterval(const ProfileResources& profile, uint32_t minutes) {
        machine.SetDword(ParametersPath(profile), u"Interval", minutes);
    }

    sim::Process& LaunchPlain(const ProfileResources& profile, uint32_t minutes) {
        RegisterPlain(profile);
        SetInterval(profile, minutes);
        return machine.Launch(profile);
    }

    sim::Process& StartService(const ProfileResources& profile,
                               std::vector<std::u16string> args = {}) {
        sim::Process* process = machine.StartService(profile.serviceName, std::move(args));
        EXPECT_NE(process, nullptr);
        return *process;
    }

    bool WaitForState(const ProfileResources& profile, uint32_t state, uint64_t maxMs = 60000) {
        return machine.RunUntil([&] { return machine.ServiceState(profile.serviceName) == state; },
                                maxMs);
    }

    std::vector<std::u16string> JobTasks() const {
        std::vector<std::u16string> tasks;
        for (const sim::JobRecord& job : machine.Jobs()) tasks.push_back(job.task);
        return tasks;
    }

    sim::Machine machine;
};

}  // namespace jobsvc::testing_support
