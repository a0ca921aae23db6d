#include "settings/MailerRulePreferences.h"

MailerRulePreferences::MailerRulePreferences() {
    SetNames("Norvale", "VUVed3UzeroVadave", "Mailer Rule");
}
