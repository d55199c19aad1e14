// The registration switches: what "RegServer", "Service" and "UnregServer" leave behind, and
// how they fail.
#include <gtest/gtest.h>

#include <cstdio>

#include "sim_test.h"

namespace jobsvc {
namespace {

using testing_support::AppIdPath;
using testing_support::ParametersPath;
using testing_support::SimTest;

std::u16string GuidText(const Guid& guid) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.data1, guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2],
                  guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    return std::u16string(text, text + 38);
}

std::u16string TypeLibPath(const ProfileResources& profile) {
    return u"HKCR\\TypeLib\\" + GuidText(profile.profile.libId) + u"\\1.0";
}

std::u16string ExeKeyPath(const ProfileResources& profile) {
    return u"HKCR\\AppID\\" + std::u16string(profile.profile.shortName) + u".EXE";
}

class RegistrationTest : public SimTest {
protected:
    int32_t Run(const ProfileResources& profile, std::u16string_view switchText,
                sim::LaunchOptions options = {}) {
        sim::Process& process = machine.Launch(profile, std::u16string(switchText), std::move(options));
        EXPECT_TRUE(machine.RunUntil([&] { return process.Exited(); }, 60000));
        EXPECT_EQ(process.ComBalance(), 0);
        EXPECT_TRUE(process.StandardOutput().empty());
        return process.ExitCode();
    }

    // The rows of the state table that every action decides.
    struct State {
        bool appIdKey;
        std::optional<std::u16string> localService;
        std::optional<std::u16string> serviceParameters;
        bool exeKey;
        bool serviceEntry;
        std::optional<uint32_t> interval;
        bool typeLib;
        friend bool operator==(const State&, const State&) = default;
        friend void PrintTo(const State& s, std::ostream* out) {
            auto text = [](const std::optional<std::u16string>& v) {
                return v ? std::string(v->begin(), v->end()) : std::string("-");
            };
            *out << "{appId " << s.appIdKey << ", LocalService " << text(s.localService)
                 << ", ServiceParameters " << text(s.serviceParameters) << ", exe "
                 << s.exeKey << ", entry " << s.serviceEntry << ", interval "
                 << (s.interval ? std::to_string(*s.interval) : "-") << ", typelib "
                 << s.typeLib << "}";
        }
    };

    State StateOf(const ProfileResources& profile) const {
        return State{machine.KeyExists(AppIdPath(profile)),
                     machine.GetString(AppIdPath(profile), u"LocalService"),
                     machine.GetString(AppIdPath(profile), u"ServiceParameters"),
                     machine.KeyExists(ExeKeyPath(profile)),
                     machine.ServiceExists(profile.serviceName),
                     machine.GetDword(ParametersPath(profile), u"Interval"),
                     machine.KeyExists(TypeLibPath(profile))};
    }
};

