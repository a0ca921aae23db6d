// An EDICT line: "見出し [よみ] /(pos) (1) (tags) gloss/gloss/(pos) (2) gloss/.../(P)/" (the reading is absent for
// kana words; "(P)" marks a common word). The cache file is one header line naming the source as it was, then
// one line per key in byte order: "key TAB candidate TAB candidate ...", a candidate being "japanese pos flags
// sense gloss senses" (japanese never holds a blank). A lookup is a binary search over the lines of the mapped
// file, so opening the cache reads nothing but its header.
#include "engines/EdictIndex.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <unordered_set>

#include "engines/DictionaryTranslator.h"
#include "engines/EnglishWords.h"

namespace engines {

namespace {

// Named in the cache header: a cache made by another version of the ranking or the format is built again.
constexpr std::string_view kCacheFormat = "VUVed3UzeroVadave English index of EDICT 4";
// More candidates than this for one key are never the best, whatever the sentence.
constexpr std::size_t kCandidatesPerKey = 16;
constexpr std::size_t kVerbsBeyond = 6;
constexpr std::size_t kLongestKey = 48;

bool ReadFile(const std::string& path, std::string& contents)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// EUC-JP to UTF-8; a byte sequence that is not EUC-JP is left out (it can only spoil its own entry).
bool EucJpToUtf8(const std::string& euc, std::string& utf8, std::string& error)
{
    struct Converter {
        iconv_t handle = iconv_open("UTF-8", "EUC-JP");
        ~Converter()
        {
            if (handle != reinterpret_cast<iconv_t>(-1)) {
                iconv_close(handle);
            }
        }
    } converter;
    if (converter.handle == reinterpret_cast<iconv_t>(-1)) {
        error = "the EUC-JP converter is not available";
        return false;
    }
    utf8.resize(euc.size() * 3 / 2 + 16);
    char* in = const_cast<char*>(euc.data());
    std::size_t inLeft = euc.size();
    std::size_t written = 0;
    while (inLeft > 0) {
        char* out = utf8.data() + written;
        std::size_t outLeft = utf8.size() - written;
        const std::size_t result = iconv(converter.handle, &in, &inLeft, &out, &outLeft);
        written = utf8.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            utf8.resize(utf8.size() * 2);
        } else {
            ++in;  // EILSEQ or EINVAL: skip the byte
            --inLeft;
        }
    }
    utf8.resize(written);
    return true;
}

bool IsPartOfSpeechTag(std::string_view tag, unsigned& bits)
{
    static const std::unordered_set<std::string_view> others = {"pn", "prt", "conj", "ctr", "pref", "suf", "num",
                                                                "unc", "iv", "cop", "cop-da", "aux", "aux-v",
                                                                "aux-adj"};
    if (tag == "n" || tag.starts_with("n-")) {
        bits |= kNoun;
    } else if (tag == "vs") {
        bits |= kVerbalNoun;
    } else if (tag.starts_with("vs-") || tag == "vt" || tag == "vi" || tag == "vk" ||
               tag == "vz" || tag == "vn" || tag == "vr" || tag.starts_with("v1") || tag.starts_with("v2") ||
               tag.starts_with("v4") || tag.starts_with("v5")) {
        bits |= kVerb;
    } else if (tag.starts_with("adj")) {
        bits |= kAdjective;
    } else if (tag == "adv" || tag.starts_with("adv-")) {
        bits |= kAdverb;
    } else if (tag == "exp") {
        bits |= kExpression;
    } else if (tag == "int") {
        bits |= kInterjection;
    } else {
        return others.contains(tag);
    }
    return true;
}

bool IsAffixTag(std::string_view tag)
{
    return tag == "suf" || tag == "pref" || tag == "n-suf" || tag == "n-pref";
}

struct SenseTags {
    unsigned partsOfSpeech = 0;
    bool affix = false;  // also used as a prefix or suffix
    bool rare = false;
    bool specialty = false;  // a sense of a special field (computing, medicine, law)
    bool abbreviation = false;
    bool usuallyKana = false;

