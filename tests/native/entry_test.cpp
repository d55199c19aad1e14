// The program entry: switch scan, service-mode probe and exit codes.
#include <gtest/gtest.h>

#include "service/switches.h"
#include "sim_test.h"

namespace jobsvc {
namespace {

using testing_support::AppIdPath;
using testing_support::SimTest;
using testing_support::StartedMessage;

enum class Action { Run, RegServer, Service, UnregServer };

struct SwitchCase {
    std::u16string commandLine;  // the whole line, program path included
    Action action;
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
    *out << std::string(c.commandLine.begin(), c.commandLine.end());
}

class SwitchScanTest : public SimTest, public testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchScanTest, RecognisesAKeywordOnlyAsTheLastThingOnTheLine) {
    // Previously registered as a plain process, so that each action leaves its own trace.
    RegisterPlain(pellawin);
    sim::Process& process =
        machine.Launch(pellawin, u"", {.commandLine = GetParam().commandLine});
    machine.RunUntil([&] { return process.Exited(); }, 1000);

    const bool appIdKey = machine.KeyExists(AppIdPath(pellawin));
    const bool marker = machine.GetValue(AppIdPath(pellawin), u"LocalService").has_value();
    switch (GetParam().action) {
        case Action::Run:  // not a registration: the plain process runs on
            EXPECT_FALSE(process.Exited());
            EXPECT_EQ(process.StandardOutput().at(0), StartedMessage(60));
            break;
        case Action::RegServer:
            EXPECT_EQ(process.ExitCode(), 0);
            EXPECT_TRUE(appIdKey);
            EXPECT_FALSE(marker);
            EXPECT_TRUE(machine.KeyExists(u"HKCR\\AppID\\Pellawin.EXE"));
            break;
        case Action::Service:
            EXPECT_EQ(process.ExitCode(), 0);
            EXPECT_TRUE(marker);
            EXPECT_TRUE(machine.ServiceExists(pellawin.serviceName));
            break;
        case Action::UnregServer:
            EXPECT_EQ(process.ExitCode(), 0);
            EXPECT_FALSE(appIdKey);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SwitchScanTest,
    testing::Values(
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -RegServer", Action::RegServer},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" /regserver", Action::RegServer},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -REGSERVER", Action::RegServer},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -Service", Action::Service},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" /sErViCe", Action::Service},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" --Service", Action::Service},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -x -UnregServer", Action::UnregServer},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" /UnregServer", Action::UnregServer},
        // A '-' in the program's own path is scanned like any other.
        SwitchCase{u"C:\\tools\\-Service", Action::Service},
        SwitchCase{u"\"C:\\my-tools\\PELLAWIN.EXE\"", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\"", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -RegServer ", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -RegServer -x", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" \"-RegServer\"", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" RegServer", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -Reg", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -ServiceX", Action::Run},
        SwitchCase{u"\"C:\\Orvanta\\PELLAWIN.EXE\" -", Action::Run},
        SwitchCase{u"", Action::Run}));

class FindSwitchTest : public SimTest {};

TEST_F(FindSwitchTest, PointsPastTheFirstSeparatorOrIsNull) {
    sim::Process& process = machine.Launch(pellawin, u"", {.entry = [](ServiceModule&, ModuleHandle) {
                                                               return 0;
                                                           }});
    Module& module = process.Os().module;
    const char16_t text[] = u"a/b-c";
    EXPECT_EQ(FindSwitch(module, text, u"-/"), text + 2);
    EXPECT_EQ(FindSwitch(module, text + 2, u"-/"), text + 4);
    EXPECT_EQ(FindSwitch(module, text + 4, u"-/"), nullptr);
    EXPECT_EQ(FindSwitch(module, u"", u"-/"), nullptr);
    EXPECT_EQ(FindSwitch(module, nullptr, u"-/"), nullptr);
    EXPECT_EQ(FindSwitch(module, text, nullptr), nullptr);
    EXPECT_EQ(FindSwitch(module, text, u""), nullptr);
}

class ProbeTest : public SimTest {};

