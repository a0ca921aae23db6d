// Choosing a gloss: expressions of up to five words are looked up before the single words they hold; a word is
// looked up in its base form unless its own form is a common word of its own (news, meeting, glasses), and
// among the candidates the ranking is: a whole gloss, not a rare one, the case as written, the role the
// neighbours show, the first gloss of the first sense, a common word, a word that is no affix, a shorter headword.
#include "engines/EdictTranslator.h"

#include <sys/stat.h>

#include <algorithm>
#include <tuple>

#include "engines/EnglishWords.h"

namespace engines {

struct EdictTranslator::Word {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string lower;
    bool capitalised = false;
    bool sentenceStart = false;
    char joiner = 0;  // ' ' or '-' when only that lies between this word and the next, else 0
};

namespace {

constexpr std::size_t kLongestExpression = 5;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A mail address, a URL or a host name: copied as it stands.
bool IsAddress(std::string_view chunk)
{
    while (!chunk.empty() && std::string_view(".,;:!?)]>\"'").find(chunk.back()) != std::string_view::npos) {
        chunk.remove_suffix(1);
    }
    if (chunk.find('@') != std::string_view::npos || chunk.find("://") != std::string_view::npos ||
        chunk.starts_with("www.")) {
        return true;
    }
    for (std::size_t dot = chunk.find('.'); dot != std::string_view::npos; dot = chunk.find('.', dot + 1)) {
        if (dot > 0 && dot + 2 < chunk.size() && (IsLetter(chunk[dot - 1]) || IsDigit(chunk[dot - 1])) &&
            IsLetter(chunk[dot + 1]) && IsLetter(chunk[dot + 2])) {
            return true;
        }
    }
    return false;
}

unsigned RoleBits(WordRole role)
{
    switch (role) {
    case WordRole::Noun:
        return kNoun;
    case WordRole::Verb:
        return kVerb;
    case WordRole::Adjective:
        return kAdjective;
    case WordRole::NounOrAdjective:
        return kNoun | kAdjective;
    case WordRole::Adverb:
        return kAdverb;
    case WordRole::Unknown:
        break;
    }
    return 0;
}

// The best candidate for a word used in `roleBits` (0: any), its case taken into account; null when none.
const GlossCandidate* Best(const std::vector<GlossCandidate>& candidates, unsigned roleBits, bool lowerCase)
{
    const GlossCandidate* best = nullptr;
    // The index's own order with the case and the role put in front of it. A verb is better a verb than a noun
    // that takes suru (始まる before 開始 for "will start"), and among verbs, whose glosses list their synonyms,
    // the common one comes before the one whose first gloss the word is (話す before 物申す for "speak").
    auto rank = [&](const GlossCandidate& c, std::size_t position) {
        const bool verbRole = (roleBits & kVerb) != 0;
        const unsigned roleMismatch = roleBits == 0 || (c.partsOfSpeech & roleBits) != 0     ? 0
                                      : verbRole && (c.partsOfSpeech & kVerbalNoun) != 0 ? 1
                                                                                         : 2;
        return std::make_tuple(c.flags & GlossCandidate::kPartial, c.flags & GlossCandidate::kRare,
                               lowerCase && (c.flags & GlossCandidate::kCapital) != 0, roleMismatch,
                               verbRole && (c.flags & GlossCandidate::kCommon) == 0, position);
    };
    std::size_t bestPosition = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (best == nullptr || rank(candidates[i], i) < rank(*best, bestPosition)) {
            best = &candidates[i];
            bestPosition = i;
        }
    }
    return best;
}

bool Usable(const GlossCandidate& c)
{
    return (c.flags & (GlossCandidate::kPartial | GlossCandidate::kRare)) == 0;
}

// A common word whose first gloss is the key itself, of a kind its ending allows: the word as written, not an
// inflection of another (a noun for meeting and dinner, an adjective for interested).
bool StandsOnItsOwn(const std::vector<GlossCandidate>& candidates, bool lowerCase, Inflection inflection)
{
    const unsigned kinds = inflection == Inflection::Past          ? kAdjective
                           : inflection == Inflection::Progressive ? kNoun | kAdjective
                           : inflection == Inflection::Comparative ? kNoun | kAdverb
                                                                   : ~0u;
    return std::any_of(candidates.begin(), candidates.end(), [lowerCase, kinds](const GlossCandidate& c) {
        return Usable(c) && (c.flags & GlossCandidate::kCommon) != 0 && c.sense == 0 && c.gloss == 0 &&
               (c.partsOfSpeech & kinds) != 0 && !(lowerCase && (c.flags & GlossCandidate::kCapital) != 0);
    });
}

// What a base form reached through an inflection may be: a plural or third person is a noun or verb, a past or
// -ing form a verb, a comparative an adjective or adverb.
unsigned PartsOfSpeechOf(Inflection inflection)
{
    switch (inflection) {
    case Inflection::Plural:
        return kNoun | kVerb | kVerbalNoun;
    case Inflection::Past:
    case Inflection::Progressive:
        return kVerb | kVerbalNoun;
    case Inflection::Comparative:
        return kAdjective | kAdverb;
    case Inflection::Irregular:
    case Inflection::None:
        break;
    }
    return ~0u;
}

}  // namespace

