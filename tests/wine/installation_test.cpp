// "-Service" and "-UnregServer" as they meet the service control manager: the entry's fixed
// configuration, the quoting of its path, the removal of a running service, and a refusal.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "child_process.h"
#include "deliverable.h"
#include "message_boxes.h"
#include "registration_state.h"
#include "registry.h"
#include "service_control.h"

namespace e2e {
namespace {

struct FolderCase {
    const char* name;
    const wchar_t* folder;
    bool quoted;
};

class InstallationFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(InstallationFolder, EntryHasTheFixedConfigurationAndTheExecutablesPath) {
    const FolderCase& c = GetParam();
    const ProfileResources& profile = Profile(u"Pellawin");
    const std::wstring name = Wide(profile.serviceName);
    const CopiedExecutable copy(profile, c.folder, L"PELLAWIN.EXE");
    ASSERT_TRUE(copy.Ready());
    const Unregistered slate(profile);
    ASSERT_EQ(slate.Error(), "");
    const std::wstring image = c.quoted ? L"\"" + copy.Path() + L"\"" : copy.Path();

    ASSERT_EQ(RunSwitch(copy.Path(), L"-Service"), 0u);

    const std::optional<ServiceConfig> config = QueryConfig(name);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->startType, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(config->errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(config->loadOrderGroup, L"");
    EXPECT_EQ(config->account, L"LocalSystem");
    EXPECT_EQ(config->displayName, name);
    EXPECT_EQ(config->binaryPath, image);
    // Wine stores the dependency (read below) but does not report it here.
    if (!RunningUnderWine()) {
        EXPECT_EQ(config->dependencies, std::vector<std::wstring>{L"RPCSS"});
    }
    const std::wstring key = ServiceKey(profile);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"ImagePath"), image);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, key, L"Type"), SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, key, L"Start"), SERVICE_DEMAND_START);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, key, L"ErrorControl"), SERVICE_ERROR_NORMAL);
    EXPECT_EQ(ReadMultiString(HKEY_LOCAL_MACHINE, key, L"DependOnService"),
              std::vector<std::wstring>{L"RPCSS"});
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"ObjectName"), L"LocalSystem");
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, key, L"Group"));
    EXPECT_EQ(QueryState(name), static_cast<DWORD>(SERVICE_STOPPED));

    // The stored path is one the manager can start.
    ASSERT_EQ(StartWithParameters(name, {L"30"}), ERROR_SUCCESS);
    EXPECT_TRUE(WaitForState(name, SERVICE_RUNNING));
    ASSERT_EQ(RunSwitch(copy.Path(), L"-UnregServer"), 0u);
    EXPECT_TRUE(WaitForRemoval(name));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, InstallationFolder,
    testing::Values(FolderCase{"WithoutSpace", L"C:\\JobServicesTest\\Plain", false},
                    FolderCase{"WithSpace", L"C:\\Program Files\\Orvanta Test", true}),
    [](const testing::TestParamInfo<FolderCase>& info) { return info.param.name; });

TEST(Installation, UnregServerStopsTheRunningServiceAndDeletesItsEntry) {
    const ProfileResources& profile = Profile(u"Corvasse");
    const std::wstring name = Wide(profile.serviceName);
    const Unregistered slate(profile);
    ASSERT_EQ(slate.Error(), "");
    ASSERT_EQ(RunSwitch(ExecutablePath(profile), L"-Service"), 0u);
    ASSERT_EQ(StartWithParameters(name, {L"30"}), ERROR_SUCCESS);
    ASSERT_TRUE(WaitForState(name, SERVICE_RUNNING));
    const std::optional<DWORD> processId = ProcessIdOf(name);
    ASSERT_TRUE(processId);
    const std::unique_ptr<void, decltype(&CloseHandle)> process(
        OpenProcess(SYNCHRONIZE, FALSE, *processId), &CloseHandle);
    ASSERT_NE(process.get(), nullptr);

    ASSERT_EQ(RunSwitch(ExecutablePath(profile), L"-UnregServer"), 0u);
    EXPECT_EQ(WaitForSingleObject(process.get(), kHangTimeoutMs), WAIT_OBJECT_0);
    EXPECT_TRUE(WaitForRemoval(name));
}

// Our decision: a "Service" registration whose entry cannot be made fails visibly, with the
// manager's error as exit code, besides the message box.
TEST(Installation, ServiceExitsWithTheManagersErrorWhenTheEntryCannotBeCreated) {
    const ProfileResources& profile = Profile(u"Drimmond");
    const std::wstring name = Wide(profile.serviceName);
    const std::wstring other = L"JobServicesTest Same Display Name";
    const Unregistered slate(profile);
    ASSERT_EQ(slate.Error(), "");
    const struct Removal {
        const std::wstring& name;
        ~Removal() { (void)RemoveService(name); }
    } removal{other};
    ASSERT_EQ(RemoveService(other), ERROR_SUCCESS);  // left by an interrupted run
    ASSERT_EQ(CreateServiceEntry(other, L"\"" + ProbePath() + L"\"", name), ERROR_SUCCESS);

    const AnsweredRun registration = RunAnsweringMessageBoxes(ExecutablePath(profile), L"-Service");
    ASSERT_EQ(registration.error, "");
    EXPECT_EQ(registration.exitCode, static_cast<DWORD>(ERROR_DUPLICATE_SERVICE_NAME));
    EXPECT_EQ(registration.boxes,
              (std::vector<MessageBoxCall>{{name, L"Couldn't create service", MB_OK}}));
    EXPECT_EQ(QueryState(name), std::nullopt);
    // The rest of the registration went ahead.
    const RegistrationState state = ReadRegistrationState(profile);
    EXPECT_EQ(state.localService, Wide(profile.profile.shortName));
    EXPECT_EQ(state.typeLibPath, ExecutablePath(profile));
}

}  // namespace
}  // namespace e2e
