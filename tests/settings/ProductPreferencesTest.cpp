#include <gtest/gtest.h>

#include "settings/ProxyServerPreferences.h"
#include "settings/RawRegistry.h"
#include "settings/TempRegistryFolder.h"

namespace {

using ProductPreferencesTest = RegistryFolderTest;

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

}  // namespace
