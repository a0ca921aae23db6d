// The two settings of the secure connection: read afresh at every use, plain and no extra CA when absent.
#include <gtest/gtest.h>

#include "integration/RelaySettings.h"
#include "settings/ProxyServerSettings.h"

namespace {

TEST(TlsSettings, AbsentValuesMeanPlainWithoutExtraCa)
{
    ScopedRegistry registry;
    EXPECT_EQ(ProxyServerSettings::MailServerSecurity(), 0u);
    EXPECT_EQ(ProxyServerSettings::MailServerCAFile(), "");
}

TEST(TlsSettings, StoredValuesAreReadAtEveryUse)
{
    ScopedRegistry registry;
    WriteProxyServerDword("MailServerSecurity", 2);
    WriteProxyServerString("MailServerCAFile", "/home/user/company-ca.pem");
    EXPECT_EQ(ProxyServerSettings::MailServerSecurity(), 2u);
    EXPECT_EQ(ProxyServerSettings::MailServerCAFile(), "/home/user/company-ca.pem");
    WriteProxyServerDword("MailServerSecurity", 1);
    EXPECT_EQ(ProxyServerSettings::MailServerSecurity(), 1u);
}

TEST(TlsSettings, ValuesOfTheWrongTypeCountAsAbsent)
{
    ScopedRegistry registry;
    WriteProxyServerString("MailServerSecurity", "1");
    WriteProxyServerDword("MailServerCAFile", 7);
    EXPECT_EQ(ProxyServerSettings::MailServerSecurity(), 0u);
    EXPECT_EQ(ProxyServerSettings::MailServerCAFile(), "");
}

}  // namespace
