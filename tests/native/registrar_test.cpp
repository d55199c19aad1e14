// The registrar that applies a registration script: the deliverables' own script in both
// modes, the rest of the language it reads, and scripts it must refuse whole.
#include <gtest/gtest.h>

#include "install/registrar.h"
#include "sim_test.h"

namespace jobsvc {
namespace {

using testing_support::SimTest;

class RegistrarTest : public SimTest {
protected:
    HResult Apply(std::string_view script, RegistrarMode mode,
                  std::u16string_view modulePath = u"C:\\Orvanta\\PELLAWIN.EXE") {
        HResult result = 1;
        machine.Launch(pellawin, u"", {.entry = [&](ServiceModule&, ModuleHandle) {
                                           const ReplacementVariable variables[] = {
                                               {u"Module", modulePath}};
                                           result = ApplyRegistrationScript(
                                               machine.Processes().back()->Os().registry, script,
                                               variables, mode);
                                           return 0;
                                       }});
        EXPECT_EQ(machine.OpenHandles().registryKeys, 0u);
        return result;
    }
};

TEST_F(RegistrarTest, DeliverableScriptRegistersAndUnregistersItsTwoKeys) {
    const std::string_view script = corvasse.registrationScript;
    machine.SetString(u"HKCR\\AppID\\{FBEAEFF0-8A5E-434E-890C-F2F189B6D194}", u"Other", u"kept");

    ASSERT_EQ(Apply(script, RegistrarMode::Register), S_OK);
    const std::u16string appIdKey = u"HKCR\\AppID\\{FBEAEFF0-8A5E-434E-890C-F2F189B6D194}";
    EXPECT_EQ(machine.GetString(appIdKey, u""), u"Corvasse");
    EXPECT_EQ(machine.GetString(appIdKey, u"Other"), u"kept");  // existing values stay
    EXPECT_EQ(machine.GetString(u"HKCR\\AppID\\Corvasse.EXE", u"AppID"),
              u"{FBEAEFF0-8A5E-434E-890C-F2F189B6D194}");
    EXPECT_EQ(machine.GetValue(u"HKCR\\AppID\\Corvasse.EXE", u"AppID")->data.size(), 39u * 2);
    EXPECT_EQ(machine.SubKeys(u"HKCR\\AppID").size(), 2u);

    machine.CreateKey(u"HKCR\\AppID\\{Someone-Else}");
    ASSERT_EQ(Apply(script, RegistrarMode::Unregister), S_OK);
    EXPECT_EQ(machine.SubKeys(u"HKCR\\AppID"), std::vector<std::u16string>{u"{Someone-Else}"});
    // Unregistering again finds nothing to remove, and that is no failure.
    EXPECT_EQ(Apply(script, RegistrarMode::Unregister), S_OK);
    EXPECT_TRUE(machine.KeyExists(u"HKCR\\AppID"));
}

TEST_F(RegistrarTest, ReadsTheRestOfTheLanguage) {
    const std::string_view script =
        "HKLM {\n"
        "  NoRemove Software {\n"
        "    ForceRemove 'Two Words' = s 'it''s %Module%' {\n"
        "      val Count = d '42'\n"
        "      val Mask = d 0x1F\n"
        "      val Percent = s '100%%'\n"
        "    }\n"
        "    Delete Obsolete\n"
        "  }\n"
        "}\n";
    machine.SetString(u"HKLM\\Software\\Two Words\\Stale", u"", u"x");
    machine.CreateKey(u"HKLM\\Software\\Obsolete");

    ASSERT_EQ(Apply(script, RegistrarMode::Register, u"C:\\O'Brien\\P.EXE"), S_OK);
    EXPECT_EQ(machine.GetString(u"HKLM\\Software\\Two Words", u""), u"it's C:\\O'Brien\\P.EXE");
    EXPECT_EQ(machine.GetDword(u"HKLM\\Software\\Two Words", u"Count"), 42u);
    EXPECT_EQ(machine.GetDword(u"HKLM\\Software\\Two Words", u"Mask"), 0x1Fu);
    EXPECT_EQ(machine.GetString(u"HKLM\\Software\\Two Words", u"Percent"), u"100%");
    EXPECT_FALSE(machine.KeyExists(u"HKLM\\Software\\Two Words\\Stale"));  // ForceRemove
    EXPECT_FALSE(machine.KeyExists(u"HKLM\\Software\\Obsolete"));         // Delete

    ASSERT_EQ(Apply(script, RegistrarMode::Unregister), S_OK);
    EXPECT_FALSE(machine.KeyExists(u"HKLM\\Software\\Two Words"));
    EXPECT_TRUE(machine.KeyExists(u"HKLM\\Software"));
}

TEST_F(RegistrarTest, RefusesAMalformedScriptBeforeWritingAnything) {
    const std::string_view scripts[] = {
        "HKCR { Key = s 'unterminated }",
        "HKCR { Key { val V = s 'x' }",       // a block left open
        "HKCU { Key }",                        // a root it does not serve
        "HKCR { Key = q 'x' }",                // an unknown type
        "HKCR { Key = d 'twelve' }",
        "HKCR { Key = d 0x100000000 }",
        "HKCR { Key = s '%Unknown%' }",
        "HKCR { Key = s '%Module' }",
        "HKCR { = s 'x' }",
        "HKCR { NoRemove }",
        "HKCR Key",
        "HKCR { Good } }",
        "HKCR { A { B { C { D { E { F { G { H { I { J { K { L { M { N { O { P { Q { R { S { T "
        "{ U { V { W { X { Y { Z { a { b { c { d { e { f { g } } } } } } } } } } } } } } } } } } } "
        "} } } } } } } } } } } } }",
    };
    for (std::string_view script : scripts) {
        SCOPED_TRACE(std::string(script));
        machine.DeleteKey(u"HKCR\\Key");
        EXPECT_NE(Apply(script, RegistrarMode::Register), S_OK);
        EXPECT_FALSE(machine.KeyExists(u"HKCR\\Key"));
        EXPECT_FALSE(machine.KeyExists(u"HKCR\\Good"));
        EXPECT_FALSE(machine.KeyExists(u"HKCR\\A"));
    }
}

TEST_F(RegistrarTest, ScriptEndsAtAZeroSoNoNameIsEmptied) {
    machine.CreateKey(u"HKLM\\Software\\Precious");
    // Read past the zero, "Delete" would name the empty key: Software itself.
    const std::string_view script("HKLM { NoRemove Software { Kept } }\0 HKLM { Software { Delete \0x } }",
                                  68);
    ASSERT_EQ(Apply(script, RegistrarMode::Register), S_OK);
    EXPECT_TRUE(machine.KeyExists(u"HKLM\\Software\\Precious"));
    EXPECT_TRUE(machine.KeyExists(u"HKLM\\Software\\Kept"));
}

TEST_F(RegistrarTest, StopsAtTheFirstRefusedKey) {
    machine.CreateKey(u"HKCR\\Locked");
    machine.DenyAccess(u"HKCR\\Locked", KEY_WRITE);
    const HResult result = Apply("HKCR { First  Locked  Last }", RegistrarMode::Register);
    EXPECT_EQ(result, static_cast<HResult>(0x80070005));
    EXPECT_TRUE(machine.KeyExists(u"HKCR\\First"));
    EXPECT_FALSE(machine.KeyExists(u"HKCR\\Last"));
}

}  // namespace
}  // namespace jobsvc
