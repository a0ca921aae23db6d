// The settings readers on a private registry folder (defaults, what they write back, a broken file left
// alone) and the typed reads of the product preferences.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "settings/MailerRuleSettings.h"
#include "settings/ProxyServerPreferences.h"
#include "settings/ProxyServerSettings.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

namespace {

std::string Text(std::uint32_t number) { return std::to_string(number); }

struct Reader { const char* key; const char* name; std::function<std::string()> read; };

const Reader kReaders[] = {
    {raw::kRuleKey, "AutoRecognize", [] { return Text(MailerRuleSettings::AutoRecognize()); }},
    {raw::kRuleKey, "AllMail", [] { return Text(MailerRuleSettings::AllMail()); }},
    {raw::kRuleKey, "Mail Limit Size", [] { return Text(MailerRuleSettings::MailLimitSize()); }},
    {raw::kRuleKey, "English Rate", [] { return Text(MailerRuleSettings::EnglishRate()); }},
    {raw::kRuleKey, "Mailer Rule", [] { return MailerRuleSettings::RuleText(); }},
    {raw::kProxyKey, "ProxyBasedTranslationPort", [] { return Text(ProxyServerSettings::ProxyBasedTranslationPort()); }},
    {raw::kProxyKey, "MailServerPort", [] { return Text(ProxyServerSettings::MailServerPort()); }},
    {raw::kProxyKey, "MailServerAddress", [] { return ProxyServerSettings::MailServerAddress(); }},
};

TEST(SettingsReaders, EachValueIsReadWithItsDefaultAndOnlyThresholdsAreWrittenBack) {
    struct Case {
        const char* name;
        std::optional<raw::Value> stored;
        std::string expected;
        std::optional<raw::Value> after;  // what the registry holds after the read (nothing: as stored)
    };
    const auto dword = [](std::uint32_t value) { return raw::Value{win32::REG_DWORD, raw::Dword(value)}; };
    const auto sz = [](const std::string& text) { return raw::Value{win32::REG_SZ, text}; };
    const Case cases[] = {
        {"AutoRecognize", {}, "1", dword(1)},
        {"AllMail", {}, "0", dword(0)},
        {"Mail Limit Size", {}, "32", dword(32)},
        {"English Rate", {}, "50", dword(50)},
        {"Mailer Rule", {}, "", {}},
        {"ProxyBasedTranslationPort", {}, "110", {}},
        {"MailServerPort", {}, "110", {}},
        {"MailServerAddress", {}, "", {}},
        {"AutoRecognize", dword(2), "1", dword(2)},  // any non-zero is on, and it is not rewritten as 1
        {"Mail Limit Size", dword(64), "64", dword(64)},
        {"English Rate", dword(0), "0", dword(0)},
        {"English Rate", sz(std::string("70\0", 3)), "50", dword(50)},
        {"AllMail", raw::Value{win32::REG_DWORD, "\x01"}, "0", dword(0)},
        {"Mailer Rule", sz(std::string("Rule\n{\0Rule\n\0", 13)), "Rule\n{", {}},
        {"ProxyBasedTranslationPort", dword(10110), "10110", {}},
        {"MailServerAddress", sz(std::string("pop.example.org\0", 16)), "pop.example.org", {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.name << " stored " << (test.stored ? test.stored->data : "nothing"));
        TempRegistryFolder registry;
        const Reader& reader = *std::find_if(std::begin(kReaders), std::end(kReaders),
                                             [&](const Reader& r) { return std::string(r.name) == test.name; });
        if (test.stored) {
            ASSERT_TRUE(raw::Set(reader.key, reader.name, test.stored->type, test.stored->data));
        }
        EXPECT_EQ(reader.read(), test.expected);
        EXPECT_EQ(raw::Get(reader.key, reader.name), test.after ? test.after : test.stored);
        EXPECT_TRUE(reader.key != raw::kProxyKey || KeyExists(win32::HKEY_CURRENT_USER, reader.key))
            << "the key is created, empty";
        if (!test.stored) {  // a hive the registry cannot read gives the same default and is left alone
            const TempRegistryFolder brokenRegistry;
            const std::string broken =
                "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software]\n"
                "\"AllMail\"=dword:xyz\n";
            brokenRegistry.WriteHive(broken);
            testing::internal::CaptureStderr();
            EXPECT_EQ(reader.read(), test.expected);
            testing::internal::GetCapturedStderr();
            EXPECT_EQ(brokenRegistry.ReadHive(), broken);
        }
    }
}

TEST(Settings, PreferencesReadOnlyValuesOfTheirOwnTypeAndSize) {
    TempRegistryFolder registry;
    ProxyServerPreferences preferences;
    const struct { const char* name; win32::DWORD type; std::string data; bool isString, isDword; } cases[] = {
        {"Text", win32::REG_SZ, std::string("pop\0", 4), true, false},
        {"Digits", win32::REG_SZ, "110", true, false},
        {"Expand", win32::REG_EXPAND_SZ, std::string("%HOME%\0", 7), false, false},
        {"Multi", win32::REG_MULTI_SZ, std::string("a\0b\0\0", 5), false, false},
        {"Number", win32::REG_DWORD, raw::Dword(995), false, true},
        {"Short", win32::REG_DWORD, std::string("\x01\x00", 2), false, false},
        {"Binary", win32::REG_BINARY, raw::Dword(5), false, false},
        {"Absent", win32::REG_NONE, "", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.type != win32::REG_NONE) {
            ASSERT_TRUE(raw::Set(raw::kProxyKey, c.name, c.type, c.data));
        }
        std::string text = "untouched";
        EXPECT_EQ(preferences.ReadString(c.name, text), c.isString);
        EXPECT_TRUE(c.isString || text == "untouched") << text;
        std::uint32_t number = 12345;
        EXPECT_EQ(preferences.ReadDword(c.name, number), c.isDword);
        EXPECT_TRUE(c.isDword || number == 12345u) << number;
    }
}

}  // namespace
