#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "app/resources/ModuleResources.h"
#include "platform/CodePage.h"
#include "platform/Resources.h"

namespace {

TEST(LoadString, LoadsEntriesInCodePage932) {
    char buffer[256];
    ASSERT_EQ(win32::LoadString(ModuleInstance(), 101, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "varaved");
    const int length = win32::LoadString(ModuleInstance(), 105, buffer, sizeof buffer);
    ASSERT_GT(length, 0);
    EXPECT_EQ(win32::AnsiToUtf8(std::string(buffer, length)),
              "| 報告 - サーバが翻訳結果の処理に失敗しました\n- ダンモ  varaved -");
    EXPECT_EQ(static_cast<int>(std::strlen(buffer)), length);
}

TEST(LoadString, MissingEntryGivesZero) {
    char buffer[16] = "junk";
    EXPECT_EQ(win32::LoadString(ModuleInstance(), 99, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(win32::LoadString(ModuleInstance(), 101, buffer, 0), 0);
}

TEST(LoadString, TruncatesAtCharacterBoundary) {
    // Entry 102 starts "| 報告": "| " then double-byte characters; 4 bytes of room would split 報.
    const struct {
        int bufferSize;
        int expected;
    } cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 2}, {5, 4}, {6, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bufferSize);
        std::array<char, 8> buffer;
        buffer.fill('\x7F');
        EXPECT_EQ(win32::LoadString(ModuleInstance(), 102, buffer.data(), c.bufferSize), c.expected);
        EXPECT_EQ(buffer[c.expected], '\0');
        EXPECT_EQ(buffer[c.bufferSize], '\x7F');
    }
}

}  // namespace
