// Against the installed dictionary (dict-freedict-eng-jpn).
#include "engines/DictionaryTranslator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engines/DictZipFile.h"
#include "engines/DictionaryCache.h"
#include "mail/MailTestSupport.h"
#include "settings/ScopedFolderVariable.h"

using namespace engines;

namespace {

namespace fs = std::filesystem;

constexpr const char* kPath = DictionaryTranslator::kDefaultPath;

// Copies of the installed dictionary's files with the given ends, as `folder`/dictionary.
std::string CopiedDictionary(const std::string& folder, std::initializer_list<const char*> ends) {
    for (const char* end : ends) {
        fs::copy_file(std::string(kPath) + end, folder + "/dictionary" + end);
    }
    return folder + "/dictionary";
}

TEST(DictionaryTranslator, FirstJapaneseGlossOfAWordOrOfItsBaseWord) {
    ASSERT_TRUE(DictionaryTranslator::IsInstalled(kPath)) << "the dictionary package is not installed";
    std::string error;
    const auto translator = DictionaryTranslator::Open(kPath, error);
    ASSERT_TRUE(translator) << error;
    // A row without a gloss expects the gloss of its base word.
    const struct { const char* word; const char* gloss; const char* base = nullptr; } cases[] = {
        {"cat", "猫"},           // "猫 2." in the data: the stray sense number is not part of the gloss
        {"book", "本"},          // numbered senses
        {"translate", "訳す"},   // a bare sense line
        {"the", "その"},         // the first entry's sense is a formula, so the next entry's gloss is taken
        {"Cat", "猫"},           // case does not matter
        {"will", "意志"},        // the word's own entry, not the name "Will" that comes first in the data
        {"and", "然して"},       // nor "AND" of logic
        {"xyzzyplugh", ""},
        // Inflected forms; words that are headwords themselves ("reading", "running") keep their own gloss.
        {"books", nullptr, "book"},   {"boxes", nullptr, "box"},      {"cities", nullptr, "city"},
        {"notes", nullptr, "note"},   {"uses", nullptr, "use"},       {"wishes", nullptr, "wish"},
        {"translated", nullptr, "translate"}, {"played", nullptr, "play"}, {"stopped", nullptr, "stop"},
        {"studied", nullptr, "study"}, {"making", nullptr, "make"},   {"hopped", nullptr, "hop"},
        {"translating", nullptr, "translate"}, {"hoping", nullptr, "hope"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.word);
        const std::string expected = test.gloss ? test.gloss : translator->Gloss(test.base);
        ASSERT_EQ(expected.empty(), test.gloss && *test.gloss == '\0') << "only the unknown word has no gloss";
        EXPECT_EQ(translator->Gloss(test.word), expected);
    }
    EXPECT_EQ(translator->Translate(" The cat, xyzzyplugh 42 猫!").text, " The(その) cat(猫), xyzzyplugh 42 猫!");
}

TEST(DictionaryCache, KeepsTheDictionaryUntilAFileChanges) {
    const ScopedFolderVariable temporary("TMPDIR");
    const std::string path = CopiedDictionary(temporary.folder, {".index", ".dict.dz"});

    DictionaryCache cache;
    std::string error;
    const auto first = cache.Get(path, error);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(cache.Get(path, error), first) << "an unchanged dictionary is not opened again";

    fs::last_write_time(path + ".index", fs::last_write_time(path + ".index") - std::chrono::hours(1));
    const auto reopened = cache.Get(path, error);
    ASSERT_TRUE(reopened) << error;
    EXPECT_NE(reopened, first);
    EXPECT_EQ(first->Translate("cat").text, "cat(猫)") << "an engine holding the old dictionary can still use it";

    fs::remove(path + ".dict.dz");
    EXPECT_FALSE(cache.Get(path, error));
    EXPECT_NE(error.find(path + ".dict.dz"), std::string::npos) << error;
}

// Ranges against the whole decompressed file, a copy with a damaged chunk, and a file that is not dictzip.
TEST(DictZipFile, RangesMatchTheWholeFileADamagedChunkSparesTheOthersAndAForeignFileIsRefused) {
    const std::string path = std::string(kPath) + ".dict.dz";
    std::string plain;
    ASSERT_TRUE(mailtest::RunFilter("gzip -dc '" + path + "'", "", plain));
    ASSERT_GT(plain.size(), 200000u);

    DictZipFile file;
    std::string error;
    ASSERT_TRUE(file.Open(path, error)) << error;
    // Within a chunk, across one and two chunk boundaries (every 58315 bytes), back to the start, all.
    const std::pair<std::uint64_t, std::uint64_t> ranges[] = {
        {0, 100}, {plain.size() - 10, 10}, {58315 - 5, 10}, {58315 * 2 - 1, 58315 + 2}, {0, plain.size()}};
    for (const auto& [offset, length] : ranges) {
        const std::optional<std::string> expected = plain.substr(offset, length);
        EXPECT_EQ(file.Read(offset, length), expected) << offset << "+" << length;
    }
    EXPECT_FALSE(file.Read(plain.size() + 100000, 10).has_value()) << "a range past the end";

    // dictzip carries no checksum per chunk, so a damaged chunk may read as nothing or as wrong bytes; what matters
    // is that reading ends, and that the other chunks, which inflate on their own, still read right.
    const ScopedFolderVariable temporary("TMPDIR");
    const std::string damagedPath = CopiedDictionary(temporary.folder, {".dict.dz"}) + ".dict.dz";
    {
        // Overwrite the middle of the file (some chunk's compressed data) with bytes that are no deflate data.
        std::fstream bytes(damagedPath, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(static_cast<std::streamoff>(fs::file_size(damagedPath) / 2));
        bytes << std::string(4096, '\xff');
    }
    DictZipFile damaged;
    ASSERT_TRUE(damaged.Open(damagedPath, error)) << error;
    int different = 0;
    for (std::uint64_t offset = 0; offset + 100 <= plain.size(); offset += 50'000) {
        different += damaged.Read(offset, 100) != std::optional(plain.substr(offset, 100)) ? 1 : 0;
    }
    EXPECT_GE(different, 1) << "the damage was not noticed at all";
    EXPECT_LE(different, 3) << "4 KiB of damage spans at most two chunks of 58 KiB";

    DictZipFile notGzip;
    error.clear();
    EXPECT_FALSE(notGzip.Open(std::string(kPath) + ".index", error));
    EXPECT_NE(error.find("not a dictzip file"), std::string::npos) << error;
    EXPECT_FALSE(notGzip.Read(0, 10).has_value());
}

}  // namespace
