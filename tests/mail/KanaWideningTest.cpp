// Half-width katakana widening against nkf, which widens JIS X 0201 katakana when it writes Shift_JIS.
#include <gtest/gtest.h>

#include "MailTestSupport.h"
#include "mail/JapaneseCodeConverter.h"

namespace {

std::vector<std::string> SplitLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST(KanaWidening, AgreesWithNkfOnEveryLetterAndSoundMarkPair) {
    // Each of the 63 letters alone, with the voiced mark and with the semi-voiced mark, one per line.
    std::vector<std::string> inputs;
    for (int letter = 0xA1; letter <= 0xDF; ++letter) {
        for (const char* mark : {"", "\xDE", "\xDF"}) {
            inputs.push_back(std::string(1, static_cast<char>(letter)) + mark);
        }
    }
    std::string text;
    for (const std::string& input : inputs) {
        text += input + "\n";
    }
    std::string widened;
    ASSERT_TRUE(mailtest::RunFilter("nkf -S -s", text, widened)) << "nkf is needed as the reference";
    const std::vector<std::string> expected = SplitLf(widened);
    ASSERT_EQ(expected.size(), inputs.size());

    const JapaneseCodeConverter converter;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "half-width bytes " << std::hex
                                        << static_cast<int>(static_cast<unsigned char>(inputs[i][0])) << " +"
                                        << inputs[i].size() - 1 << " mark");
        std::string ours;
        ASSERT_TRUE(converter.HalfToFullKana(inputs[i], ours));
        EXPECT_EQ(ours, expected[i]);
    }
}

}  // namespace
