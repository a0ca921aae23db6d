// Composes the body of a translated copy in Unicode: the mail's own text lines in order, after each paragraph
// (cut by quote prefix and blank lines as in the classic composition) its translation wrapped at 72 display
// columns and marked "|" plus the paragraph's quote prefix, or the report when it failed; at the end one line per
// attachment. Made for one mail on the thread that composes.
#pragma once

#include <string>
#include <vector>

#include "modernmail/LineWrapper.h"
#include "modernmail/ModernMail.h"
#include "modernmail/ParagraphTranslator.h"

namespace modernmail {

class ModernComposer {
public:
    static constexpr int kWrapColumns = 72;

    explicit ModernComposer(ParagraphTranslator& translator) : translator(translator) {}

    std::vector<std::string> Compose(const std::vector<std::string>& text,
                                     const std::vector<ModernMail::Attachment>& attachments);
    // The line that names an attachment left in the original mail.
    static std::string AttachmentLine(const ModernMail::Attachment& attachment);

private:
    ParagraphTranslator& translator;
    LineWrapper wrapper;
};

}  // namespace modernmail
