// The deliverable's own service entry: find, create and delete it, and the message boxes.
#include <gtest/gtest.h>

#include "sim_test.h"

namespace jobsvc {
namespace {

using testing_support::SimTest;

enum class Operation { IsInstalled, Install, Uninstall };

class ServiceEntryTest : public SimTest {
protected:
    // Runs one operation in a process of its own, as a registration action would.
    bool Call(Operation operation, sim::LaunchOptions options = {}) {
        bool result = false;
        options.entry = [&](ServiceModule& module, ModuleHandle instance) {
            module.Init(instance, IDS_SERVICENAME, nullptr);
            result = operation == Operation::IsInstalled ? module.IsInstalled()
                     : operation == Operation::Install   ? module.Install()
                                                         : module.Uninstall();
            lastEntryError = module.lastEntryError;
            return 0;
        };
        sim::Process& process = machine.Launch(pellawin, u"", std::move(options));
        EXPECT_TRUE(process.Exited());
        EXPECT_EQ(machine.OpenHandles().scHandles, 0u);
        return result;
    }

    std::vector<std::u16string> BoxTexts() const {
        std::vector<std::u16string> texts;
        for (const sim::MessageBoxRecord& box : machine.MessageBoxes()) {
            EXPECT_EQ(box.caption, pellawin.serviceName);
            EXPECT_EQ(box.style, MB_OK);
            texts.push_back(box.text);
        }
        return texts;
    }

    void AddEntry(std::u16string binaryPath = u"C:\\Other\\OTHER.EXE") {
        machine.AddServiceEntry(std::u16string(pellawin.serviceName), std::move(binaryPath));
    }

