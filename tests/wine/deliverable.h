// The eight deliverables as the tests see them: files, registry places and texts, all taken
// from the generated profile table.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "profiles/job_profile.h"
#include "registry.h"

namespace e2e {

using jobsvc::ProfileResources;

const ProfileResources& Profile(std::u16string_view shortName);

std::wstring Wide(std::u16string_view text);
// The text as the deliverables write it to standard output (the ANSI code page).
std::string Ansi(std::u16string_view text);

std::wstring ExecutablePath(const ProfileResources& profile);
std::wstring AppIdKey(const ProfileResources& profile);       // below HKEY_CLASSES_ROOT
std::wstring ExeKey(const ProfileResources& profile);         // below HKEY_CLASSES_ROOT
std::wstring TypeLibKey(const ProfileResources& profile);     // below HKEY_CLASSES_ROOT: {libId}
std::wstring ServiceKey(const ProfileResources& profile);     // below HKEY_LOCAL_MACHINE
std::wstring ParametersKey(const ProfileResources& profile);  // below HKEY_LOCAL_MACHINE
std::string StartedLine(DWORD intervalMinutes);

// The registry in which a deliverable runs as a plain process: its AppID key without
// "LocalService", and its "Interval" setting. What it had to create goes with it.
class PlainProcessRegistration {
public:
    PlainProcessRegistration(const ProfileResources& profile, DWORD intervalMinutes);

    [[nodiscard]] bool Ready() const { return ready_; }

private:
    TemporaryKey appId_;
    TemporaryKey service_;
    bool ready_;
};

}  // namespace e2e
