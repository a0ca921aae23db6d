#include <gtest/gtest.h>
#include <sys/stat.h>

#include "settings/MailerRuleSettings.h"
#include "settings/ProxyServerSettings.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

namespace {

using MailerRuleSettingsTest = RegistryFolderTest;

TEST_F(MailerRuleSettingsTest, AbsentThresholdsGetTheirDefaultsWrittenBack) {
    EXPECT_TRUE(MailerRuleSettings::AutoRecognize());
    EXPECT_FALSE(MailerRuleSettings::AllMail());
    EXPECT_EQ(MailerRuleSettings::MailLimitSize(), 32u);
    EXPECT_EQ(MailerRuleSettings::EnglishRate(), 50u);
    EXPECT_EQ(MailerRuleSettings::RuleText(), "");

    const struct {
        const char* name;
        std::uint32_t value;
    } written[] = {{"AutoRecognize", 1}, {"AllMail", 0}, {"Mail Limit Size", 32}, {"English Rate", 50}};
    for (const auto& w : written) {
        SCOPED_TRACE(w.name);
        const auto value = raw::Get(raw::kRuleKey, w.name);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, win32::REG_DWORD);
        EXPECT_EQ(value->data, raw::Dword(w.value));
    }
    EXPECT_FALSE(raw::Get(raw::kRuleKey, "Mailer Rule").has_value());
    EXPECT_NE(registry.ReadHive().find("\"Mail Limit Size\"=dword:00000020\n"), std::string::npos);
}

TEST_F(MailerRuleSettingsTest, StoredThresholdsAreUsedAndKept) {
    ASSERT_TRUE(raw::SetDword(raw::kRuleKey, "AutoRecognize", 2));
    ASSERT_TRUE(raw::SetDword(raw::kRuleKey, "AllMail", 1));
    ASSERT_TRUE(raw::SetDword(raw::kRuleKey, "Mail Limit Size", 64));
    ASSERT_TRUE(raw::SetDword(raw::kRuleKey, "English Rate", 0));
    EXPECT_TRUE(MailerRuleSettings::AutoRecognize());
    EXPECT_TRUE(MailerRuleSettings::AllMail());
    EXPECT_EQ(MailerRuleSettings::MailLimitSize(), 64u);
    EXPECT_EQ(MailerRuleSettings::EnglishRate(), 0u);
    EXPECT_EQ(raw::Get(raw::kRuleKey, "AutoRecognize")->data, raw::Dword(2));  // not rewritten as 1
}

TEST_F(MailerRuleSettingsTest, ThresholdOfTheWrongTypeIsReplacedByTheDefault) {
    ASSERT_TRUE(raw::Set(raw::kRuleKey, "English Rate", win32::REG_SZ, std::string("70\0", 3)));
    ASSERT_TRUE(raw::Set(raw::kRuleKey, "AllMail", win32::REG_DWORD, std::string("\x01", 1)));
    EXPECT_EQ(MailerRuleSettings::EnglishRate(), 50u);
    EXPECT_FALSE(MailerRuleSettings::AllMail());
    const auto rate = raw::Get(raw::kRuleKey, "English Rate");
    ASSERT_TRUE(rate.has_value());
    EXPECT_EQ(rate->type, win32::REG_DWORD);
    EXPECT_EQ(rate->data, raw::Dword(50));
    EXPECT_EQ(raw::Get(raw::kRuleKey, "AllMail")->data, raw::Dword(0));
}

TEST_F(MailerRuleSettingsTest, RuleTextEndsAtANul) {
    ASSERT_TRUE(raw::Set(raw::kRuleKey, "Mailer Rule", win32::REG_SZ, std::string("Rule\n{\0Rule\n\0", 13)));
    EXPECT_EQ(MailerRuleSettings::RuleText(), "Rule\n{");
}

TEST_F(MailerRuleSettingsTest, BrokenHiveGivesDefaultsWritesNothingAndIsReportedOnce) {
    const std::string broken =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule]\n"
        "\"English Rate\"=dword:00000046\n"
        "\"AllMail\"=dword:1 oops\n";
    registry.WriteHive(broken);
    chmod(registry.HivePath().c_str(), 0600);
    testing::internal::CaptureStderr();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_TRUE(MailerRuleSettings::AutoRecognize());
        EXPECT_FALSE(MailerRuleSettings::AllMail());
        EXPECT_EQ(MailerRuleSettings::MailLimitSize(), 32u);
        EXPECT_EQ(MailerRuleSettings::EnglishRate(), 50u);
        EXPECT_EQ(MailerRuleSettings::RuleText(), "");
        EXPECT_EQ(ProxyServerSettings::ProxyBasedTranslationPort(), 110u);
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(registry.ReadHive(), broken);
    const std::string expected = registry.HivePath() + ": line 5: ";
    ASSERT_NE(messages.find(expected), std::string::npos) << messages;
    EXPECT_EQ(messages.find(expected), messages.rfind(expected)) << messages;
}

}  // namespace
