#include "modernmail/EnglishRate.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

namespace modernmail {

EnglishRate::Letters EnglishRate::Count(std::string_view utf8)
{
    Letters letters;
    const auto* text = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(utf8.size());
    for (std::int32_t at = 0; at < length;) {
        UChar32 c = 0;
        U8_NEXT(text, at, length, c);
        if (c >= 0 && c < 0x80) {  // most of an English text
            letters.latin += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            continue;
        }
        // Digits, punctuation, blanks and symbols say nothing about the language; the long-vowel mark and the
        // iteration marks are letters of no script of their own but belong to Japanese text.
        if (c < 0 || !(u_isalpha(c) || c == 0x30FC || c == 0x3005)) {
            continue;
        }
        if (c == 0x30FC || c == 0x3005) {
            ++letters.japanese;
            continue;
        }
        UErrorCode status = U_ZERO_ERROR;
        switch (uscript_getScript(c, &status)) {
        case USCRIPT_LATIN:
            ++letters.latin;
            break;
        case USCRIPT_HIRAGANA:
        case USCRIPT_KATAKANA:
        case USCRIPT_HAN:
        case USCRIPT_KATAKANA_OR_HIRAGANA:
            ++letters.japanese;
            break;
        default:
            ++letters.other;
            break;
        }
    }
    return letters;
}

std::int32_t EnglishRate::Percent(const Letters& letters)
{
    const std::uint32_t total = letters.Total();
    return total == 0 ? 0 : static_cast<std::int32_t>(letters.latin * 100u / total);
}

}  // namespace modernmail
