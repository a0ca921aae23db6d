#include "core/LoadResourceString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace {

TEST(LoadResourceString, LoadsWholeEntriesAcrossTheBufferSteps)
{
    // Lengths around the points where the loader must grow its buffer (255, 511, 767 bytes with 5 free), and a long
    // Japanese text (in code page 932) whose double-byte characters a buffer boundary may fall inside.
    std::string letters;
    std::string japanese;
    for (int i = 0; i < 5000; ++i) {
        letters += static_cast<char>('a' + i % 26);
        japanese += i < 200 ? "翻訳" : "";
    }
    std::vector<std::string> texts;
    for (const std::size_t length : {1, 249, 250, 251, 253, 254, 255, 256, 505, 506, 507, 510, 511, 1000, 5000}) {
        texts.push_back(letters.substr(0, length));
    }
    texts.push_back(japanese + "x");
    std::vector<win32::StringResource> table;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        table.push_back({static_cast<win32::UINT>(i + 1), texts[i].c_str()});
    }
    table.push_back({100, ""});
    table.push_back({101, nullptr});
    const win32::ModuleResources module{table, nullptr};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].size());
        std::string loaded;
        ASSERT_TRUE(LoadResourceString(&module, static_cast<win32::UINT>(i + 1), loaded));
        EXPECT_EQ(win32::AnsiToUtf8(loaded), texts[i]);
    }
    // An empty, null or missing entry, or no module, fails and leaves the text alone.
    for (const auto& [resources, id] : {std::pair{&module, 100u}, {&module, 101u}, {&module, 102u}, {nullptr, 1u}}) {
        SCOPED_TRACE(id);
        std::string text = "before";
        EXPECT_FALSE(LoadResourceString(resources, id, text));
        EXPECT_EQ(text, "before");
    }
}

}  // namespace