    Win32Error lastEntryError = 0;
};

TEST_F(ServiceEntryTest, InstallCreatesTheEntryExactlyAndLeavesItStopped) {
    EXPECT_FALSE(Call(Operation::IsInstalled));
    ASSERT_TRUE(Call(Operation::Install, {.imagePath = u"C:\\Orvanta\\PELLAWIN.EXE"}));
    EXPECT_TRUE(Call(Operation::IsInstalled));

    const auto config = machine.ServiceConfig(pellawin.serviceName);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->serviceName, pellawin.serviceName);
    EXPECT_EQ(config->displayName, pellawin.serviceName);
    EXPECT_EQ(config->desiredAccess, SERVICE_ALL_ACCESS);
    EXPECT_EQ(config->serviceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(config->startType, SERVICE_DEMAND_START);
    EXPECT_EQ(config->errorControl, SERVICE_ERROR_NORMAL);
    EXPECT_EQ(config->binaryPath, u"C:\\Orvanta\\PELLAWIN.EXE");
    EXPECT_FALSE(config->loadOrderGroup.has_value());
    EXPECT_FALSE(config->tagRequested);
    EXPECT_EQ(config->dependencies, std::u16string(u"RPCSS\0\0", 7));
    EXPECT_FALSE(config->account.has_value());
    EXPECT_FALSE(config->password.has_value());
    EXPECT_EQ(machine.ServiceState(pellawin.serviceName), SERVICE_STOPPED);
    EXPECT_TRUE(machine.MessageBoxes().empty());
    // Each operation closes the service handle before the manager's.
    const auto& closes = machine.ScCloseLog();
    ASSERT_GE(closes.size(), 2u);
    EXPECT_EQ(closes[closes.size() - 2], u"service:" + std::u16string(pellawin.serviceName));
    EXPECT_EQ(closes.back(), u"manager");
}

TEST_F(ServiceEntryTest, PathWithABlankIsQuotedSoNoPrefixOfItCanBeRun) {
    ASSERT_TRUE(Call(Operation::Install, {.imagePath = u"C:\\Program Files\\Orvanta\\PELLAWIN.EXE"}));
    EXPECT_EQ(machine.ServiceConfig(pellawin.serviceName)->binaryPath,
              u"\"C:\\Program Files\\Orvanta\\PELLAWIN.EXE\"");
}

TEST_F(ServiceEntryTest, PathThatDoesNotFitIsNotInstalledCut) {
    const std::u16string longPath = u"C:\\" + std::u16string(300, u'd') + u"\\PELLAWIN.EXE";
    EXPECT_FALSE(Call(Operation::Install, {.imagePath = longPath}));
    EXPECT_FALSE(machine.ServiceExists(pellawin.serviceName));
    EXPECT_EQ(BoxTexts(), std::vector<std::u16string>{u"Couldn't create service"});
}

TEST_F(ServiceEntryTest, InstallOverAnExistingEntryChangesNothing) {
    AddEntry();
    EXPECT_TRUE(Call(Operation::Install));
    EXPECT_EQ(machine.ServiceConfig(pellawin.serviceName)->binaryPath, u"C:\\Other\\OTHER.EXE");
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST_F(ServiceEntryTest, UninstallWithoutAnEntryShowsNothing) {
    EXPECT_TRUE(Call(Operation::Uninstall));
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

TEST_F(ServiceEntryTest, UninstallAsksARunningServiceToStopAndDeletesAtOnce) {
    RegisterService(pellawin);
    sim::Process& service = StartService(pellawin, {u"60"});
    ASSERT_TRUE(WaitForState(pellawin, SERVICE_RUNNING));

    ASSERT_TRUE(Call(Operation::Uninstall));
    EXPECT_FALSE(machine.ServiceExists(pellawin.serviceName));
    ASSERT_FALSE(machine.Controls().empty());
    EXPECT_EQ(machine.Controls().back().control, SERVICE_CONTROL_STOP);
    EXPECT_TRUE(machine.Controls().back().delivered);
    EXPECT_TRUE(machine.RunUntil([&] { return service.Exited(); }, 60000));
}

TEST_F(ServiceEntryTest, UninstallOfAStoppedServiceIgnoresTheRefusedStop) {
    AddEntry();
    EXPECT_TRUE(Call(Operation::Uninstall));
    EXPECT_FALSE(machine.ServiceExists(pellawin.serviceName));
    EXPECT_TRUE(machine.MessageBoxes().empty());
}

struct FailureRow {
    const char* name;
    sim::Fault sim::Faults::*fault;
    uint32_t accessMask;  // 0: every request
    Operation operation;
    bool entryBefore;
    bool result;
    std::vector<std::u16string> boxes;
    bool entryAfter;
};

void PrintTo(const FailureRow& row, std::ostream* out) { *out << row.name; }

class ServiceEntryFailureTest : public ServiceEntryTest,
                                public testing::WithParamInterface<FailureRow> {};

TEST_P(ServiceEntryFailureTest, ShowsItsBoxAndReturnsItsResult) {
    const FailureRow& row = GetParam();
    if (row.entryBefore) AddEntry();
    sim::Fault& fault = machine.Inject().*row.fault;
    fault.Always().WithError(ERROR_ACCESS_DENIED);
    if (row.accessMask != 0) fault.ForAccess(row.accessMask);

    EXPECT_EQ(Call(row.operation), row.result);
    EXPECT_EQ(BoxTexts(), row.boxes);
    EXPECT_EQ(machine.ServiceExists(pellawin.serviceName), row.entryAfter);
    if (!row.result) {
        EXPECT_EQ(lastEntryError, ERROR_ACCESS_DENIED);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServiceEntryFailureTest,
    testing::Values(
        FailureRow{"InstallWithoutManager", &sim::Faults::openManager, SC_MANAGER_ALL_ACCESS,
                   Operation::Install, false, false, {u"Couldn't open service manager"}, false},
        // Without the manager nothing reads as installed: there is nothing to remove.
        FailureRow{"UninstallWithoutManager", &sim::Faults::openManager, SC_MANAGER_ALL_ACCESS,
                   Operation::Uninstall, true, true, {}, true},
        FailureRow{"CreationRefused", &sim::Faults::createService, 0, Operation::Install, false,
                   false, {u"Couldn't create service"}, false},
        FailureRow{"OpenForStopAndDeleteRefused", &sim::Faults::openService,
                   SERVICE_STOP | DELETE, Operation::Uninstall, true, false,
                   {u"Couldn't open service"}, true},
        FailureRow{"DeletionRefused", &sim::Faults::deleteService, 0, Operation::Uninstall, true,
                   false, {u"Service could not be deleted"}, true}),
    [](const testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

TEST_F(ServiceEntryTest, RefusedDeletionStillClosesServiceBeforeManager) {
    AddEntry();
    machine.Inject().deleteService.Always();
    EXPECT_FALSE(Call(Operation::Uninstall));
    const auto& closes = machine.ScCloseLog();
    ASSERT_GE(closes.size(), 2u);
    EXPECT_EQ(closes[closes.size() - 2], u"service:" + std::u16string(pellawin.serviceName));
    EXPECT_EQ(closes.back(), u"manager");
}

}  // namespace
}  // namespace jobsvc