    // Adds the tags of a later group of the same sense.
    void Add(const SenseTags& more)
    {
        partsOfSpeech |= more.partsOfSpeech;
        affix = affix || more.affix;
        rare = rare || more.rare;
        specialty = specialty || more.specialty;
        abbreviation = abbreviation || more.abbreviation;
        usuallyKana = usuallyKana || more.usuallyKana;
    }
};

// One parenthesised tag group ("n,vs", "uk", "1"); false when it is part of the gloss ("(the) English").
bool ReadTagGroup(std::string_view group, SenseTags& tags, int& senseNumber)
{
    // Rare: archaic, obscure, slang, vulgar, honorific, irregular spellings, dialects.
    static const std::unordered_set<std::string_view> rare = {
        "arch", "obs", "obsc", "rare", "sl", "m-sl", "net-sl", "vulg", "X", "derog", "joc", "ik", "iK", "io",
        "ok", "oK", "poet", "male", "fem", "chn", "dated", "hist", "col", "sens", "rK", "sK", "oik", "hon",
        "ksb", "kyb", "osb", "tsb", "thb", "tsug", "kyu", "rkb", "nab", "hob"};
    // Special fields: such a sense is not a mail's everyday one (a mail's "call" is not a function call), but
    // it is the only one some words have ("bug" of software).
    static const std::unordered_set<std::string_view> specialties = {
        "Buddh", "MA", "comp", "geom", "gram", "ling", "math", "med", "mil", "physics", "sports", "Shinto", "baseb",
        "biol", "bot", "chem", "engr", "geol", "law", "mahj", "music", "shogi", "sumo", "zool", "anat", "astron",
        "archit", "elec", "ent", "fish", "golf", "print"};
    static const std::unordered_set<std::string_view> neutral = {
        "uk", "uK", "hum", "pol", "fam", "ateji", "gikun", "on-mim", "id", "proverb", "yoji", "eK", "ek",
        "form", "euph", "quote", "litf", "food", "econ", "finc", "bus", "tv"};
    if (!group.empty() && std::all_of(group.begin(), group.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        std::from_chars(group.data(), group.data() + group.size(), senseNumber);
        return true;
    }
    SenseTags seen;
    std::size_t start = 0;
    while (start <= group.size()) {
        const std::size_t end = std::min(group.size(), group.find(',', start));
        const std::string_view tag = group.substr(start, end - start);
        seen.affix = seen.affix || IsAffixTag(tag);
        if (rare.contains(tag)) {
            seen.rare = true;
        } else if (specialties.contains(tag)) {
            seen.specialty = true;
        } else if (tag == "uk") {
            seen.usuallyKana = true;
        } else if (tag == "abbr") {
            seen.abbreviation = true;
        } else if (!neutral.contains(tag) && !IsPartOfSpeechTag(tag, seen.partsOfSpeech)) {
            return false;
        }
        start = end + 1;
    }
    tags.Add(seen);
    return true;
}

// What the English-Japanese dictionary says of a candidate for a key.
enum class Confirmation : std::uint8_t { kFirstOfSense, kListed, kNone };

// One key and one of its candidates, while building.
struct Posting {
    std::uint32_t key;  // number of the key in the builder's key table
    std::uint16_t japaneseLength;
    std::uint32_t japaneseOffset;  // into the converted text
    std::uint32_t order;           // of the entry in the file
    std::uint8_t partsOfSpeech;
    std::uint8_t flags;
    std::uint8_t sense;
    std::uint8_t gloss;
    std::uint8_t length;  // of the Japanese, in characters
    std::uint8_t senses;  // of the entry: a word of many senses is a basic word
    std::uint8_t compounds;  // headwords that begin or end with this word: a basic word makes many
    Confirmation confirmation;
};

std::size_t CharacterCount(std::string_view utf8)
{
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The gloss as a key: lower case, single blanks, without a trailing explanation in parentheses, a verb's "to"
// and a leading article. Sets `partial` when something inside the gloss had to go.
std::string KeyOfGloss(std::string_view gloss, bool verb, bool& capital, bool& partial, bool& narrowed)
{
    std::string key;
    key.reserve(gloss.size());
    int depth = 0;
    for (char c : gloss) {
        if (c == '(') {
            // A part in parentheses before the gloss qualifies it ("(public) park"); one inside it is a part.
            if (depth++ == 0 && !key.empty()) {
                key.push_back('\x01');
            }
        } else if (c == ')') {
            depth = std::max(0, depth - 1);
        } else if (depth == 0) {
            const bool blank = c == ' ' || c == '\t';
            if (!(blank && (key.empty() || key.back() == ' '))) {
                key.push_back(blank ? ' ' : c);
            }
        }
    }
    while (!key.empty() && (key.back() == ' ' || key.back() == '\x01')) {
        key.pop_back();
    }
    // A closing remark that limits the gloss to a situation ("hello (e.g. on phone)", "(when ...)") makes it
    // narrower; one that gives examples of the thing ("cold (e.g. weather)") or its kind ("(of humans)") does not.
    if (const std::size_t open = gloss.rfind('('); open != std::string_view::npos && gloss.ends_with(')')) {
        std::string_view remark = gloss.substr(open + 1);
        if (remark.starts_with("e.g. ")) {
            remark.remove_prefix(5);
        }
        for (std::string_view limit : {"when ", "used ", "in ", "on ", "at ", "as ", "by "}) {
            narrowed = narrowed || remark.starts_with(limit);
        }
    }
    if (key.find('\x01') != std::string::npos) {
        partial = true;
        std::erase(key, '\x01');
        key.erase(0, std::min(key.size(), key.find_first_not_of(' ')));
        for (std::size_t doubled; (doubled = key.find("  ")) != std::string::npos;) {
            key.erase(doubled, 1);
        }
    }
    for (std::string_view opener : {"to ", "a ", "an ", "the "}) {
        if (key.starts_with(opener) && (verb || opener != "to ")) {
            key.erase(0, opener.size());
        }
    }
    while (!key.empty() && key.back() == ' ') {
        key.pop_back();
    }
    capital = !key.empty() && key[0] >= 'A' && key[0] <= 'Z';
    return Lower(key);
}

bool IsFullWidthLatin(std::string_view utf8)
{
    // U+FF10 to U+FF5A: EF BC 90 to EF BD 9A
    return utf8.size() >= 3 && static_cast<unsigned char>(utf8[0]) == 0xEF &&
           (static_cast<unsigned char>(utf8[1]) == 0xBC || static_cast<unsigned char>(utf8[1]) == 0xBD);
}

// The ranking that needs no context, as one number (smaller is better): a whole gloss, not a rare one, the first
// gloss of the first sense (else another gloss of it, else the first gloss of a later sense), a general sense
// before one of a special field, not narrowed to some use, a common word, not an affix (会 of 大会), a word the
// English-Japanese dictionary gives for the key too, best as the first gloss of a sense (a Japanese word whose
// sense merely includes the English one, 札 or 救い, is seldom what an English writer means), a shorter headword,
// then among words of one length the basic one: more compounds made with it (報告 of 報告書 before 通報 for
// "report"), more senses; then the place in the file.
std::uint64_t RankOf(const Posting& p)
{
    const std::uint64_t place = p.sense == 0 ? (p.gloss == 0 ? 0 : 1) : p.gloss == 0 ? 2 : 3;
    const std::uint64_t partial = (p.flags & GlossCandidate::kPartial) != 0;
    const std::uint64_t rare = (p.flags & GlossCandidate::kRare) != 0;
    const std::uint64_t uncommon = (p.flags & GlossCandidate::kCommon) == 0;
    const std::uint64_t affix = (p.flags & GlossCandidate::kAffix) != 0;
    const std::uint64_t narrowed = (p.flags & GlossCandidate::kNarrowed) != 0;
    const std::uint64_t specialty = (p.flags & GlossCandidate::kSpecialty) != 0;
    const std::uint64_t fewerCompounds = 255 - std::uint64_t{p.compounds};
    const std::uint64_t fewerSenses = 31 - std::min<std::uint64_t>(p.senses, 31);
    return partial << 63 | rare << 62 | place << 60 | specialty << 59 | narrowed << 58 | uncommon << 57 |
           affix << 56 | static_cast<std::uint64_t>(p.confirmation) << 54 | std::uint64_t{p.length} << 46 |
           fewerCompounds << 38 | fewerSenses << 33 | std::uint64_t{p.sense} << 25 |
           std::min<std::uint64_t>(p.order, 0x1FFFFFF);
}

class Builder {
public:
    explicit Builder(const std::string& text) : text(text)
    {
        keyIds.reserve(text.size() / 32);
        postings.reserve(text.size() / 12);
    }

    void AddLine(std::string_view line, std::uint32_t order)
    {
        const std::size_t headwordEnd = line.find(' ');
        if (headwordEnd == std::string_view::npos || headwordEnd == 0) {
            return;
        }
        const std::string_view headword = line.substr(0, headwordEnd);
        headwords.push_back(headword);
        if (IsFullWidthLatin(headword) || static_cast<unsigned char>(headword[0]) < 0x80) {
            return;
        }
        std::string_view reading = headword;
        std::size_t at = headwordEnd + 1;
        if (at < line.size() && line[at] == '[') {
            const std::size_t close = line.find(']', at);
            if (close == std::string_view::npos) {
                return;
            }
            reading = line.substr(at + 1, close - at - 1);
            at = close + 1;
        }
        const std::size_t glossesStart = line.find('/', at);
        if (glossesStart == std::string_view::npos) {
            return;
        }
        const bool common = line.find("/(P)/") != std::string_view::npos;
        std::vector<std::string_view> fields;
        for (std::size_t start = glossesStart + 1; start < line.size();) {
            const std::size_t end = std::min(line.size(), line.find('/', start));
            if (end > start) {
                fields.push_back(line.substr(start, end - start));
            }
            start = end + 1;
        }
        SenseTags tags;
        int sense = 0;
        int glossInSense = 0;
        struct Pending {
            std::string_view gloss;
            SenseTags tags;
            int sense;
            int glossInSense;
        };
        std::vector<Pending> pending;
        for (std::string_view field : fields) {
            if (field == "(P)") {
                continue;
            }
            SenseTags fieldTags;
            int senseNumber = 0;
            while (field.starts_with('(')) {
                const std::size_t close = field.find(')');
                if (close == std::string_view::npos ||
                    !ReadTagGroup(field.substr(1, close - 1), fieldTags, senseNumber)) {
                    break;
                }
                field.remove_prefix(close + 1);
                while (field.starts_with(' ')) {
                    field.remove_prefix(1);
                }
            }
            if (senseNumber > 1) {
                sense = senseNumber - 1;
                glossInSense = 0;
                const unsigned inherited = tags.partsOfSpeech;
                tags = SenseTags{};
                tags.partsOfSpeech = fieldTags.partsOfSpeech != 0 ? 0 : inherited;
            }
            tags.Add(fieldTags);
            if (!field.empty()) {
                pending.push_back({field, tags, sense, glossInSense++});
            }
        }
        for (const Pending& gloss : pending) {
            AddGloss(gloss.gloss, gloss.tags, gloss.tags.usuallyKana ? reading : headword, common,
                     {gloss.sense, gloss.glossInSense, sense + 1, order});
        }
    }

    // Notes whether the English-Japanese dictionary gives each candidate for its key, and whether as the first
    // gloss of a sense.
    void Confirm(const std::unordered_map<std::string, DictionaryTranslator::Senses>& englishJapanese)
    {
        std::vector<const DictionaryTranslator::Senses*> sensesOfKey(keyIds.size(), nullptr);
        for (const auto& [key, id] : keyIds) {
            if (const auto found = englishJapanese.find(key); found != englishJapanese.end()) {
                sensesOfKey[id] = &found->second;
            }
        }
        for (Posting& posting : postings) {
            const DictionaryTranslator::Senses* senses = sensesOfKey[posting.key];
            const std::string_view japanese(text.data() + posting.japaneseOffset, posting.japaneseLength);
            for (std::size_t i = 0; senses != nullptr && i < senses->size(); ++i) {
                const std::vector<std::string>& glosses = (*senses)[i];
                if (glosses.front() == japanese) {
                    posting.confirmation = Confirmation::kFirstOfSense;
                } else if (std::find(glosses.begin(), glosses.end(), japanese) != glosses.end()) {
                    posting.confirmation = std::min(posting.confirmation, Confirmation::kListed);
                }
            }
        }
    }

    // The index text: the header, then the key lines in order.
    std::string Finish(const std::string& header)
    {
        CountCompounds();
        // Keys are ordered once as strings; the postings then by key number and rank, which are integers.
        std::vector<std::pair<std::string_view, std::uint32_t>> ordered(keyIds.begin(), keyIds.end());
        std::sort(ordered.begin(), ordered.end());
        std::vector<std::uint32_t> place(ordered.size());
        std::vector<std::string_view> keyOfPlace(ordered.size());
        for (std::uint32_t i = 0; i < ordered.size(); ++i) {
            place[ordered[i].second] = i;
            keyOfPlace[i] = ordered[i].first;
        }
        for (Posting& posting : postings) {
            posting.key = place[posting.key];
        }
        std::sort(postings.begin(), postings.end(), [](const Posting& a, const Posting& b) {
            return a.key != b.key ? a.key < b.key : RankOf(a) < RankOf(b);
        });
        std::string out = header;
        out.reserve(postings.size() * 24);
        std::unordered_set<std::string_view> written;
        for (std::size_t first = 0; first < postings.size();) {
            const std::string_view key = keyOfPlace[postings[first].key];
            std::size_t last = first;
            while (last < postings.size() && postings[last].key == postings[first].key) {
                ++last;
            }
            out.append(key);
            written.clear();
            // Verbs list their synonyms as glosses, so the verb a sentence wants may rank behind many nouns: a
            // few verbs are kept beyond the others.
            std::size_t verbs = 0;
            for (std::size_t i = first; i < last && written.size() < kCandidatesPerKey + kVerbsBeyond; ++i) {
                const Posting& posting = postings[i];
                const bool verb = (posting.partsOfSpeech & kVerb) != 0;
                if (written.size() >= kCandidatesPerKey + verbs && (!verb || verbs >= kVerbsBeyond)) {
                    continue;
                }
                const std::string_view japanese(text.data() + posting.japaneseOffset, posting.japaneseLength);
                if (!written.insert(japanese).second) {
                    continue;  // the same word through a worse sense
                }
                verbs += written.size() > kCandidatesPerKey && verb ? 1 : 0;
                out.push_back('\t');
                out.append(japanese);
                for (unsigned number : {unsigned{posting.partsOfSpeech}, unsigned{posting.flags},
                                        unsigned{posting.sense}, unsigned{posting.gloss}, unsigned{posting.senses}}) {
                    out.push_back(' ');
                    out.append(std::to_string(number));
                }
            }
            out.push_back('\n');
            first = last;
        }
        return out;
    }

private:
    // Where a gloss stands in its entry.
    struct Place {
        int sense;
        int gloss;
        int senses;
        std::uint32_t order;
    };

    void AddGloss(std::string_view gloss, const SenseTags& tags, std::string_view japanese, bool common,
                  const Place& place)
    {
        bool capital = false;
        bool partial = false;
        bool narrowed = false;
        // A one-character abbreviation (日 for Sunday) stands for a longer word, which reads better; a gloss used
        // only within names ("brother (usu. in names of films, companies, etc.)") is no translation of the word.
        const std::size_t remark = gloss.ends_with(')') ? gloss.rfind('(') : std::string_view::npos;
        const bool inNamesOnly =
            remark != std::string_view::npos && gloss.find("in names of", remark) != std::string_view::npos;
        const bool rare = tags.rare || (tags.abbreviation && CharacterCount(japanese) == 1) || inNamesOnly;
        const bool verb = (tags.partsOfSpeech & (kVerb | kVerbalNoun | kExpression)) != 0;
        const std::string key = KeyOfGloss(gloss, verb, capital, partial, narrowed);
        if (key.empty() || key.size() > kLongestKey) {
            return;
        }
        unsigned flags = (partial ? unsigned{GlossCandidate::kPartial} : 0u) |
                         (rare ? unsigned{GlossCandidate::kRare} : 0u) |
                         (common ? unsigned{GlossCandidate::kCommon} : 0u) |
                         (capital ? unsigned{GlossCandidate::kCapital} : 0u) |
                         (tags.specialty ? unsigned{GlossCandidate::kSpecialty} : 0u) |
                         (tags.affix ? unsigned{GlossCandidate::kAffix} : 0u) |
                         (narrowed ? unsigned{GlossCandidate::kNarrowed} : 0u);
        Add(key, japanese, tags.partsOfSpeech, flags, place);
        // The last word of a short gloss leads to it too, behind every whole gloss: it names what the gloss is
        // ("meeting" in "business meeting"), where the words before it only qualify it ("good" in "good book").
        if (const std::size_t blank = key.rfind(' ');
            blank != std::string::npos && std::count(key.begin(), key.end(), ' ') <= 2 && key.size() - blank > 3) {
            Add(std::string_view(key).substr(blank + 1), japanese, tags.partsOfSpeech,
                flags | GlossCandidate::kPartial, place);
        }
    }

    void Add(std::string_view key, std::string_view japanese, unsigned partsOfSpeech, unsigned flags,
             const Place& place)
    {
        if (key.find('\t') != std::string_view::npos || key.find('\n') != std::string_view::npos) {
            return;
        }
        Posting posting{};
        posting.key = keyIds.try_emplace(std::string(key), static_cast<std::uint32_t>(keyIds.size())).first->second;
        posting.japaneseOffset = static_cast<std::uint32_t>(japanese.data() - text.data());
        posting.japaneseLength = static_cast<std::uint16_t>(japanese.size());
        posting.order = place.order;
        posting.senses = static_cast<std::uint8_t>(std::min(place.senses, 255));
        posting.partsOfSpeech = static_cast<std::uint8_t>(partsOfSpeech);
        posting.flags = static_cast<std::uint8_t>(flags);
        posting.sense = static_cast<std::uint8_t>(std::min(place.sense, 255));
        posting.gloss = static_cast<std::uint8_t>(std::min(place.gloss, 255));
        posting.length = static_cast<std::uint8_t>(std::min<std::size_t>(CharacterCount(japanese), 255));
        posting.confirmation = Confirmation::kNone;
        postings.push_back(posting);
    }

    // How many headwords begin or end with each candidate's Japanese (of two characters or more).
    void CountCompounds()
    {
        std::unordered_map<std::string_view, std::uint32_t> compounds;
        for (const Posting& posting : postings) {
            if (posting.length >= 2) {
                compounds.emplace(std::string_view(text.data() + posting.japaneseOffset, posting.japaneseLength), 0);
            }
        }
        for (std::string_view headword : headwords) {
            for (std::size_t cut = 1; cut < headword.size(); ++cut) {
                if ((static_cast<unsigned char>(headword[cut]) & 0xC0) == 0x80) {
                    continue;  // not between two characters
                }
                for (std::string_view part : {headword.substr(0, cut), headword.substr(cut)}) {
                    if (auto found = compounds.find(part); found != compounds.end()) {
                        ++found->second;
                    }
                }
            }
        }
        for (Posting& posting : postings) {
            const auto found =
                compounds.find(std::string_view(text.data() + posting.japaneseOffset, posting.japaneseLength));
            posting.compounds =
                found == compounds.end() ? 0 : static_cast<std::uint8_t>(std::min<std::uint32_t>(found->second, 255));
        }
    }

    const std::string& text;
    std::vector<std::string_view> headwords;
    std::unordered_map<std::string, std::uint32_t> keyIds;
    std::vector<Posting> postings;
};

// A file as the cache was made from it: its path, size and modification time ("-" when it is absent).
std::string StampOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return path + "\t-";
    }
    return path + "\t" + std::to_string(status.st_size) + "\t" + std::to_string(status.st_mtim.tv_sec) + "." +
           std::to_string(status.st_mtim.tv_nsec);
}

// Written beside its final name and renamed into place, so a reader never maps half a file.
void WriteCache(const std::string& cacheFile, const std::string& contents)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(cacheFile).parent_path(), ignored);
    const std::string temporary = cacheFile + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        if (!out.flush()) {
            out.close();
            std::filesystem::remove(temporary, ignored);
            return;
        }
    }
    if (std::rename(temporary.c_str(), cacheFile.c_str()) != 0) {
        std::filesystem::remove(temporary, ignored);
    }
}

