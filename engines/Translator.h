// One way of turning English UTF-8 text into Japanese UTF-8 text, behind the translation engine component.
// A translator is owned by one engine object and called by one thread at a time.
#pragma once

#include <string>
#include <string_view>

namespace engines {

struct TranslationResult {
    bool ok = false;
    std::string text;   // the translation when ok
    std::string error;  // why it failed, in words, when not ok
};

class Translator {
public:
    virtual ~Translator() = default;
    virtual TranslationResult Translate(std::string_view utf8) = 0;
};

}  // namespace engines
