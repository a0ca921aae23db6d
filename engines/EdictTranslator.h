// The offline translator over EDICT: each English word or expression the dictionary holds is kept and followed
// by its Japanese in parentheses, chosen by the word's form and role in the sentence; function words, numbers,
// addresses and names are left as they stand. Owns the English index; read-only, so any thread may translate.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engines/DictionaryTranslator.h"
#include "engines/EdictIndex.h"
#include "engines/Translator.h"

namespace engines {

class EdictTranslator final : public Translator {
public:
    // Debian's edict package.
    static constexpr const char* kDefaultPath = "/usr/share/edict/edict";

    static bool IsInstalled(const std::string& path);
    // The translator over the EDICT file at `path`, its index cached in `cacheFile`, its choices checked against
    // the English-Japanese dictionary at `englishJapanese` where one is installed; null with `error` set when
    // the file cannot be read.
    static std::unique_ptr<EdictTranslator> Open(const std::string& path, const std::string& cacheFile,
                                                 std::string& error,
                                                 const std::string& englishJapanese =
                                                     DictionaryTranslator::kDefaultPath);

    // A glossed stretch of the text: one word or an expression of several.
    struct Gloss {
        std::size_t begin;
        std::size_t end;
        std::string japanese;
    };
    std::vector<Gloss> Glosses(std::string_view utf8) const;

    TranslationResult Translate(std::string_view utf8) override;

    const EdictIndex& Index() const { return *index; }

    // A word of the text, with what its neighbours say of it.
    struct Word;

private:
    explicit EdictTranslator(std::unique_ptr<EdictIndex> index) : index(std::move(index)) {}
    std::string GlossOfExpression(const std::vector<Word>& words, std::size_t first, std::size_t count) const;
    std::string GlossOfWord(const std::vector<Word>& words, std::size_t at) const;

    std::unique_ptr<EdictIndex> index;
};

}  // namespace engines
