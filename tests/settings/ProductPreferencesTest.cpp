#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "settings/MailerRulePreferences.h"
#include "settings/ProductPreferences.h"
#include "settings/ProxyServerPreferences.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

namespace {

using ProductPreferencesTest = RegistryFolderTest;

TEST_F(ProductPreferencesTest, ConstructionCreatesTheWholeKeyPath) {
    ASSERT_FALSE(raw::KeyExists("Software\\Norvale"));
    MailerRulePreferences rules;
    EXPECT_TRUE(raw::KeyExists(raw::kRuleKey));
    EXPECT_NE(
        registry.ReadHive().find("[HKEY_CURRENT_USER\\Software\\Norvale\\VUVed3UzeroVadave\\Mailer Rule]"),
        std::string::npos);
}

TEST_F(ProductPreferencesTest, NullNamesStandForEmptyText) {
    ProductPreferences preferences;
    preferences.SetNames("Company", nullptr, nullptr);
    EXPECT_TRUE(raw::KeyExists("Software\\Company"));
    preferences.WriteDword("n", 7);
    EXPECT_EQ(raw::Get("Software\\Company", "n")->data, raw::Dword(7));
}

TEST_F(ProductPreferencesTest, ReadsOnlyValuesOfTheirOwnTypeAndSize) {
    ProxyServerPreferences preferences;
    ASSERT_TRUE(raw::Set(raw::kProxyKey, "Text", win32::REG_SZ, std::string("pop\0", 4)));
    ASSERT_TRUE(raw::Set(raw::kProxyKey, "Expand", win32::REG_EXPAND_SZ, std::string("%HOME%\0", 7)));
    ASSERT_TRUE(raw::Set(raw::kProxyKey, "Multi", win32::REG_MULTI_SZ, std::string("a\0b\0\0", 5)));
    ASSERT_TRUE(raw::SetDword(raw::kProxyKey, "Number", 995));
    ASSERT_TRUE(raw::Set(raw::kProxyKey, "Short", win32::REG_DWORD, std::string("\x01\x00", 2)));
    ASSERT_TRUE(raw::Set(raw::kProxyKey, "Binary", win32::REG_BINARY, raw::Dword(5)));
    ASSERT_TRUE(raw::Set(raw::kProxyKey, "Digits", win32::REG_SZ, std::string("110", 3)));

    const struct {
        const char* name;
        bool isString;
        bool isDword;
    } cases[] = {
        {"Text", true, false},   {"Expand", false, false}, {"Multi", false, false}, {"Number", false, true},
        {"Short", false, false}, {"Binary", false, false}, {"Digits", true, false}, {"Absent", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "untouched";
        EXPECT_EQ(preferences.ReadString(c.name, text), c.isString);
        if (!c.isString) {
            EXPECT_EQ(text, "untouched");
        }
        std::uint32_t number = 12345;
        EXPECT_EQ(preferences.ReadDword(c.name, number), c.isDword);
        if (!c.isDword) {
            EXPECT_EQ(number, 12345u);
        }
        bool flag = false;
        EXPECT_EQ(preferences.ReadBool(c.name, flag), c.isDword);
    }
    std::string text;
    ASSERT_TRUE(preferences.ReadString("TEXT", text));  // value names ignore case
    EXPECT_EQ(text, "pop");
}

TEST_F(ProductPreferencesTest, StringsComeInCodePage932) {
    ProxyServerPreferences preferences;
    const std::string ansi = win32::Utf8ToAnsi("メール.example");
    ASSERT_TRUE(raw::Set(raw::kProxyKey, "Name", win32::REG_SZ, ansi + '\0'));
    // Stored as Unicode: the file holds the UTF-8 text.
    EXPECT_NE(registry.ReadHive().find("\"Name\"=\"メール.example\""), std::string::npos);
    std::string read;
    ASSERT_TRUE(preferences.ReadString("Name", read));
    EXPECT_EQ(read, ansi);
}

TEST_F(ProductPreferencesTest, BoolIsAnyNonZeroDword) {
    ProxyServerPreferences preferences;
    const std::uint32_t values[] = {0, 1, 2, 0xFFFFFFFF};
    for (const auto value : values) {
        SCOPED_TRACE(value);
        preferences.WriteDword("Flag", value);
        bool flag = value == 0;
        ASSERT_TRUE(preferences.ReadBool("Flag", flag));
        EXPECT_EQ(flag, value != 0);
    }
}

}  // namespace
