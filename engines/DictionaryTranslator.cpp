// dictd index lines are "headword TAB offset TAB length", the numbers in dictd's base-64 digits; an entry is
// its headword line (with pronunciation and part of speech) followed by numbered or bare sense lines whose
// Japanese glosses are separated by ", ", each followed by an English explanation line.
#include "engines/DictionaryTranslator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "engines/EnglishWords.h"

namespace engines {

namespace {

bool FileExists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool DecodeDictNumber(std::string_view digits, std::uint64_t& value)
{
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (digits.empty()) {
        return false;
    }
    value = 0;
    for (char digit : digits) {
        const std::size_t position = kAlphabet.find(digit);
        if (position == std::string_view::npos) {
            return false;
        }
        value = value * 64 + position;
    }
    return true;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The Japanese glosses of a sense line ("1. 本, 書籍" or "訳す, 翻訳"): none when its first gloss is not
// Japanese, some non-ASCII text and no Latin letters (explanation lines and formula-like senses are passed over).
std::vector<std::string_view> GlossesOfSenseLine(std::string_view line)
{
    line = Trim(line);
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
        ++digits;
    }
    if (digits > 0 && line.substr(digits, 2) == ". ") {
        line.remove_prefix(digits + 2);
    }
    auto japanese = [](std::string_view gloss) {
        return !gloss.empty() && std::none_of(gloss.begin(), gloss.end(), IsAsciiLetter) &&
               std::any_of(gloss.begin(), gloss.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    };
    std::vector<std::string_view> glosses;
    while (!line.empty()) {
        const std::size_t comma = std::min(line.size(), line.find(','));
        std::string_view gloss = Trim(line.substr(0, comma));
        line.remove_prefix(std::min(line.size(), comma + 1));
        gloss = gloss.substr(0, gloss.find(' '));
        if (japanese(gloss)) {
            glosses.push_back(gloss);
        } else if (glosses.empty()) {
            return {};
        }
    }
    return glosses;
}

// Calls `visit` with each sense line of an entry (the lines after its headword line).
template <typename Visit>
void ForEachSenseLine(std::string_view entry, Visit visit)
{
    entry.remove_prefix(std::min(entry.size(), entry.find('\n') + 1));
    while (!entry.empty()) {
        const std::size_t end = std::min(entry.size(), entry.find('\n'));
        visit(entry.substr(0, end));
        entry.remove_prefix(std::min(entry.size(), end + 1));
    }
}

// The first Japanese gloss among an entry's sense lines.
std::string FirstGlossOfEntry(std::string_view entry)
{
    std::string first;
    ForEachSenseLine(entry, [&first](std::string_view line) {
        if (first.empty()) {
            const std::vector<std::string_view> glosses = GlossesOfSenseLine(line);
            first = glosses.empty() ? std::string() : std::string(glosses.front());
        }
    });
    return first;
}

}  // namespace

bool DictionaryTranslator::IsInstalled(const std::string& path)
{
    return FileExists(path + ".index") && FileExists(path + ".dict.dz");
}

std::unique_ptr<DictionaryTranslator> DictionaryTranslator::Open(const std::string& path, std::string& error)
{
    std::unique_ptr<DictionaryTranslator> translator(new DictionaryTranslator);
    win32::LockGuard lookupGuard(translator->lookupLock);  // nobody else has it yet
    if (!translator->LoadIndex(path + ".index", error) || !translator->data.Open(path + ".dict.dz", error)) {
        return nullptr;
    }
    return translator;
}

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool HeadwordLess(std::string_view a, std::string_view b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

bool ReadWholeFile(const std::string& path, std::string& contents)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    struct stat status {};
    bool ok = ::fstat(descriptor, &status) == 0;
    if (ok) {
        contents.resize(static_cast<std::size_t>(status.st_size));
        std::size_t got = 0;
        while (ok && got < contents.size()) {
            const ssize_t piece = ::read(descriptor, contents.data() + got, contents.size() - got);
            ok = piece > 0;
            got += ok ? static_cast<std::size_t>(piece) : 0;
        }
    }
    ::close(descriptor);
    return ok;
}

}  // namespace

bool DictionaryTranslator::LoadIndex(const std::string& path, std::string& error)
{
    if (!ReadWholeFile(path, indexText)) {
        error = path + ": cannot be read";
        return false;
    }
    index.reserve(indexText.size() / 16);
    const std::string_view text(indexText);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t firstTab = line.find('\t');
        const std::size_t secondTab = line.find('\t', firstTab + 1);
        if (firstTab == std::string_view::npos || secondTab == std::string_view::npos) {
            continue;
        }
        const std::string_view headword = line.substr(0, firstTab);
        if (headword.find(' ') != std::string_view::npos || headword.starts_with("00database")) {
            continue;
        }
        IndexEntry entry{headword, 0, 0};
        if (DecodeDictNumber(line.substr(firstTab + 1, secondTab - firstTab - 1), entry.offset) &&
            DecodeDictNumber(Trim(line.substr(secondTab + 1)), entry.length)) {
            index.push_back(entry);
        }
    }
    if (index.empty()) {
        error = path + ": no dictionary entries";
        return false;
    }
    auto less = [](const IndexEntry& a, const IndexEntry& b) { return HeadwordLess(a.headword, b.headword); };
    if (!std::is_sorted(index.begin(), index.end(), less)) {
        std::stable_sort(index.begin(), index.end(), less);
    }
    return true;
}

