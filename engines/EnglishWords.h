// What the dictionary engines know of English itself: the function words they leave alone, the base forms of
// inflected words, and the role (noun, verb, adjective) a word's neighbours show. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engines {

// The text with ASCII capitals made small (the rest unchanged).
std::string Lower(std::string_view text);

// Articles, prepositions, auxiliaries and modals, pronouns, conjunctions and the like, and number words: they
// carry no meaning a gloss would add. `lower` is in lower case.
bool IsFunctionWord(std::string_view lower);
// "in", "as", "at", "by", ...: a preposition may open a set phrase.
bool IsPreposition(std::string_view lower);
// "a", "the", "my", "this", ...: a word after one of these is used as a noun (or an adjective before one).
bool IsDeterminer(std::string_view lower);

// How a word was reached from the word in the text.
enum class Inflection { None, Plural, Past, Progressive, Comparative, Irregular };

struct BaseForm {
    std::string word;
    Inflection inflection;
};

// Base forms to try for an inflected lower-case word, most likely first: irregular verbs and plurals from a
// table, then the regular endings (plurals and third person, -ed, -ing, -er/-est).
std::vector<BaseForm> BaseForms(const std::string& lower);

enum class WordRole { Unknown, Noun, Verb, Adjective, NounOrAdjective, Adverb };

// The role of a word its neighbours show; `before` and `after` are the lower-case words next to it in the same
// sentence (empty at its ends), `sentenceStart` whether it opens a sentence.
WordRole GuessRole(std::string_view before, std::string_view word, std::string_view after, bool sentenceStart);

}  // namespace engines
