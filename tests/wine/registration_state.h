// What registration leaves behind for one deliverable, read back through the registry and the
// service control manager; and the means to make a test start from no registration at all.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "deliverable.h"

namespace e2e {

struct RegistrationState {
    bool appIdKey = false;
    std::optional<std::wstring> appIdName;  // the AppID key's default value
    std::optional<std::wstring> localService;
    std::optional<std::wstring> serviceParameters;
    std::optional<std::wstring> exeKeyAppId;  // "AppID" of the "<shortName>.EXE" key
    std::optional<std::wstring> serviceImage;  // empty: no service entry
    std::optional<DWORD> interval;
    std::optional<std::wstring> typeLibPath;  // 1.0\0\win32

    friend bool operator==(const RegistrationState&, const RegistrationState&) = default;
};

RegistrationState ReadRegistrationState(const ProfileResources& profile);
void PrintTo(const RegistrationState& state, std::ostream* out);

// Runs `executable` with `switchText` as the last thing on its command line; the exit code,
// or empty when it did not end before the hang time-out (it is ended then).
std::optional<DWORD> RunSwitch(const std::wstring& executable, const std::wstring& switchText);

// No trace of the deliverable's registration while this lives: no service entry, AppID keys,
// type library or service key, before and after.
class Unregistered {
public:
    explicit Unregistered(const ProfileResources& profile);
    Unregistered(const Unregistered&) = delete;
    Unregistered& operator=(const Unregistered&) = delete;
    ~Unregistered();

    // Why the slate is not clean; empty when it is.
    [[nodiscard]] const std::string& Error() const { return error_; }

private:
    void Clean();

    const ProfileResources& profile_;
    std::string error_;
};

// The deliverable set up as "Service" registration leaves it, but made through the API: the
// service entry and the "LocalService" marker, and "Interval" only when one is given. All of it
// goes again with this object, a running service first.
class ServiceRegistration {
public:
    ServiceRegistration(const ProfileResources& profile, std::optional<DWORD> storedInterval);

    [[nodiscard]] const std::wstring& Name() const { return name_; }
    // Why the set-up is incomplete; empty when it is complete.
    [[nodiscard]] const std::string& Error() const { return error_; }

private:
    Unregistered slate_;
    std::wstring name_;
    std::string error_;
};

// A copy of a deliverable under another folder or file name; the file and the folders that
// had to be made go with it.
class CopiedExecutable {
public:
    CopiedExecutable(const ProfileResources& profile, const std::wstring& folder,
                     const std::wstring& fileName);
    CopiedExecutable(const CopiedExecutable&) = delete;
    CopiedExecutable& operator=(const CopiedExecutable&) = delete;
    ~CopiedExecutable();

    [[nodiscard]] const std::wstring& Path() const { return path_; }
    [[nodiscard]] bool Ready() const { return ready_; }

private:
    std::wstring path_;
    std::vector<std::wstring> createdFolders_;  // innermost last
    bool ready_ = false;
};

}  // namespace e2e
