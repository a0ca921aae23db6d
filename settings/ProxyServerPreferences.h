// The key of the mail server and listening port settings ("Proxy Server Preferences").
#pragma once

#include "settings/ProductPreferences.h"

class ProxyServerPreferences : public ProductPreferences {
public:
    ProxyServerPreferences();
};