std::string_view KeyOfLine(std::string_view line) { return line.substr(0, line.find('\t')); }

}  // namespace

EdictIndex::~EdictIndex()
{
    if (mapping != nullptr) {
        ::munmap(mapping, mappedSize);
    }
}

bool EdictIndex::Map(const std::string& cacheFile, const std::string& header)
{
    const int descriptor = ::open(cacheFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    struct stat status {};
    void* mapped = MAP_FAILED;
    if (::fstat(descriptor, &status) == 0 && static_cast<std::size_t>(status.st_size) > header.size()) {
        mapped = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
    }
    ::close(descriptor);
    if (mapped == MAP_FAILED) {
        return false;
    }
    const std::string_view contents(static_cast<const char*>(mapped), static_cast<std::size_t>(status.st_size));
    if (!contents.starts_with(header) || contents.back() != '\n') {
        ::munmap(mapped, static_cast<std::size_t>(status.st_size));
        return false;
    }
    mapping = mapped;
    mappedSize = static_cast<std::size_t>(status.st_size);
    body = contents.substr(header.size());
    return true;
}

std::unique_ptr<EdictIndex> EdictIndex::Open(const std::string& source, const std::string& englishJapanese,
                                             const std::string& cacheFile, std::string& error)
{
    struct stat status {};
    if (::stat(source.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        error = source + ": cannot be read";
        return nullptr;
    }
    std::unique_ptr<EdictIndex> index(new EdictIndex);
    const std::string header = std::string(kCacheFormat) + "\t" + StampOf(source) + "\t" +
                               StampOf(englishJapanese + ".index") + "\t" + StampOf(englishJapanese + ".dict.dz") +
                               "\n";
    if (index->Map(cacheFile, header)) {
        return index;
    }
    std::string euc;
    std::string utf8;
    if (!ReadFile(source, euc)) {
        error = source + ": cannot be read";
        return nullptr;
    }
    if (!EucJpToUtf8(euc, utf8, error)) {
        error = source + ": " + error;
        return nullptr;
    }
    euc = std::string();
    Builder builder(utf8);
    std::uint32_t order = 0;
    for (std::size_t start = 0; start < utf8.size();) {
        const std::size_t end = std::min(utf8.size(), utf8.find('\n', start));
        // The first line describes the file itself.
        if (order > 0) {
            builder.AddLine(std::string_view(utf8).substr(start, end - start), order);
        }
        ++order;
        start = end + 1;
    }
    if (DictionaryTranslator::IsInstalled(englishJapanese)) {
        std::string ignored;
        if (const auto confirming = DictionaryTranslator::Open(englishJapanese, ignored)) {
            builder.Confirm(confirming->AllSenses());
        }
    }
    index->builtText = builder.Finish(header);
    if (index->builtText.size() == header.size()) {
        error = source + ": no dictionary entries";
        return nullptr;
    }
    WriteCache(cacheFile, index->builtText);
    index->body = std::string_view(index->builtText).substr(header.size());
    index->built = true;
    return index;
}

std::vector<GlossCandidate> EdictIndex::Find(std::string_view key) const
{
    // Binary search over byte positions: each probe backs up to the start of its line.
    std::size_t low = 0;
    std::size_t high = body.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        // npos + 1 is 0: no line break before the probe means the first line.
        const std::size_t lineStart = middle == low ? low : std::max(low, body.rfind('\n', middle - 1) + 1);
        const std::size_t lineEnd = body.find('\n', lineStart);
        const std::string_view line = body.substr(lineStart, lineEnd - lineStart);
        const std::string_view lineKey = KeyOfLine(line);
        if (lineKey == key) {
            std::vector<GlossCandidate> candidates;
            std::string_view rest = line.substr(std::min(line.size(), lineKey.size() + 1));
            while (!rest.empty()) {
                const std::string_view field = rest.substr(0, rest.find('\t'));
                rest.remove_prefix(std::min(rest.size(), field.size() + 1));
                GlossCandidate candidate;
                const std::size_t blank = field.find(' ');
                candidate.japanese = field.substr(0, blank);
                unsigned* numbers[] = {&candidate.partsOfSpeech, &candidate.flags, &candidate.sense,
                                       &candidate.gloss, &candidate.senses};
                std::size_t at = blank;
                for (unsigned* number : numbers) {
                    if (at == std::string_view::npos) {
                        break;
                    }
                    const std::size_t next = field.find(' ', at + 1);
                    const std::string_view digits = field.substr(at + 1, next - at - 1);
                    std::from_chars(digits.data(), digits.data() + digits.size(), *number);
                    at = next;
                }
                candidates.push_back(candidate);
            }
            return candidates;
        }
        if (lineKey < key) {
            low = lineEnd + 1;
        } else {
            high = lineStart;
        }
    }
    return {};
}

}  // namespace engines
