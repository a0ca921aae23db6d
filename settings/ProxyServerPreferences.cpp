#include "settings/ProxyServerPreferences.h"

ProxyServerPreferences::ProxyServerPreferences() {
    SetNames("Norvale", "VUVed3UzeroVadave", "Proxy Server Preferences");
}
