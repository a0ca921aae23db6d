#include <gtest/gtest.h>

#include "settings/ProxyServerSettings.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

namespace {

using ProxyServerSettingsTest = RegistryFolderTest;

TEST_F(ProxyServerSettingsTest, MissingKeyGivesDefaultsAndIsCreatedEmpty) {
    EXPECT_EQ(ProxyServerSettings::ProxyBasedTranslationPort(), 110u);
    EXPECT_EQ(ProxyServerSettings::MailServerAddress(), "");
    EXPECT_EQ(ProxyServerSettings::MailServerPort(), 110u);
    EXPECT_FALSE(ProxyServerSettings::RelayAuthentication());
    EXPECT_TRUE(raw::KeyExists(raw::kProxyKey));
    // The server writes none of its proxy settings.
    for (const char* name :
         {"ProxyBasedTranslationPort", "MailServerAddress", "MailServerPort", "Relay Authentication"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(raw::Get(raw::kProxyKey, name).has_value());
    }
}

TEST_F(ProxyServerSettingsTest, ReadsStoredValuesAfreshEachTime) {
    ASSERT_TRUE(raw::SetDword(raw::kProxyKey, "ProxyBasedTranslationPort", 10110));
    ASSERT_TRUE(raw::SetDword(raw::kProxyKey, "MailServerPort", 995));
    ASSERT_TRUE(
        raw::Set(raw::kProxyKey, "MailServerAddress", win32::REG_SZ, std::string("pop.example.org\0", 16)));
    EXPECT_EQ(ProxyServerSettings::ProxyBasedTranslationPort(), 10110u);
    EXPECT_EQ(ProxyServerSettings::MailServerPort(), 995u);
    EXPECT_EQ(ProxyServerSettings::MailServerAddress(), "pop.example.org");
    ASSERT_TRUE(raw::SetDword(raw::kProxyKey, "Relay Authentication", 1));
    EXPECT_TRUE(ProxyServerSettings::RelayAuthentication());

    registry.WriteHive(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Norvale\\VUVed3UzeroVadave\\Proxy Server Preferences]\n"
        "\"MailServerPort\"=dword:00000064\n");
    EXPECT_EQ(ProxyServerSettings::MailServerPort(), 100u);
    EXPECT_EQ(ProxyServerSettings::ProxyBasedTranslationPort(), 110u);
}

}  // namespace
