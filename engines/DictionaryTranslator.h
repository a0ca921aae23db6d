// The offline translator: an English-to-Japanese gloss from a dictd-format dictionary (".index" text file and
// ".dict.dz" dictzip data), read directly. Every English word is kept and followed by its first Japanese gloss
// in parentheses. Shared by the engine objects of a process (DictionaryCache); calls are serialised inside.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engines/DictZipFile.h"
#include "engines/Translator.h"
#include "platform/ThreadSafety.h"

namespace engines {

class DictionaryTranslator final : public Translator {
public:
    // The files of the default dictionary, Debian's dict-freedict-eng-jpn.
    static constexpr const char* kDefaultPath = "/usr/share/dictd/freedict-eng-jpn";

    // Whether both files of the dictionary at `path` are present.
    static bool IsInstalled(const std::string& path);
    // Loads the index and opens the data file; null with `error` set when either cannot be read.
    static std::unique_ptr<DictionaryTranslator> Open(const std::string& path, std::string& error);

    TranslationResult Translate(std::string_view utf8) override;
    // The first Japanese gloss of an English word (tried as written in lower case, then with its plural, -ed
    // or -ing ending stripped); empty when the dictionary has none.
    std::string Gloss(std::string_view word);
    // The Japanese glosses of every sense of every entry, under the entry's lower-case headword: what an English
    // reader's dictionary gives for a word, against which the choices of a dictionary made the other way round
    // are checked.
    using Senses = std::vector<std::vector<std::string>>;
    std::unordered_map<std::string, Senses> AllSenses();

private:
    std::string GlossLocked(std::string_view word) REQUIRES(lookupLock);
    struct IndexEntry {
        std::string_view headword;  // points into indexText
        std::uint64_t offset;
        std::uint64_t length;
    };

    DictionaryTranslator() = default;
    bool LoadIndex(const std::string& path, std::string& error);
    // The first gloss of the lower-case headword, from its own entries before those that differ only in case.
    std::string GlossOfHeadword(const std::string& headword) REQUIRES(lookupLock);

    // The index file as read, and its entries ordered by headword without regard to case (the file's own
    // order, which is kept for entries of the same headword), so a lookup is a binary search.
    std::string indexText;
    std::vector<IndexEntry> index;
    win32::Mutex lookupLock;
    std::unordered_map<std::string, std::string> glossCache GUARDED_BY(lookupLock);
    DictZipFile data GUARDED_BY(lookupLock);
};

}  // namespace engines
