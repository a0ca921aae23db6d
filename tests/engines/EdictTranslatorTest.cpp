// The EDICT dictionary engine: the installed edict package against a hand-written table of accepted glosses, and
// a small EDICT file of our own for the index cache and the parts of the ranking the table cannot isolate.
#include "engines/EdictTranslator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

#include "engines/DictionaryCache.h"
#include "mail/MailTestSupport.h"
#include "settings/ScopedFolderVariable.h"

using engines::EdictTranslator;
namespace fs = std::filesystem;

namespace {

TEST(EdictTranslator, GlossesEverydayMailAsTheTableAccepts) {
    ASSERT_TRUE(EdictTranslator::IsInstalled(EdictTranslator::kDefaultPath)) << "the edict package is not installed";
    const ScopedFolderVariable cache("XDG_CACHE_HOME");
    std::string error;
    const auto translator =
        EdictTranslator::Open(EdictTranslator::kDefaultPath, cache.folder + "/index", error);
    ASSERT_TRUE(translator) << error;

    std::ifstream table(std::string(VUVED_SOURCE_DIR) + "/tests/data/engines/dictionary_glosses.tsv");
    ASSERT_TRUE(table);
    int rows = 0, right = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::smatch row, whole;
        ASSERT_TRUE(std::regex_match(line, row, std::regex("([^\t]*)\t([^\t]*)\t([^\t]*)"))) << line;
        const std::string sentence = row[1], word = row[2], accepted = row[3];
        ASSERT_TRUE(std::regex_search(sentence, whole, std::regex("\\b" + word + "\\b"))) << line;
        // The gloss given to the word (alone or in an expression), "-" when none.
        const auto at = static_cast<std::size_t>(whole.position());
        const std::vector<EdictTranslator::Gloss> glosses = translator->Glosses(sentence);
        const auto hit = std::find_if(glosses.begin(), glosses.end(),
                                      [at](const auto& g) { return g.begin <= at && at < g.end; });
        const std::string gloss = hit != glosses.end() ? hit->japanese : "-";
        const bool ok = ("|" + accepted + "|").find("|" + gloss + "|") != std::string::npos;
        ++rows;
        right += ok ? 1 : 0;
        // A word to be left alone (function word, number, name, address) never gets a gloss.
        EXPECT_TRUE(ok || accepted != "-") << word << " in \"" << sentence << "\" got " << gloss;
        if (!ok) {
            std::cout << "not accepted: " << word << "(" << gloss << ") in \"" << sentence << "\"\n";
        }
    }
    const double rate = static_cast<double>(right) / rows;
    std::cout << "accepted glosses: " << right << " of " << rows << " (" << rate * 100 << " %)\n";
    RecordProperty("accepted_percent", static_cast<int>(rate * 100));
    ASSERT_GE(rows, 100);
    EXPECT_GE(rate, 0.95);
}

// EDICT lines in UTF-8, written as the package's EUC-JP.
void WriteEdict(const std::string& path, const std::string& utf8) {
    std::string written;
    ASSERT_TRUE(mailtest::RunFilter("iconv -f UTF-8 -t EUC-JP > '" + path + "'", utf8, written));
}

constexpr const char* kSmallEdict =
    "\xe3\x80\x80\xef\xbc\x9f\xef\xbc\x9f\xef\xbc\x9f /EDICT test file/\n"
    "旧書 [きゅうしょ] /(n) (arch) book/\n"
    "本 [ほん] /(n) (1) book/volume/(pref) (2) this/(P)/\n"
    "予約 [よやく] /(n,vs) (1) reservation/(2) book (a seat)/(P)/\n"
    "取る [とる] /(v5r,vt) (1) to take/to book/(P)/\n"
    "好著 [こうちょ] /(n) good book/\n"
    "下さい [ください] /(exp) (uk) please/(P)/\n"
    "楽しみにする [たのしみにする] /(exp,vs-i) to look forward to/\n"
    "月曜 [げつよう] /(n) Monday/(P)/\n"
    "猫 [ねこ] /(n) cat/(P)/\n"
    "猫舌 [ねこじた] /(n) cat tongue/\n";

TEST(EdictTranslator, RanksBuildsCachesAndRebuildsItsIndexAndTheEngineClassCachesItInTheUsersCache) {
    const ScopedFolderVariable folder("XDG_CACHE_HOME");
    const std::string source = folder.folder + "/edict";
    const std::string cacheFile = folder.folder + "/cache/index";
    WriteEdict(source, kSmallEdict);
    std::string error;
    const struct { const char* text; const char* expected; } cases[] = {
        {"I read a good book.", "I read a good book(本)."},  // not a rare sense of "book", nor "good book"
        {"Please book a room.", "Please(ください) book(取る) a room."},       // a verb before an object; kana
        {"I look forward to Monday.", "I look forward to(楽しみにする) Monday(月曜)."},
        {"Cats and the cat, Monday.", "Cats(猫) and the cat(猫), Monday(月曜)."},  // plural; "cat tongue" is a part
        {"Ask Cat at cat@example.com", "Ask Cat at cat@example.com"},          // a name, an address
    };
    // Built, then mapped from the index kept for the next process.
    for (const bool built : {true, false}) {
        const auto translator = EdictTranslator::Open(source, cacheFile, error);
        ASSERT_TRUE(translator) << error;
        EXPECT_EQ(translator->Index().Built(), built);
        for (const auto& c : cases) {
            EXPECT_EQ(translator->Translate(c.text).text, c.expected) << c.text;
        }
    }
    // A changed source, and then a damaged cache, are built again.
    WriteEdict(source, std::string(kSmallEdict) + "犬 [いぬ] /(n) dog/(P)/\n");
    for (const bool damaged : {false, true}) {
        if (damaged) {
            fs::resize_file(cacheFile, fs::file_size(cacheFile) / 2);
        }
        const auto translator = EdictTranslator::Open(source, cacheFile, error);
        ASSERT_TRUE(translator) << error;
        EXPECT_TRUE(translator->Index().Built());
        EXPECT_EQ(translator->Translate("dog").text, "dog(犬)");
    }

    EXPECT_FALSE(EdictTranslator::Open(folder.folder + "/missing", cacheFile, error));
    EXPECT_NE(error.find(folder.folder + "/missing"), std::string::npos) << error;

    // The engine class keeps one dictionary: an EDICT file, with its index cached below $XDG_CACHE_HOME.
    engines::DictionaryCache cache;
    const auto dictionary = cache.Get(source, error);
    ASSERT_TRUE(dictionary) << error;
    EXPECT_TRUE(fs::exists(folder.folder + "/VUVed3UzeroVadave/edict-english.index"));
    EXPECT_EQ(dictionary->Translate("dog").text, "dog(犬)");
    EXPECT_EQ(cache.Get(source, error), dictionary);
}

}  // namespace
