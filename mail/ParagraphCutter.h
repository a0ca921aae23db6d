// Cuts body lines into paragraphs by their quote prefix and text, for the composition of translated mails: each
// finished paragraph (its quote prefix and its joined text) is handed to the owner's flush. Works on the bytes
// of the prefix and on ASCII tests of the text, so it serves Shift_JIS and UTF-8 lines alike. Made for one mail
// on the translate thread.
#pragma once

#include <functional>

#include "mail/MailBody.h"

class ParagraphCutter {
public:
    using Flush = std::function<void(const MailBody& paragraph)>;

    explicit ParagraphCutter(Flush flush) : flush(std::move(flush)) {}

    // Takes the next body line: flushes the open paragraph where the line ends it. The caller writes the line
    // itself after whatever the flush wrote.
    void Add(const MailBody& line);
    // After the last line: flushes the open paragraph when it holds text.
    void Finish();

private:
    Flush flush;
    MailBody pending;  // prefix: the quoting the paragraph is compared with; text: its joined text
};
