// The interval setting: every shape the registry may hold, and both ways of storing it.
#include <gtest/gtest.h>

#include "sim_test.h"

namespace jobsvc {
namespace {

using testing_support::ParametersPath;
using testing_support::SimTest;

struct LoadCase {
    const char* name;
    bool key;
    std::optional<sim::RegValue> value;
    uint32_t minutes;  // for Pellawin, whose default is 60
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

class LoadIntervalTest : public SimTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadIntervalTest, ReadsUpToFourBytesOfAnyTypeElseTheDefault) {
    const LoadCase& c = GetParam();
    if (c.key) machine.CreateKey(ParametersPath(pellawin));
    if (c.value) machine.SetValue(ParametersPath(pellawin), u"Interval", c.value->type, c.value->data);
    sim::Process& process = machine.Launch(pellawin);  // not registered: Init runs, then it exits
    EXPECT_EQ(process.Module().intervalMinutes, c.minutes);
    EXPECT_EQ(machine.OpenHandles().registryKeys, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, LoadIntervalTest,
    testing::Values(
        LoadCase{"NoKey", false, std::nullopt, 60}, LoadCase{"NoValue", true, std::nullopt, 60},
        LoadCase{"Dword", true, sim::RegValue{REG_DWORD, {0x2D, 0, 0, 0}}, 45},
        LoadCase{"StringOfDigits", true, sim::RegValue{REG_SZ, {'4', 0, '5', 0, 0, 0}}, 60},
        LoadCase{"FourBytesOfAnotherType", true, sim::RegValue{REG_BINARY, {0x1E, 0, 0, 0}}, 30},
        LoadCase{"TwoBytesFillTheLowOrder", true, sim::RegValue{REG_BINARY, {0x10, 0x01}}, 0x110},
        LoadCase{"NoData", true, sim::RegValue{REG_DWORD, {}}, 0},
        LoadCase{"FiveBytes", true, sim::RegValue{REG_BINARY, {1, 0, 0, 0, 0}}, 60},
        LoadCase{"Largest", true, sim::RegValue{REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}, 0xFFFFFFFF}),
    [](const testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST_F(SimTest, LoadIntervalFallsBackWhenTheKeyCannotBeRead) {
    SetInterval(pellawin, 45);
    machine.DenyAccess(ParametersPath(pellawin), KEY_READ);
    EXPECT_EQ(machine.Launch(pellawin).Module().intervalMinutes, 60u);
}

TEST_F(SimTest, DefaultsFollowTheProfile) {
    for (const ProfileResources& profile : AllProfiles()) {
        const uint32_t expected =
            profile.profile.shortName == u"Halvane" || profile.profile.shortName == u"Tobrisk" ||
                    profile.profile.shortName == u"Quellan"
                ? 1440
                : 60;
        EXPECT_EQ(machine.Launch(profile).Module().intervalMinutes, expected)
            << std::string(profile.profile.shortName.begin(), profile.profile.shortName.end());
    }
}

// Runs StoreInterval on a thread of a simulated process of its own.
Win32Error Store(sim::Machine& machine, const ProfileResources& profile, uint32_t minutes,
                 bool createKey) {
    Win32Error result = 0xDEAD;
    machine.Launch(profile, u"", {.entry = [&](ServiceModule& module, ModuleHandle instance) {
                                      module.Init(instance, IDS_SERVICENAME, nullptr);
                                      result = module.StoreInterval(minutes, createKey);
                                      return 0;
                                  }});
    return result;
}

TEST_F(SimTest, StoreIntervalWritesOnlyIntoAnExistingKeyUnlessAskedToCreateIt) {
    EXPECT_EQ(Store(machine, halvane, 30, false), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(machine.KeyExists(ParametersPath(halvane)));

    EXPECT_EQ(Store(machine, halvane, 30, true), ERROR_SUCCESS);
    const auto value = machine.GetValue(ParametersPath(halvane), u"Interval");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, REG_DWORD);
    EXPECT_EQ(value->data, (std::vector<uint8_t>{0x1E, 0, 0, 0}));

    EXPECT_EQ(Store(machine, halvane, 0xFFFFFFFF, false), ERROR_SUCCESS);
    EXPECT_EQ(machine.GetDword(ParametersPath(halvane), u"Interval"), 0xFFFFFFFFu);
    EXPECT_EQ(machine.OpenHandles().registryKeys, 0u);
}

TEST_F(SimTest, StoreIntervalReportsAKeyThatCannotBeOpenedForWriting) {
    SetInterval(halvane, 10);
    machine.DenyAccess(ParametersPath(halvane), KEY_WRITE);
    EXPECT_EQ(Store(machine, halvane, 30, false), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Store(machine, halvane, 30, true), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine.GetDword(ParametersPath(halvane), u"Interval"), 10u);
}

}  // namespace
}  // namespace jobsvc