TEST_F(RegistrationTest, EachSwitchLeavesItsState) {
    const State afterRegServer{true, std::nullopt, std::nullopt, true, false, std::nullopt, true};
    const State afterService{true, u"Halvane", u"-Service", true, true, 1440, true};
    // Deleting the service entry takes its registry key, Parameters included, with it.
    const State afterUnregServer{false, std::nullopt, std::nullopt, false, false, std::nullopt,
                                 false};

    EXPECT_EQ(Run(halvane, u"-RegServer"), 0);
    EXPECT_EQ(StateOf(halvane), afterRegServer);
    EXPECT_EQ(machine.GetString(AppIdPath(halvane), u""), u"Halvane");
    EXPECT_EQ(machine.GetString(ExeKeyPath(halvane), u"AppID"),
              std::u16string(halvane.profile.appId));
    EXPECT_EQ(machine.GetString(TypeLibPath(halvane), u""), u"Halvane 1.0 Type Library");
    EXPECT_EQ(machine.GetString(TypeLibPath(halvane) + u"\\0\\win32", u""),
              sim::Machine::DefaultImagePath(halvane));

    EXPECT_EQ(Run(halvane, u"-Service"), 0);
    EXPECT_EQ(StateOf(halvane), afterService);
    // Stored with the terminator: twice the length plus two bytes.
    EXPECT_EQ(machine.GetValue(AppIdPath(halvane), u"LocalService")->data.size(), 7u * 2 + 2);

    EXPECT_EQ(Run(halvane, u"-UnregServer"), 0);
    EXPECT_EQ(StateOf(halvane), afterUnregServer);
    EXPECT_TRUE(machine.KeyExists(u"HKCR\\AppID"));  // NoRemove
    EXPECT_TRUE(machine.MessageBoxes().empty());
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST_F(RegistrationTest, ServiceTwiceRecreatesTheEntryAndRestoresTheDefaultInterval) {
    ASSERT_EQ(Run(pellawin, u"-Service"), 0);
    SetInterval(pellawin, 5);
    machine.SetString(AppIdPath(pellawin), u"ServiceParameters", u"changed");
    ASSERT_EQ(Run(pellawin, u"/service"), 0);
    EXPECT_EQ(machine.GetDword(ParametersPath(pellawin), u"Interval"), 60u);
    EXPECT_EQ(machine.GetString(AppIdPath(pellawin), u"ServiceParameters"), u"-Service");
    EXPECT_TRUE(machine.ServiceExists(pellawin.serviceName));
}

TEST_F(RegistrationTest, RegServerAfterServiceRemovesTheServiceButKeepsItsParameters) {
    ASSERT_EQ(Run(pellawin, u"-Service"), 0);
    ASSERT_EQ(Run(pellawin, u"-RegServer"), 0);
    EXPECT_FALSE(machine.ServiceExists(pellawin.serviceName));
    EXPECT_FALSE(machine.GetValue(AppIdPath(pellawin), u"LocalService").has_value());
    EXPECT_EQ(machine.GetString(AppIdPath(pellawin), u"ServiceParameters"), u"-Service");
    EXPECT_TRUE(machine.KeyExists(TypeLibPath(pellawin)));

    sim::Process& plain = machine.Launch(pellawin);  // now runs as a plain process
    EXPECT_FALSE(plain.Module().isService);
    EXPECT_FALSE(plain.StandardOutput().empty());
}

TEST_F(RegistrationTest, UnregServerWithNothingRegisteredSucceedsQuietly) {
    EXPECT_EQ(Run(pellawin, u"-UnregServer"), 0);
    EXPECT_TRUE(machine.MessageBoxes().empty());
    EXPECT_EQ(machine.Launch(pellawin).ExitCode(), 2);
}

TEST_F(RegistrationTest, RegisteringOneDeliverableLeavesTheOthersAlone) {
    ASSERT_EQ(Run(corvasse, u"-Service"), 0);
    const State corvasseBefore = StateOf(corvasse);
    ASSERT_EQ(Run(pellawin, u"-Service"), 0);
    ASSERT_EQ(Run(pellawin, u"-UnregServer"), 0);
    EXPECT_EQ(StateOf(corvasse), corvasseBefore);
    EXPECT_TRUE(corvasseBefore.serviceEntry && corvasseBefore.typeLib);
}

TEST_F(RegistrationTest, RenamedExecutableRegistersItsOwnNameButItsRealPath) {
    const std::u16string path = u"C:\\Tools\\renamed.exe";
    ASSERT_EQ(Run(pellawin, u"-Service", {.imagePath = path}), 0);
    EXPECT_TRUE(machine.KeyExists(u"HKCR\\AppID\\Pellawin.EXE"));
    EXPECT_EQ(machine.ServiceConfig(pellawin.serviceName)->binaryPath, path);
    EXPECT_EQ(machine.GetString(TypeLibPath(pellawin) + u"\\0\\win32", u""), path);
}

TEST_F(RegistrationTest, TypeLibraryFileBesideTheExecutableStandsInForTheResource) {
    machine.AddTypeLibFile(u"C:\\Orvanta\\PELLAWIN.tlb", pellawin);
    ASSERT_EQ(Run(pellawin, u"-RegServer",
                  {.imagePath = u"C:\\Orvanta\\PELLAWIN.EXE", .typeLibResource = false}),
              0);
    EXPECT_EQ(machine.GetString(TypeLibPath(pellawin) + u"\\0\\win32", u""),
              u"C:\\Orvanta\\PELLAWIN.tlb");
    EXPECT_EQ(machine.GetString(TypeLibPath(pellawin) + u"\\HELPDIR", u""), u"C:\\Orvanta\\");
}

TEST_F(RegistrationTest, FailureTable) {
    struct Row {
        const char* name;
        std::function<void(sim::Machine&)> arrange;
        sim::LaunchOptions options;
        std::u16string switchText;
        int32_t exitCode;
        bool appIdValues;
        bool serviceEntry;
        bool typeLib;
    };
    const HResult comFailure = static_cast<HResult>(0x8001010E);
    const Row rows[] = {
        {"COM", [&](sim::Machine& m) { m.Inject().comInitialize.Always().WithResult(comFailure); },
         {}, u"-Service", comFailure, false, false, false},
        {"AppID not writable", [](sim::Machine& m) { m.CreateKey(u"HKCR\\AppID"); m.DenyAccess(u"HKCR\\AppID", KEY_WRITE); },
         {}, u"-Service", static_cast<int32_t>(ERROR_ACCESS_DENIED), false, false, false},
        {"AppID key missing", [](sim::Machine&) {}, {.registrationScript = false}, u"-Service",
         static_cast<int32_t>(ERROR_FILE_NOT_FOUND), false, false, false},
        {"Parameters not creatable",
         [&](sim::Machine& m) { m.DenyAccess(ParametersPath(pellawin), KEY_ALL_ACCESS); }, {},
         u"-Service", static_cast<int32_t>(ERROR_ACCESS_DENIED), true, true, false},
        {"type library not loadable", [](sim::Machine&) {}, {.typeLibResource = false},
         u"-Service", TYPE_E_CANTLOADLIBRARY, true, true, false},
        {"type library not registrable",
         [](sim::Machine& m) { m.Inject().registerTypeLib.Always().WithResult(TYPE_E_REGISTRYACCESS); },
         {}, u"-RegServer", TYPE_E_REGISTRYACCESS, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Machine fresh;
        row.arrange(fresh);
        sim::Process& process = fresh.Launch(pellawin, row.switchText, row.options);
        ASSERT_TRUE(fresh.RunUntil([&] { return process.Exited(); }, 60000));
        EXPECT_EQ(process.ExitCode(), row.exitCode);
        EXPECT_EQ(fresh.KeyExists(AppIdPath(pellawin)) &&
                      fresh.GetValue(AppIdPath(pellawin), u"LocalService").has_value() ==
                          (row.switchText == u"-Service"),
                  row.appIdValues);
        EXPECT_EQ(fresh.ServiceExists(pellawin.serviceName), row.serviceEntry);
        EXPECT_EQ(fresh.KeyExists(TypeLibPath(pellawin)), row.typeLib);
        EXPECT_EQ(process.ComBalance(), 0);
    }
}

TEST_F(RegistrationTest, FailedServiceStepIsNotReportedAsSuccess) {
    // "Service" whose entry cannot be created: every other step is done, the box is shown,
    // and the exit code is the refusal's error.
    machine.Inject().createService.Always().WithError(1078);
    EXPECT_EQ(Run(pellawin, u"-Service"), 1078);
    EXPECT_EQ(machine.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.GetDword(ParametersPath(pellawin), u"Interval"), 60u);
    EXPECT_TRUE(machine.KeyExists(TypeLibPath(pellawin)));
    machine.Inject().createService.Clear();

    // "UnregServer" whose entry cannot be deleted.
    ASSERT_EQ(Run(pellawin, u"-Service"), 0);
    machine.Inject().deleteService.Always().WithError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run(pellawin, u"-UnregServer"), static_cast<int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(machine.KeyExists(AppIdPath(pellawin)));  // the rest was removed
    EXPECT_FALSE(machine.KeyExists(TypeLibPath(pellawin)));
    EXPECT_TRUE(machine.ServiceExists(pellawin.serviceName));
}

TEST_F(RegistrationTest, UnregistrationWithoutTheLookupLeavesTheTypeLibrary) {
    ASSERT_EQ(Run(pellawin, u"-RegServer"), 0);
    machine.Inject().unregisterLookup.Always();
    EXPECT_EQ(Run(pellawin, u"-UnregServer"), 0);
    EXPECT_TRUE(machine.KeyExists(TypeLibPath(pellawin)));
    EXPECT_FALSE(machine.KeyExists(AppIdPath(pellawin)));
}

}  // namespace
}  // namespace jobsvc
