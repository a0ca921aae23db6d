#include "modernmail/LineWrapper.h"

#include <gtest/gtest.h>

namespace {

using modernmail::LineWrapper;

TEST(LineWrapperWrap, FitsDisplayColumnsWithoutCuttingWords) {
    const std::string english = "The quick brown fox jumps over the lazy dog and keeps running far away.";
    const std::string japanese = "これは翻訳の結果です。日本語の文は単語の間に空白がなくても折り返せます。";
    const struct { const char* name; std::string text; int columns; std::vector<std::string> expected; } cases[] = {
        {"at blanks", english, 20,
         {"The quick brown fox", "jumps over the lazy", "dog and keeps", "running far away."}},
        {"wide characters count two columns", japanese, 20,
         {"これは翻訳の結果で", "す。日本語の文は単語", "の間に空白がなくても", "折り返せます。"}},
        {"a word longer than the line stands alone", "a https://example.com/very/long b", 8,
         {"a", "https://", "example.com/", "very/", "long b"}},
        {"line ends are kept", "one\ntwo\r\n\nthree", 72, {"one", "two", "", "three"}},
    };
    LineWrapper wrapper;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(wrapper.Wrap(c.text, c.columns), c.expected);
    }
    EXPECT_EQ(wrapper.Wrap("https://example.com/long a", 8, true),
              (std::vector<std::string>{"https://example.com/long", "a"}))
        << "only at blanks: the address is not broken";
    EXPECT_EQ(LineWrapper::Width("aあ\xCC\x81"), 3) << "a combining mark takes no column";
}

}  // namespace
