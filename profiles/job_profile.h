// The constants that make one deliverable a particular job service. The string-table texts
// (service name and the three failure messages) are resources, loaded by their identifiers.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace jobsvc {

inline constexpr uint32_t IDS_SERVICENAME = 100;
inline constexpr uint32_t IDS_CREATEINSTANCEFAILED = 101;
inline constexpr uint32_t IDS_NORUNMETHOD = 102;
inline constexpr uint32_t IDS_RUNFAILED = 103;

inline constexpr uint32_t IDR_APPID = 100;  // the "REGISTRY" resource

struct JobProfile {
    std::u16string_view shortName;
    std::u16string_view taskName;
    uint32_t defaultIntervalMinutes;
    std::u16string_view appId;  // registry form: braces, upper-case hexadecimal
    Guid libId;
};

// What the resource compiler puts into each executable; the simulated machine serves the
// same texts, so native tests see what the executables carry.
struct ProfileResources {
    const JobProfile& profile;
    std::u16string_view serviceName;
    std::u16string_view createInstanceFailed;
    std::u16string_view noRunMethod;
    std::u16string_view runFailed;
    std::u16string_view typeLibName;
    std::u16string_view typeLibHelp;
    std::u16string_view fileDescription;
    std::u16string_view companyName;
    std::string_view registrationScript;  // the bytes of "REGISTRY" 100
};

// The profile this executable was built with.
const JobProfile& ThisProfile();

// All eight, in the order of the profile table (for tests and tools).
std::span<const ProfileResources> AllProfiles();

}  // namespace jobsvc
