// The three registration switches of every deliverable: what each leaves in the registry, the
// service control manager and the type library registration, and how a start without a
// switch runs afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

#include "child_process.h"
#include "deliverable.h"
#include "registration_state.h"
#include "registry.h"
#include "service_control.h"
#include "event_log_trace.h"

namespace e2e {
namespace {

// Both separators and several letter cases; deliverable i takes spelling i % 4.
constexpr const wchar_t* kRegServer[] = {L"-RegServer", L"/regserver", L"-REGSERVER",
                                         L"/rEgSeRvEr"};
constexpr const wchar_t* kService[] = {L"/Service", L"-service", L"/SERVICE", L"-SeRvIcE"};
constexpr const wchar_t* kUnregServer[] = {L"-UnregServer", L"/unregserver", L"/UNREGSERVER",
                                           L"-uNrEgSeRvEr"};

// The service entry quotes a path with a blank.
std::wstring Image(const std::wstring& path) {
    return path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"";
}

RegistrationState AfterRegServer(const ProfileResources& profile, const std::wstring& path) {
    RegistrationState state;
    state.appIdKey = true;
    state.appIdName = Wide(profile.profile.shortName);
    state.exeKeyAppId = Wide(profile.profile.appId);
    state.typeLibPath = path;
    return state;
}

RegistrationState AfterService(const ProfileResources& profile, const std::wstring& path) {
    RegistrationState state = AfterRegServer(profile, path);
    state.localService = Wide(profile.profile.shortName);
    state.serviceParameters = L"-Service";
    state.serviceImage = Image(path);
    state.interval = profile.profile.defaultIntervalMinutes;
    return state;
}

// Started by hand, the deliverable runs its loop as a plain process with its stored interval.
void ExpectPlainProcess(const ProfileResources& profile) {
    const std::string started = StartedLine(profile.profile.defaultIntervalMinutes);
    ChildProcess process(ExecutablePath(profile), L"", TestFile(L".plain.out.txt"));
    ASSERT_EQ(process.StartError(), "");
    EXPECT_TRUE(process.WaitForLine(started)) << process.Output();
    process.Terminate();
    EXPECT_EQ(process.OutputLines(), std::vector<std::string>{started});
}

class RegistrationSwitches : public testing::TestWithParam<size_t> {};

TEST_P(RegistrationSwitches, LeaveTheStatesOfTheirTableAndChooseTheRunMode) {
    const ProfileResources& profile = jobsvc::AllProfiles()[GetParam()];
    const size_t spelling = GetParam() % std::size(kRegServer);
    const std::wstring path = ExecutablePath(profile);
    const std::wstring name = Wide(profile.serviceName);
    const std::wstring typeLib = TypeLibKey(profile) + L"\\1.0";
    const Unregistered slate(profile);
    ASSERT_EQ(slate.Error(), "");
    // An entry from before, which "RegServer" removes.
    ASSERT_EQ(CreateServiceEntry(name, L"\"" + path + L"\""), ERROR_SUCCESS);

    SCOPED_TRACE(testing::Message() << "switches " << testing::PrintToString(kRegServer[spelling])
                                    << ", " << testing::PrintToString(kService[spelling]) << ", "
                                    << testing::PrintToString(kUnregServer[spelling]));
    ASSERT_EQ(RunSwitch(path, kRegServer[spelling]), 0u);
    EXPECT_EQ(ReadRegistrationState(profile), AfterRegServer(profile, path));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, typeLib, nullptr), Wide(profile.typeLibHelp));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    ExpectPlainProcess(profile);

    ASSERT_EQ(RunSwitch(path, kService[spelling]), 0u);
    EXPECT_EQ(ReadRegistrationState(profile), AfterService(profile, path));
    EXPECT_EQ(QueryState(name), static_cast<DWORD>(SERVICE_STOPPED));
    {
        const EventLogTrace events;
        ASSERT_EQ(StartWithParameters(name, {}), ERROR_SUCCESS);
        EXPECT_TRUE(WaitForState(name, SERVICE_RUNNING));
        EXPECT_TRUE(events.WaitForText(StartedLine(profile.profile.defaultIntervalMinutes)))
            << events.Describe();
        ASSERT_EQ(RequestStop(name), ERROR_SUCCESS);
        ASSERT_TRUE(WaitForState(name, SERVICE_STOPPED));
    }
    ExpectPlainProcess(profile);

    ASSERT_EQ(RunSwitch(path, kUnregServer[spelling]), 0u);
    EXPECT_EQ(ReadRegistrationState(profile), RegistrationState{});
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, typeLib));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    EXPECT_EQ(QueryState(name), std::nullopt);
    ChildProcess unregistered(path, L"", TestFile(L".unregistered.out.txt"));
    ASSERT_TRUE(unregistered.WaitForExit());
    EXPECT_EQ(unregistered.ExitCode(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(unregistered.Output(), "");
}

INSTANTIATE_TEST_SUITE_P(EightDeliverables, RegistrationSwitches,
                         testing::Range<size_t>(0, jobsvc::AllProfiles().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return Ansi(jobsvc::AllProfiles()[info.param].profile.shortName);
                         });

TEST(Registration, EachDeliverableTouchesOnlyItsOwnEntries) {
    const std::span<const ProfileResources> profiles = jobsvc::AllProfiles();
    std::vector<std::unique_ptr<Unregistered>> slates;
    for (const ProfileResources& profile : profiles) {
        slates.push_back(std::make_unique<Unregistered>(profile));
        ASSERT_EQ(slates.back()->Error(), "");
    }
    std::vector<RegistrationState> registered;
    for (size_t i = 0; i < profiles.size(); ++i) {
        ASSERT_EQ(RunSwitch(ExecutablePath(profiles[i]), L"-Service"), 0u);
        registered.push_back(ReadRegistrationState(profiles[i]));
        EXPECT_EQ(registered[i], AfterService(profiles[i], ExecutablePath(profiles[i])));
        for (size_t j = 0; j < i; ++j) {
            EXPECT_EQ(ReadRegistrationState(profiles[j]), registered[j])
                << "after registering " << Ansi(profiles[i].profile.shortName);
        }
    }
    for (size_t i = 0; i < profiles.size(); ++i) {
        ASSERT_EQ(RunSwitch(ExecutablePath(profiles[i]), L"-UnregServer"), 0u);
        EXPECT_EQ(ReadRegistrationState(profiles[i]), RegistrationState{});
        for (size_t j = i + 1; j < profiles.size(); ++j) {
            EXPECT_EQ(ReadRegistrationState(profiles[j]), registered[j])
                << "after unregistering " << Ansi(profiles[i].profile.shortName);
        }
    }
}

TEST(Registration, RenamedExecutableKeepsItsKeyNameAndRegistersItsRealPath) {
    const ProfileResources& profile = Profile(u"Pellawin");
    const CopiedExecutable copy(profile, L"C:\\JobServicesTest\\Renamed", L"other.exe");
    ASSERT_TRUE(copy.Ready());
    const Unregistered slate(profile);
    ASSERT_EQ(slate.Error(), "");

    ASSERT_EQ(RunSwitch(copy.Path(), L"-Service"), 0u);
    EXPECT_EQ(ReadRegistrationState(profile), AfterService(profile, copy.Path()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\other.exe"));

    ASSERT_EQ(RunSwitch(copy.Path(), L"-UnregServer"), 0u);
    EXPECT_EQ(ReadRegistrationState(profile), RegistrationState{});
}

}  // namespace
}  // namespace e2e
