#include "settings/MailerRuleSettings.h"

#include "settings/MailerRulePreferences.h"

namespace {

std::uint32_t ReadDwordOrWriteDefault(const char* name, std::uint32_t defaultValue) {
    MailerRulePreferences preferences;
    std::uint32_t value = defaultValue;
    if (!preferences.ReadDword(name, value)) {
        value = defaultValue;
        preferences.WriteDword(name, defaultValue);
    }
    return value;
}

bool ReadBoolOrWriteDefault(const char* name, bool defaultValue) {
    MailerRulePreferences preferences;
    bool value = defaultValue;
    if (!preferences.ReadBool(name, value)) {
        value = defaultValue;
        preferences.WriteDword(name, defaultValue ? 1 : 0);
    }
    return value;
}

}  // namespace

std::string MailerRuleSettings::RuleText() {
    std::string text;
    MailerRulePreferences().ReadString("Mailer Rule", text);
    return text;
}

bool MailerRuleSettings::AutoRecognize() {
    return ReadBoolOrWriteDefault("AutoRecognize", true);
}

bool MailerRuleSettings::AllMail() {
    return ReadBoolOrWriteDefault("AllMail", false);
}

std::uint32_t MailerRuleSettings::MailLimitSize() {
    return ReadDwordOrWriteDefault("Mail Limit Size", 32);
}

std::uint32_t MailerRuleSettings::EnglishRate() {
    return ReadDwordOrWriteDefault("English Rate", 50);
}

bool MailerRuleSettings::ModernMail() {
    bool modern = false;
    MailerRulePreferences().ReadBool("Modern Mail", modern);
    return modern;
}
