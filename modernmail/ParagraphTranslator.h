// What the composition of a translated copy asks of the translation engine: one paragraph of UTF-8 text turned
// into its Japanese translation, or into the report that takes the translation's place. Called on the thread
// that composes.
#pragma once

#include <string>

namespace modernmail {

class ParagraphTranslator {
public:
    virtual ~ParagraphTranslator() = default;
    // True: `result` is the translation (UTF-8). False: `result` is the report (UTF-8, possibly several lines).
    virtual bool Translate(const std::string& paragraph, std::string& result) = 0;
};

}  // namespace modernmail
