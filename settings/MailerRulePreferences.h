// The key of the translation rules and the thresholds of the translation decision ("Mailer Rule").
#pragma once

#include "settings/ProductPreferences.h"

class MailerRulePreferences : public ProductPreferences {
public:
    MailerRulePreferences();
};
