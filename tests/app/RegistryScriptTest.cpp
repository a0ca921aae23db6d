// The registration scripts: what a malformed one is refused for, what a good one holds, and what its registration
// and unregistration write and leave.
#include <gtest/gtest.h>

#include "app/RegistryScript.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

using win32::HKEY_CLASSES_ROOT;
using win32::HKEY_LOCAL_MACHINE;

namespace {

struct BadScript {
    const char* name;
    const char* text;
    const char* errorMentions;
};

const BadScript kBadScripts[] = {
    {"missing closing brace", "HKCR\n{\n  Key = s 'x'\n", "end of script"},
    {"unknown root", "HKXX { Key }", "root key"},
    {"unterminated quote", "HKCR\n{\n  Key = s 'x\n}", "unterminated"},
    {"unknown value type", "HKCR\n{\n  Key = q 'x'\n}", "line 3"},
    {"string without quotes", "HKCR { Key = s bare }", "quoted text"},
    {"number too large", "HKCR { Key { val N = d '4294967296' } }", "32-bit number"},
    {"odd hexadecimal", "HKCR { Key { val B = b 'abc' } }", "even number"},
    {"unknown replacement", "HKCR { Key = s '%NOPE%' }", "%NOPE%"},
    {"brace instead of name", "HKCR { NoRemove { } }", "key name"},
};

TEST(RegistryScriptParse, RejectsMalformedScriptsWithTheReason) {
    for (const BadScript& bad : kBadScripts) {
        SCOPED_TRACE(bad.name);
        std::string error;
        EXPECT_FALSE(RegistryScript::Parse(bad.text, {}, error));
        EXPECT_NE(error.find(bad.errorMentions), std::string::npos) << error;
    }
}

TEST(RegistryScriptParse, ReadsMarksValuesAndReplacements) {
    std::string error;
    const auto script = RegistryScript::Parse(
        "HKCR\n{\n NoRemove Top\n {\n  ForceRemove 'Sub Key' = s 'it''s %NAME%'\n  {\n   val Number = d '0x10'\n"
        "   val Bytes = b '00ff'\n   Delete Old\n  }\n }\n}\nHKLM { Plain }\n",
        {{"NAME", "here"}}, error);
    ASSERT_TRUE(script) << error;
    ASSERT_EQ(script->Roots().size(), 2u);
    const RegistryScript::Key& top = script->Roots()[0].keys.at(0);
    EXPECT_EQ(top.mark, RegistryScript::KeyMark::NoRemove);
    const RegistryScript::Key& sub = top.subkeys.at(0);
    EXPECT_EQ(sub.name, "Sub Key");
    EXPECT_EQ(sub.mark, RegistryScript::KeyMark::ForceRemove);
    ASSERT_EQ(sub.values.size(), 3u);
    EXPECT_EQ(sub.values[0].data, "it's here");
    EXPECT_EQ(sub.values[1].number, 16u);
    EXPECT_EQ(sub.values[2].data, std::string("\x00\xff", 2));
    EXPECT_EQ(sub.subkeys.at(0).mark, RegistryScript::KeyMark::Delete);
    EXPECT_EQ(script->Roots()[1].hive, HKEY_LOCAL_MACHINE);
}

constexpr const char* kScript =
    "HKCR\n{\n"
    "  NoRemove Shared\n  {\n    Mine = s 'mine'\n  }\n"
    "  Plain = s 'plain'\n  {\n    val Named = s 'named'\n    Child\n  }\n"
    "  ForceRemove Forced = s 'forced'\n  {\n    Inner = s 'inner'\n  }\n"
    "}\n";

// ForceRemove replaces what was there; NoRemove keys and other programs' subkeys outlive the unregistration.
TEST(RegistryScriptApply, RegisterAndUnregisterTouchOnlyTheScriptsOwnKeys) {
    TempRegistryFolder registry;
    std::string error;
    const RegistryScript script = RegistryScript::Parse(kScript, {}, error).value();
    EXPECT_EQ(script.Unregister(), win32::S_OK) << "an absent registration";
    WriteText(HKEY_CLASSES_ROOT, "Forced\\Stale", nullptr, "old");
    WriteText(HKEY_CLASSES_ROOT, "Plain\\Foreign", nullptr, "other program");
    WriteText(HKEY_CLASSES_ROOT, "Shared\\Neighbour", nullptr, "stays");
    ASSERT_EQ(script.Register(), win32::S_OK);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Shared\\Mine"), "mine");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Plain"), "plain");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Plain", "Named"), "named");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Child"));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Forced\\Inner"), "inner");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Forced\\Stale"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Foreign"));

    WriteText(HKEY_CLASSES_ROOT, "Forced\\AddedLater", nullptr, "goes with the key");
    ASSERT_EQ(script.Unregister(), win32::S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Shared\\Neighbour"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Shared\\Mine"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Foreign"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Child"));
    EXPECT_FALSE(ReadText(HKEY_CLASSES_ROOT, "Plain", "Named"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Forced"));
}

}  // namespace
