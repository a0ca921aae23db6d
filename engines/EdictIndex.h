// The English index of an EDICT file (Japanese headword, reading, English glosses per line, EUC-JP): every gloss
// as a key, with the Japanese words it stands for and what ranks them. Built from the EDICT file at first use
// and kept as a cache file, which later processes map instead of building again. Read-only once made, so any
// thread may look up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engines {

// Parts of speech of a sense, as bits.
enum PartOfSpeech : unsigned {
    kNoun = 1,
    kVerb = 2,
    kVerbalNoun = 64,  // a noun that takes suru
    kAdjective = 4,
    kAdverb = 8,
    kExpression = 16,
    kInterjection = 32,
};

struct GlossCandidate {
    enum Flag : unsigned {
        kPartial = 1,   // the key is one word of a longer gloss
        kRare = 2,      // archaic, obscure, slang, vulgar, abbreviated, or an irregular spelling
        kCommon = 4,    // the entry is marked common
        kCapital = 8,   // the gloss is written with a capital (a day, a country, a language)
        kAffix = 16,    // the sense is also a prefix or suffix (会 of 大会): a word standing alone is better
        kNarrowed = 32,  // the gloss is limited to some use ("hello (when answering the phone)")
        kSpecialty = 64,  // a sense of a special field (computing, medicine, law)
    };
    std::string_view japanese;  // the headword, or the reading of a word usually written in kana
    unsigned partsOfSpeech = 0;
    unsigned flags = 0;
    unsigned sense = 0;  // 0 for the first sense
    unsigned gloss = 0;  // 0 for the first gloss of its sense
    unsigned senses = 1;  // of the entry
};

class EdictIndex {
public:
    ~EdictIndex();
    EdictIndex(const EdictIndex&) = delete;
    EdictIndex& operator=(const EdictIndex&) = delete;

    // The index of the EDICT file at `source`: mapped from `cacheFile` when that was made from the files as they
    // are now (same paths, sizes and modification times), else built and written there (a cache that cannot be
    // written only costs the next process a build). `englishJapanese` is a dictd English-Japanese dictionary
    // whose glosses confirm candidates, or a path where none is installed. Null with `error` set when the source
    // cannot be read.
    static std::unique_ptr<EdictIndex> Open(const std::string& source, const std::string& englishJapanese,
                                            const std::string& cacheFile, std::string& error);

    // The candidates for a key (lower case, words separated by one blank), best first by the ranking that needs
    // no context (see RankOf in the source).
    std::vector<GlossCandidate> Find(std::string_view key) const;

    // Whether this process built the index (rather than mapping the cache).
    bool Built() const { return built; }

private:
    EdictIndex() = default;
    bool Map(const std::string& cacheFile, const std::string& header);

    std::string builtText;      // the index when it was built here
    void* mapping = nullptr;    // the cache file when mapped
    std::size_t mappedSize = 0;
    std::string_view body;      // the sorted key lines, in builtText or the mapping
    bool built = false;
};

}  // namespace engines