std::string DictionaryTranslator::GlossOfHeadword(const std::string& headword)
{
    auto less = [](const IndexEntry& a, const IndexEntry& b) { return HeadwordLess(a.headword, b.headword); };
    const auto [first, last] = std::equal_range(index.begin(), index.end(), IndexEntry{headword, 0, 0}, less);
    // The index lists every entry under its lower-case headword; the entry's own first line shows its case. The
    // word's own entries come first: those that differ only in case ("Will" the name, "AND" of logic for "will"
    // and "and") give a gloss only when the word has none of its own.
    std::string otherCaseGloss;
    for (auto entryAt = first; entryAt != last; ++entryAt) {
        std::optional<std::string> entry = data.Read(entryAt->offset, entryAt->length);
        if (!entry) {
            continue;
        }
        const std::string_view text(*entry);
        const std::size_t lineEnd = std::min(text.size(), text.find('\n'));
        const std::string_view headwordLine = text.substr(0, lineEnd);
        const bool sameCase = headwordLine.starts_with(headword) &&
                              (headwordLine.size() == headword.size() || headwordLine[headword.size()] == ' ');
        if (!sameCase && !otherCaseGloss.empty()) {
            continue;
        }
        std::string gloss = FirstGlossOfEntry(text);
        if (gloss.empty()) {
            continue;
        }
        if (sameCase) {
            return gloss;
        }
        otherCaseGloss = std::move(gloss);
    }
    return otherCaseGloss;
}

std::unordered_map<std::string, DictionaryTranslator::Senses> DictionaryTranslator::AllSenses()
{
    win32::LockGuard lookupGuard(lookupLock);
    std::unordered_map<std::string, Senses> all;
    for (const IndexEntry& entry : index) {
        const std::optional<std::string> text = data.Read(entry.offset, entry.length);
        if (!text) {
            continue;
        }
        Senses& senses = all[Lower(entry.headword)];
        ForEachSenseLine(*text, [&senses](std::string_view line) {
            const std::vector<std::string_view> glosses = GlossesOfSenseLine(line);
            if (!glosses.empty()) {
                senses.emplace_back(glosses.begin(), glosses.end());
            }
        });
    }
    return all;
}

std::string DictionaryTranslator::Gloss(std::string_view word)
{
    win32::LockGuard lookupGuard(lookupLock);
    return GlossLocked(word);
}

std::string DictionaryTranslator::GlossLocked(std::string_view word)
{
    const std::string lower = Lower(word);
    if (auto cached = glossCache.find(lower); cached != glossCache.end()) {
        return cached->second;
    }
    std::string gloss = GlossOfHeadword(lower);
    if (gloss.empty()) {
        for (const BaseForm& form : BaseForms(lower)) {
            gloss = GlossOfHeadword(form.word);
            if (!gloss.empty()) {
                break;
            }
        }
    }
    glossCache.emplace(lower, gloss);
    return gloss;
}

TranslationResult DictionaryTranslator::Translate(std::string_view utf8)
{
    win32::LockGuard lookupGuard(lookupLock);
    TranslationResult result;
    result.ok = true;
    result.text.reserve(utf8.size() * 3);
    std::size_t at = 0;
    while (at < utf8.size()) {
        if (!IsAsciiLetter(utf8[at])) {
            result.text.push_back(utf8[at++]);
            continue;
        }
        std::size_t end = at;
        while (end < utf8.size() && IsAsciiLetter(utf8[end])) {
            ++end;
        }
        // A contraction ("don't") is one word; it is glossed only when the dictionary has it whole.
        while (end + 1 < utf8.size() && utf8[end] == '\'' && IsAsciiLetter(utf8[end + 1])) {
            end += 2;
            while (end < utf8.size() && IsAsciiLetter(utf8[end])) {
                ++end;
            }
        }
        const std::string_view word = utf8.substr(at, end - at);
        result.text.append(word);
        const std::string gloss =
            word.find('\'') == std::string_view::npos ? GlossLocked(word) : GlossOfHeadword(Lower(word));
        if (!gloss.empty()) {
            result.text.append("(").append(gloss).append(")");
        }
        at = end;
    }
    return result;
}

}  // namespace engines
