// Half-width katakana widening against nkf, which widens JIS X 0201 katakana when it writes Shift_JIS.
#include <gtest/gtest.h>

#include "MailTestSupport.h"
#include "mail/JapaneseCodeConverter.h"

namespace {

TEST(KanaWidening, AgreesWithNkfOnEveryLetterAndSoundMarkPair) {
    // Each of the 63 letters alone, with the voiced mark and with the semi-voiced mark, one per line.
    std::vector<std::string> inputs;
    std::string text, widened;
    for (int letter = 0xA1; letter <= 0xDF; ++letter) {
        for (const char* mark : {"", "\xDE", "\xDF"}) {
            inputs.push_back(std::string(1, static_cast<char>(letter)) + mark);
            text += inputs.back() + "\n";
        }
    }
    ASSERT_TRUE(mailtest::RunFilter("nkf -S -s", text, widened)) << "nkf is needed as the reference";
    const std::vector<std::string> expected = mailtest::Split(widened, "\n");
    ASSERT_EQ(expected.size(), inputs.size());

    const JapaneseCodeConverter converter;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "letter " << i / 3 << ", mark " << i % 3);
        std::string ours;
        ASSERT_TRUE(converter.HalfToFullKana(inputs[i], ours));
        EXPECT_EQ(ours, expected[i]);
    }
}

}  // namespace
