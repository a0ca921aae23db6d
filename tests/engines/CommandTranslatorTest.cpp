// Against real programs run through /bin/sh.
#include "engines/CommandTranslator.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandTranslator, RealPrograms) {
    const struct { const char* command; std::string input; bool ok; std::string textOrError; unsigned timeout = 20; }
    cases[] = {
        {"sed 's/Hello/こんにちは/'", "Hello world", true, "こんにちは world"},
        {"tr a-z A-Z", "abc 日本", true, "ABC 日本"},
        {"cat", "", true, ""},
        {"echo fixed", std::string(1 << 20, 'x'), true, "fixed\n"},  // does not read its input at all
        {"wc -c", std::string(1 << 20, 'x'), true, "1048576\n"},      // more input than a pipe holds
        {"exit 3", "text", false, "status 3"},
        {"kill -9 $$", "text", false, "signal 9"},
        {"printf '\\377\\376'", "text", false, "not UTF-8"},
        {"/nonexistent/translator", "text", false, "status 127"},
        {"yes", "text", false, "more than 1048576 bytes"},  // endless output is cut off
        // The shell's child keeps the output open: the whole process group must be ended.
        {"sleep 30; echo late", "text", false, "did not finish within 1 seconds", 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.command);
        const auto result = engines::CommandTranslator(test.command, test.timeout).Translate(test.input);
        EXPECT_EQ(result.ok, test.ok) << result.error;
        const bool named = result.error.find(test.textOrError) != std::string::npos;
        EXPECT_TRUE(test.ok ? result.text == test.textOrError : named) << result.text << result.error;
    }
}

}  // namespace
