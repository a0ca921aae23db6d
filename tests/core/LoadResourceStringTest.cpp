#include "core/LoadResourceString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace {

std::string Repeat(const std::string& piece, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TEST(LoadResourceString, LoadsWholeEntriesAcrossTheBufferSteps)
{
    // Lengths around the points where the loader must grow its buffer (255, 511, 767 bytes with 5 free).
    const std::size_t lengths[] = {1, 249, 250, 251, 253, 254, 255, 256, 505, 506, 507, 510, 511, 1000, 5000};
    std::vector<std::string> texts;
    std::vector<win32::StringResource> table;
    texts.reserve(std::size(lengths));
    for (std::size_t i = 0; i < std::size(lengths); ++i) {
        std::string text;
        for (std::size_t j = 0; j < lengths[i]; ++j) {
            text += static_cast<char>('a' + (j % 26));
        }
        texts.push_back(text);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        table.push_back({static_cast<win32::UINT>(i + 1), texts[i].c_str()});
    }
    const win32::ModuleResources module{table, nullptr};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(lengths[i]);
        std::string loaded;
        ASSERT_TRUE(LoadResourceString(&module, static_cast<win32::UINT>(i + 1), loaded));
        EXPECT_EQ(loaded, texts[i]);
    }
}

TEST(LoadResourceString, LongJapaneseTextIsLoadedWholeInCodePage932)
{
    // Double-byte characters: a buffer boundary may fall inside one and must not cut the text short.
    const std::string utf8 = Repeat("翻訳", 200) + "x";
    const win32::StringResource table[] = {{7, utf8.c_str()}};
    const win32::ModuleResources module{table, nullptr};
    std::string loaded;
    ASSERT_TRUE(LoadResourceString(&module, 7, loaded));
    EXPECT_EQ(loaded.size(), 801u);
    EXPECT_EQ(win32::AnsiToUtf8(loaded), utf8);
}

TEST(LoadResourceString, MissingOrEmptyEntryFailsAndLeavesTheTextAlone)
{
    const win32::StringResource table[] = {{1, ""}, {2, nullptr}};
    const win32::ModuleResources module{table, nullptr};
    for (const win32::UINT id : {1u, 2u, 3u}) {
        SCOPED_TRACE(id);
        std::string text = "before";
        EXPECT_FALSE(LoadResourceString(&module, id, text));
        EXPECT_EQ(text, "before");
    }
    std::string text = "before";
    EXPECT_FALSE(LoadResourceString(nullptr, 1, text));
    EXPECT_EQ(text, "before");
}

TEST(LoadResourceString, LoadsTheServersOwnWarningText)
{
    std::string text;
    ASSERT_TRUE(LoadResourceString(106, text));
    EXPECT_EQ(win32::AnsiToUtf8(text).rfind("受信メールサーバが見つかりません。", 0), 0u);
}

}  // namespace