TEST_F(ProbeTest, UnregisteredDeliverableExitsWithTheOpenErrorAndWritesNothing) {
    struct Case {
        const char* name;
        std::function<void(sim::Machine&)> arrange;
        int32_t exitCode;
    };
    const Case cases[] = {
        {"no AppID key at all", [](sim::Machine&) {}, 2},
        {"AppID without the deliverable's key",
         [](sim::Machine& m) { m.CreateKey(u"HKCR\\AppID\\{00000000-0000-0000-0000-000000000000}"); }, 2},
        {"AppID not readable",
         [&](sim::Machine& m) {
             m.CreateKey(AppIdPath(pellawin));
             m.DenyAccess(u"HKCR\\AppID", KEY_READ);
         },
         5},
        {"own key not readable",
         [&](sim::Machine& m) {
             m.CreateKey(AppIdPath(pellawin));
             m.DenyAccess(AppIdPath(pellawin), KEY_READ);
         },
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine fresh;
        c.arrange(fresh);
        sim::Process& process = fresh.Launch(pellawin);
        fresh.RunUntil([&] { return process.Exited(); }, 1000);
        ASSERT_TRUE(process.Exited());
        EXPECT_EQ(process.ExitCode(), c.exitCode);
        EXPECT_TRUE(process.StandardOutput().empty());
        EXPECT_TRUE(fresh.EventTexts().empty());
        EXPECT_EQ(fresh.OpenHandleCount(), 0u);
    }
}

TEST_F(ProbeTest, LocalServiceOfAnyTypeSelectsServiceModeButTooLongDataDoesNot) {
    struct Case {
        const char* name;
        std::optional<sim::RegValue> marker;
        bool serviceMode;
    };
    const Case cases[] = {
        {"absent", std::nullopt, false},
        {"string", sim::RegValue{REG_SZ, {'P', 0, 0, 0}}, true},
        {"empty", sim::RegValue{REG_NONE, {}}, true},
        {"number", sim::RegValue{REG_DWORD, {1, 0, 0, 0}}, true},
        {"520 bytes", sim::RegValue{REG_BINARY, std::vector<uint8_t>(520, 'x')}, true},
        {"522 bytes", sim::RegValue{REG_BINARY, std::vector<uint8_t>(522, 'x')}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine fresh;
        fresh.CreateKey(AppIdPath(pellawin));
        if (c.marker) fresh.SetValue(AppIdPath(pellawin), u"LocalService", c.marker->type, c.marker->data);
        fresh.AddImage(sim::Machine::DefaultImagePath(pellawin), pellawin);
        fresh.AddServiceEntry(std::u16string(pellawin.serviceName), sim::Machine::DefaultImagePath(pellawin));
        sim::Process* process = fresh.StartService(pellawin.serviceName, {u"1"});
        ASSERT_NE(process, nullptr);
        fresh.RunFor(100);
        // Under the manager the service reports its states; as a plain process it writes to
        // standard output and reports nothing.
        EXPECT_EQ(fresh.ServiceState(pellawin.serviceName) == SERVICE_RUNNING, c.serviceMode);
        EXPECT_EQ(process->StandardOutput().empty(), c.serviceMode);
    }
}

TEST_F(ProbeTest, StartedByHandWhileMarkedAsServiceRunsAsPlainProcessWithTheSetting) {
    RegisterService(pellawin);
    SetInterval(pellawin, 5);
    sim::Process& process = machine.Launch(pellawin);
    machine.RunFor(5 * 60000);
    EXPECT_FALSE(process.Module().isService);
    EXPECT_EQ(process.StandardOutput().at(0), StartedMessage(5));
    EXPECT_EQ(machine.Jobs().size(), 1u);
    EXPECT_TRUE(machine.StatusHistory(pellawin.serviceName).empty());
}

TEST_F(ProbeTest, PlainProcessWithoutStandardOutputLosesItsMessagesOnly) {
    RegisterPlain(pellawin);
    SetInterval(pellawin, 1);
    machine.UnregisterProgId(u"Tenmoor.TenmoorHandler");
    sim::Process& process = machine.Launch(pellawin, u"", {.standardOutput = false});
    machine.RunFor(3 * 60000);
    EXPECT_TRUE(process.StandardOutput().empty());
    EXPECT_FALSE(process.Exited());
    EXPECT_TRUE(machine.EventTexts().empty());
}

}  // namespace
}  // namespace jobsvc
