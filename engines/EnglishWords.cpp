// The word lists are closed classes of English (they do not grow with the dictionary); the irregular forms are
// those of everyday mail.
#include "engines/EnglishWords.h"

#include <unordered_map>
#include <unordered_set>

namespace engines {

namespace {

const std::unordered_set<std::string_view>& FunctionWords()
{
    static const std::unordered_set<std::string_view> words = {
        // articles and determiners
        "a", "an", "the", "this", "that", "these", "those", "my", "your", "his", "her", "its", "our", "their",
        "some", "any", "each", "every", "no", "another", "such", "both", "either", "neither", "all", "own",
        // pronouns
        "i", "me", "you", "he", "him", "she", "it", "we", "us", "they", "them", "mine", "yours", "hers", "ours",
        "theirs", "myself", "yourself", "himself", "herself", "itself", "ourselves", "yourselves", "themselves",
        "who", "whom", "whose", "which", "what", "one", "ones", "someone", "anyone", "everyone", "nobody",
        "somebody", "anybody", "everybody", "something", "anything", "everything", "nothing", "there",
        // auxiliaries and modals
        "am", "is", "are", "was", "were", "be", "been", "being", "do", "does", "did", "done", "doing", "have",
        "has", "had", "having", "will", "would", "shall", "should", "can", "could", "may", "might", "must",
        "ought", "not",
        // prepositions
        "about", "above", "across", "after", "against", "along", "among", "around", "as", "at", "before",
        "behind", "below", "beneath", "beside", "besides", "between", "beyond", "by", "despite", "down", "during",
        "except", "for", "from", "in", "inside", "into", "like", "near", "of", "off", "on", "onto", "out",
        "outside", "over", "past", "per", "since", "than", "through", "throughout", "till", "to", "toward",
        "towards", "under", "underneath", "until", "unto", "up", "upon", "via", "with", "within", "without",
        // conjunctions
        "and", "but", "or", "nor", "so", "yet", "if", "because", "although", "though", "while", "whereas",
        "unless", "whether", "when", "where", "why", "how", "then", "also",
        // number words
        "zero", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten", "eleven", "twelve",
        "thirteen", "fourteen", "fifteen", "sixteen", "seventeen", "eighteen", "nineteen", "twenty", "thirty",
        "forty", "fifty", "sixty", "seventy", "eighty", "ninety", "hundred", "thousand", "million", "billion",
    };
    return words;
}

const std::unordered_set<std::string_view>& Determiners()
{
    static const std::unordered_set<std::string_view> words = {
        "a", "an", "the", "this", "that", "these", "those", "my", "your", "his", "her", "its", "our", "their",
        "some", "any", "each", "every", "no", "another", "one", "two", "three", "several", "many", "few",
    };
    return words;
}

// Words after which the next word is a verb: modals, the infinitive's "to" is judged by what follows.
const std::unordered_set<std::string_view>& VerbOpeners()
{
    static const std::unordered_set<std::string_view> words = {
        "i", "we", "you", "they", "he", "she", "will", "would", "shall", "should", "can", "could", "may",
        "might", "must", "please", "let's", "don't", "doesn't", "didn't", "won't", "can't", "not", "also",
        "never", "always", "often", "usually", "just",
    };
    return words;
}

// Words that begin a verb's object: a verb comes before them, a noun seldom does.
const std::unordered_set<std::string_view>& ObjectOpeners()
{
    static const std::unordered_set<std::string_view> words = {
        "a", "an", "the", "this", "that", "these", "those", "my", "your", "his", "her", "its", "our", "their",
        "me", "you", "us", "him", "them", "it", "some", "any",
    };
    return words;
}

const std::unordered_set<std::string_view>& BeForms()
{
    static const std::unordered_set<std::string_view> words = {"am", "is", "are", "was", "were", "be", "been",
                                                               "being", "very", "too", "so", "quite", "really",
                                                               "more", "most", "less", "feel", "seems"};
    return words;
}

// Irregular inflected forms and their base forms.
const std::unordered_map<std::string_view, std::string_view>& IrregularForms()
{
    static const std::unordered_map<std::string_view, std::string_view> forms = {
        {"went", "go"}, {"gone", "go"}, {"goes", "go"}, {"sent", "send"}, {"got", "get"}, {"gotten", "get"},
        {"took", "take"}, {"taken", "take"}, {"made", "make"}, {"came", "come"}, {"saw", "see"},
        {"seen", "see"}, {"knew", "know"}, {"known", "know"}, {"thought", "think"}, {"brought", "bring"},
        {"bought", "buy"}, {"caught", "catch"}, {"taught", "teach"}, {"found", "find"}, {"gave", "give"},
        {"given", "give"}, {"told", "tell"}, {"said", "say"}, {"paid", "pay"}, {"left", "leave"},
        {"felt", "feel"}, {"kept", "keep"}, {"meant", "mean"}, {"met", "meet"}, {"ran", "run"}, {"wrote", "write"},
        {"written", "write"}, {"spoke", "speak"}, {"spoken", "speak"}, {"began", "begin"}, {"begun", "begin"},
        {"chose", "choose"}, {"chosen", "choose"}, {"forgot", "forget"}, {"forgotten", "forget"},
        {"understood", "understand"}, {"stood", "stand"}, {"held", "hold"}, {"built", "build"},
        {"spent", "spend"}, {"lost", "lose"}, {"won", "win"}, {"sold", "sell"}, {"heard", "hear"},
        {"led", "lead"}, {"read", "read"}, {"drove", "drive"}, {"driven", "drive"}, {"ate", "eat"},
        {"eaten", "eat"}, {"drank", "drink"}, {"flew", "fly"}, {"flown", "fly"}, {"grew", "grow"},
        {"grown", "grow"}, {"threw", "throw"}, {"thrown", "throw"}, {"wore", "wear"}, {"worn", "wear"},
        {"broke", "break"}, {"broken", "break"}, {"fell", "fall"}, {"fallen", "fall"}, {"slept", "sleep"},
        {"sat", "sit"}, {"rang", "ring"}, {"sang", "sing"}, {"swam", "swim"}, {"woke", "wake"}, {"hid", "hide"},
        {"rose", "rise"}, {"shown", "show"}, {"became", "become"}, {"forgave", "forgive"}, {"fed", "feed"},
        {"children", "child"}, {"men", "man"}, {"women", "woman"}, {"feet", "foot"}, {"teeth", "tooth"},
        {"mice", "mouse"}, {"better", "good"}, {"best", "good"}, {"worse", "bad"}, {"worst", "bad"},
        {"further", "far"}, {"wives", "wife"}, {"knives", "knife"}, {"analyses", "analysis"},
    };
    return forms;
}

// Words that end like a plural and are words of their own.
const std::unordered_set<std::string_view>& PluralLookingWords()
{
    static const std::unordered_set<std::string_view> words = {
        "news", "glasses", "clothes", "goods", "series", "means", "thanks", "savings", "belongings",
        "surroundings", "headquarters", "species", "physics", "mathematics", "economics", "politics",
        "always", "perhaps", "sometimes", "afterwards", "towards", "business", "address", "process", "access",
        "success", "class", "glass", "status", "bonus", "campus", "virus", "analysis", "basis", "crisis", "yes",
        "bus", "gas", "plus", "minus", "various", "serious", "famous", "previous", "this", "his", "its"};
    return words;
}

bool EndsWith(std::string_view text, std::string_view ending)
{
    return text.size() > ending.size() && text.substr(text.size() - ending.size()) == ending;
}

bool IsVowel(char c) { return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u'; }

}  // namespace

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool IsFunctionWord(std::string_view lower) { return FunctionWords().contains(lower); }

bool IsPreposition(std::string_view lower)
{
    static const std::unordered_set<std::string_view> words = {"as", "at", "by", "for", "from", "in", "of", "on",
                                                               "out", "under", "with", "without", "after"};
    return words.contains(lower);
}

bool IsDeterminer(std::string_view lower) { return Determiners().contains(lower); }

std::vector<BaseForm> BaseForms(const std::string& word)
{
    std::vector<BaseForm> forms;
    if (PluralLookingWords().contains(word)) {
        return forms;
    }
    if (auto irregular = IrregularForms().find(word); irregular != IrregularForms().end()) {
        forms.push_back({std::string(irregular->second), Inflection::Irregular});
    }
    auto stemOf = [&word](std::size_t cut) { return word.substr(0, word.size() - cut); };
    // A doubled last consonant (stopped, running, bigger) is undone; a silent "e" (making, nicer) comes back.
    auto addStems = [&forms](const std::string& stem, Inflection inflection) {
        if (stem.size() < 2) {
            return;
        }
        forms.push_back({stem + "e", inflection});
        forms.push_back({stem, inflection});
        if (stem[stem.size() - 1] == stem[stem.size() - 2] && !IsVowel(stem.back()) && stem.back() != 'l' &&
            stem.back() != 's') {
            forms.push_back({stem.substr(0, stem.size() - 1), inflection});
        }
    };
    if (EndsWith(word, "ies")) {
        forms.push_back({stemOf(3) + "y", Inflection::Plural});
    }
    // "-es" after a hissing sound or an "o" (boxes, wishes, goes); "-s" after anything else, also after "-se"
    // (notes, uses), so "-es" is cut after an "s" only when "-s" finds nothing (buses).
    const std::string esStem = EndsWith(word, "es") ? stemOf(2) : std::string();
    const bool takesEs = EndsWith(esStem, "ss") || EndsWith(esStem, "x") || EndsWith(esStem, "z") ||
                         EndsWith(esStem, "ch") || EndsWith(esStem, "sh") || EndsWith(esStem, "o");
    if (takesEs) {
        forms.push_back({esStem, Inflection::Plural});
    }
    if (EndsWith(word, "s") && !EndsWith(word, "ss") && !EndsWith(word, "us") && !EndsWith(word, "is")) {
        forms.push_back({stemOf(1), Inflection::Plural});
    }
    if (!takesEs && EndsWith(esStem, "s")) {
        forms.push_back({esStem, Inflection::Plural});
    }
    if (EndsWith(word, "ied")) {
        forms.push_back({stemOf(3) + "y", Inflection::Past});
    } else if (EndsWith(word, "ed")) {
        addStems(stemOf(2), Inflection::Past);
    }
    if (EndsWith(word, "ing") && word.size() > 4) {
        addStems(stemOf(3), Inflection::Progressive);
    }
    if (EndsWith(word, "ier")) {
        forms.push_back({stemOf(3) + "y", Inflection::Comparative});
    } else if (EndsWith(word, "er") && word.size() > 4) {
        addStems(stemOf(2), Inflection::Comparative);
    }
    if (EndsWith(word, "iest")) {
        forms.push_back({stemOf(4) + "y", Inflection::Comparative});
    } else if (EndsWith(word, "est") && word.size() > 5) {
        addStems(stemOf(3), Inflection::Comparative);
    }
    return forms;
}

WordRole GuessRole(std::string_view before, std::string_view word, std::string_view after, bool sentenceStart)
{
    const bool objectFollows = ObjectOpeners().contains(after);
    if (IsDeterminer(before)) {
        // "the report" is a noun; "the new report" may be an adjective before its noun.
        return after.empty() || IsFunctionWord(after) ? WordRole::Noun : WordRole::NounOrAdjective;
    }
    if (VerbOpeners().contains(before) || (before == "to" && objectFollows) || (sentenceStart && objectFollows)) {
        return WordRole::Verb;
    }
    if (BeForms().contains(before)) {
        return EndsWith(word, "ing") ? WordRole::Verb : WordRole::Adjective;
    }
    // An -ing, -ed or -s form before its object or a preposition: "sending the file", "lives in London".
    if ((objectFollows && (EndsWith(word, "ing") || EndsWith(word, "ed"))) ||
        (EndsWith(word, "s") && (objectFollows || IsPreposition(after)))) {
        return WordRole::Verb;
    }
    // After a verb in the past, with no object following: how it was done ("arrived late").
    if (EndsWith(before, "ed") && !objectFollows && !IsFunctionWord(word)) {
        return WordRole::Adverb;
    }
    return WordRole::Unknown;
}

}  // namespace engines
