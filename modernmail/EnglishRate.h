// How English a Unicode text is: its letters of the Latin alphabet against its kana and kanji and the letters of
// every other script. Stateless; any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace modernmail {

class EnglishRate {
public:
    struct Letters {
        std::uint32_t latin = 0;
        std::uint32_t japanese = 0;  // kana and kanji
        std::uint32_t other = 0;     // letters of any other script
        std::uint32_t Total() const { return latin + japanese + other; }
    };

    static Letters Count(std::string_view utf8);
    // Percent of the letters that are Latin; 0 for a text without letters (there is nothing to translate).
    static std::int32_t Percent(const Letters& letters);
    // More than half of the letters are kana or kanji.
    static bool MostlyJapanese(const Letters& letters) { return letters.japanese * 2 > letters.Total(); }
};

}  // namespace modernmail
