// The registration scripts: what a malformed one is refused for, what a good one holds, and what its
// registration and unregistration write and leave.
#include <gtest/gtest.h>

#include "app/RegistryScript.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

using win32::HKEY_CLASSES_ROOT;

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

constexpr const char* kScript =
    "HKCR\n{\n"
    "  NoRemove Shared\n  {\n    Mine = s 'mine'\n  }\n"
    "  Plain = s 'plain'\n  {\n    val Named = s 'it''s %NAME%'\n    val Number = d '0x10'\n"
    "    val Bytes = b '00ff'\n    'Sub Key'\n    Delete Old\n  }\n"
    "  ForceRemove Forced = s 'forced'\n  {\n    Inner = s 'inner'\n  }\n"
    "}\n";

// Values of every kind, quoted names and replacements written; Delete removes a key; NoRemove keys and other
// programs' subkeys outlive the unregistration; a ForceRemove key goes with all it holds.
TEST(RegistryScriptApply, RegisterAndUnregisterTouchOnlyTheScriptsOwnKeys) {
    TempRegistryFolder registry;
    std::string error;
    const RegistryScript script = RegistryScript::Parse(kScript, {{"NAME", "here"}}, error).value();
    EXPECT_EQ(script.Unregister(), win32::S_OK) << "an absent registration";
    WriteText(HKEY_CLASSES_ROOT, "Plain\\Foreign", nullptr, "other program");
    WriteText(HKEY_CLASSES_ROOT, "Plain\\Old", nullptr, "deleted by the script");
    ASSERT_EQ(script.Register(), win32::S_OK);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Shared\\Mine"), "mine");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Plain"), "plain");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Plain", "Named"), "it's here");
    EXPECT_EQ(raw::Get("Plain", "Number", HKEY_CLASSES_ROOT), (raw::Value{win32::REG_DWORD, raw::Dword(16)}));
    EXPECT_EQ(raw::Get("Plain", "Bytes", HKEY_CLASSES_ROOT), (raw::Value{win32::REG_BINARY, {'\0', '\xff'}}));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Sub Key"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Old"));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "Forced\\Inner"), "inner");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Foreign"));

    WriteText(HKEY_CLASSES_ROOT, "Forced\\AddedLater", nullptr, "goes with the key");
    ASSERT_EQ(script.Unregister(), win32::S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Shared\\Mine"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Foreign"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Plain\\Sub Key"));
    EXPECT_FALSE(raw::Get("Plain", "Number", HKEY_CLASSES_ROOT));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Forced"));
}

}  // namespace