bool EdictTranslator::IsInstalled(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::unique_ptr<EdictTranslator> EdictTranslator::Open(const std::string& path, const std::string& cacheFile,
                                                       std::string& error, const std::string& englishJapanese)
{
    std::unique_ptr<EdictIndex> index = EdictIndex::Open(path, englishJapanese, cacheFile, error);
    if (!index) {
        return nullptr;
    }
    return std::unique_ptr<EdictTranslator>(new EdictTranslator(std::move(index)));
}

namespace {

std::vector<EdictTranslator::Word> Words(std::string_view text)
{
    std::vector<EdictTranslator::Word> words;
    bool sentenceStart = true;
    std::size_t gapStart = 0;
    std::size_t at = 0;
    auto closeGap = [&](std::size_t gapEnd) {
        const std::string_view gap = text.substr(gapStart, gapEnd - gapStart);
        if (!words.empty()) {
            const bool blanks = !gap.empty() && gap.find_first_not_of(' ') == std::string_view::npos;
            words.back().joiner = blanks ? ' ' : gap == "-" ? '-' : 0;
        }
        sentenceStart = sentenceStart || gap.find_first_of(".!?:;\n") != std::string_view::npos;
    };
    while (at < text.size()) {
        // An address is one chunk between blanks, wherever its letters are.
        if (!IsBlank(text[at]) && (at == 0 || IsBlank(text[at - 1]))) {
            std::size_t chunkEnd = at;
            while (chunkEnd < text.size() && !IsBlank(text[chunkEnd])) {
                ++chunkEnd;
            }
            if (IsAddress(text.substr(at, chunkEnd - at))) {
                if (!words.empty()) {
                    words.back().joiner = 0;
                }
                at = chunkEnd;
                continue;
            }
        }
        if (!IsLetter(text[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() &&
               (IsLetter(text[end]) || (text[end] == '\'' && end + 1 < text.size() && IsLetter(text[end + 1])))) {
            ++end;
        }
        closeGap(at);
        EdictTranslator::Word word;
        word.begin = at;
        word.end = end;
        word.lower = Lower(text.substr(at, end - at));
        word.capitalised = text[at] >= 'A' && text[at] <= 'Z';
        word.sentenceStart = sentenceStart;
        // Letters joined to digits are a number or a code ("3pm", "A4"), not a word.
        const bool touchesDigit = (at > 0 && IsDigit(text[at - 1])) || (end < text.size() && IsDigit(text[end]));
        if (!touchesDigit) {
            words.push_back(std::move(word));
        }
        sentenceStart = false;
        gapStart = end;
        at = end;
    }
    closeGap(text.size());
    if (!words.empty()) {
        words.back().joiner = 0;
    }
    return words;
}

}  // namespace

std::string EdictTranslator::GlossOfExpression(const std::vector<Word>& words, std::size_t first,
                                               std::size_t count) const
{
    // An expression opens with a content word or a preposition ("as soon as possible", "in the morning"), not
    // with an article, a pronoun or an auxiliary ("I hope" is not だろう).
    const std::string_view opener = words[first].lower;
    if (IsFunctionWord(opener) && !IsPreposition(opener)) {
        return {};
    }
    bool content = false;
    std::string rest;
    for (std::size_t i = first; i < first + count; ++i) {
        content = content || !IsFunctionWord(words[i].lower);
        if (i > first) {
            rest.push_back(words[i - 1].joiner);
            rest.append(words[i].lower);
        }
    }
    // Two words ending in a preposition are a verb and its particle ("want to", "look at"): the verb alone
    // reads better than the dictionary's rare set phrases of that shape.
    const std::string_view last = words[first + count - 1].lower;
    if (!content || (count == 2 && (IsPreposition(last) || last == "to"))) {
        return {};
    }
    // The first word may be inflected ("looking forward to").
    std::vector<std::string> openers{std::string(opener)};
    for (const BaseForm& base : BaseForms(std::string(opener))) {
        openers.push_back(base.word);
    }
    for (const std::string& form : openers) {
        std::vector<GlossCandidate> candidates = index->Find(form + rest);
        // Two words the dictionary happens to hold as one gloss ("good book", "work on") are mostly better
        // glossed one by one; a set phrase is marked as an expression, or is a common noun ("next week").
        std::erase_if(candidates, [count](const GlossCandidate& c) {
            const bool setPhrase = (c.partsOfSpeech & (kExpression | kInterjection)) != 0 || count >= 3 ||
                                   ((c.flags & GlossCandidate::kCommon) != 0 && c.partsOfSpeech == kNoun);
            return !Usable(c) || !setPhrase;
        });
        if (const GlossCandidate* best = Best(candidates, 0, false)) {
            return std::string(best->japanese);
        }
    }
    return {};
}

std::string EdictTranslator::GlossOfWord(const std::vector<Word>& words, std::size_t at) const
{
    const Word& word = words[at];
    if (word.lower.size() < 2 || word.lower.find('\'') != std::string::npos || IsFunctionWord(word.lower)) {
        return {};
    }
    std::vector<GlossCandidate> own = index->Find(word.lower);
    if (word.capitalised && !word.sentenceStart) {
        // A name, unless the dictionary writes the word with its capital too (Monday, Japan, English).
        std::erase_if(own, [](const GlossCandidate& c) {
            return !Usable(c) || (c.flags & GlossCandidate::kCapital) == 0;
        });
        const GlossCandidate* best = Best(own, 0, false);
        return best != nullptr ? std::string(best->japanese) : std::string();
    }
    const bool lowerCase = !word.capitalised;
    const bool joinedBefore = at > 0 && words[at - 1].joiner == ' ' && !word.sentenceStart;
    const bool joinedAfter = word.joiner == ' ' && at + 1 < words.size() && !words[at + 1].sentenceStart;
    const std::string_view before = joinedBefore ? std::string_view(words[at - 1].lower) : std::string_view();
    const std::string_view after = joinedAfter ? std::string_view(words[at + 1].lower) : std::string_view();
    const WordRole role = GuessRole(before, word.lower, after, word.sentenceStart);
    const std::vector<BaseForm> bases = BaseForms(word.lower);
    // A plural or an irregular form goes to its base form (the table knows the words that only look plural); a
    // word with an ending of its own kind (meeting, interested, later) stays itself when it is a common word of
    // its own, unless the sentence uses it as a verb.
    const Inflection inflection = bases.empty() ? Inflection::None : bases.front().inflection;
    const bool baseFirst = inflection == Inflection::Plural ||
                           (inflection == Inflection::Irregular && role != WordRole::NounOrAdjective &&
                            role != WordRole::Noun) ||
                           (role == WordRole::Verb && inflection != Inflection::None) ||
                           !StandsOnItsOwn(own, lowerCase, inflection);
    if (baseFirst) {
        for (const BaseForm& base : bases) {
            const unsigned allowed = PartsOfSpeechOf(base.inflection);
            std::vector<GlossCandidate> candidates = index->Find(base.word);
            std::erase_if(candidates, [allowed](const GlossCandidate& c) {
                return !Usable(c) || (c.partsOfSpeech & allowed) == 0;
            });
            // A past or -ing form is a verb proper rather than a noun that takes suru (増す, not 増益).
            const bool verbForm = base.inflection == Inflection::Past || base.inflection == Inflection::Progressive;
            const unsigned roleBits = role != WordRole::Unknown ? RoleBits(role)
                                      : verbForm                ? unsigned{kVerb}
                                      : allowed == ~0u          ? 0
                                                                : allowed;
            if (const GlossCandidate* best = Best(candidates, roleBits, lowerCase)) {
                return std::string(best->japanese);
            }
        }
    }
    const GlossCandidate* best = Best(own, RoleBits(role), lowerCase);
    return best != nullptr ? std::string(best->japanese) : std::string();
}

std::vector<EdictTranslator::Gloss> EdictTranslator::Glosses(std::string_view utf8) const
{
    const std::vector<Word> words = Words(utf8);
    std::vector<Gloss> glosses;
    for (std::size_t at = 0; at < words.size();) {
        std::size_t run = 1;
        while (run < kLongestExpression && at + run < words.size() && words[at + run - 1].joiner != 0) {
            ++run;
        }
        std::size_t taken = 0;
        for (std::size_t count = run; count >= 2 && taken == 0; --count) {
            if (std::string japanese = GlossOfExpression(words, at, count); !japanese.empty()) {
                glosses.push_back({words[at].begin, words[at + count - 1].end, std::move(japanese)});
                taken = count;
            }
        }
        if (taken == 0) {
            if (std::string japanese = GlossOfWord(words, at); !japanese.empty()) {
                glosses.push_back({words[at].begin, words[at].end, std::move(japanese)});
            }
            taken = 1;
        }
        at += taken;
    }
    return glosses;
}

TranslationResult EdictTranslator::Translate(std::string_view utf8)
{
    TranslationResult result;
    result.ok = true;
    result.text.reserve(utf8.size() * 2);
    std::size_t copied = 0;
    for (const Gloss& gloss : Glosses(utf8)) {
        result.text.append(utf8.substr(copied, gloss.end - copied));
        result.text.append("(").append(gloss.japanese).append(")");
        copied = gloss.end;
    }
    result.text.append(utf8.substr(copied));
    return result;
}

}  // namespace engines
