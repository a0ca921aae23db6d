// Composes the translated form of one mail in place: the body is cut into paragraphs by quote prefix and text,
// each paragraph is translated through the engine adapter and its translation inserted after it as wrapped
// lines marked "|"; the mail becomes text/plain in ISO-2022-JP with "TR: " before its subject. Made for one
// mail on the translate thread.
#pragma once

#include <cstdint>
#include <string>

#include "mail/LineList.h"
#include "mail/MailBody.h"
#include "platform/Resources.h"

class Dunmo2000Engine;
class Email;

class MailComposer {
public:
    static constexpr int kWrapWidth = 72;
    static constexpr int kTranslationBufferSize = 32768;

    // `resources` holds the report texts 102 to 105.
    MailComposer(Dunmo2000Engine& engine, win32::HINSTANCE resources) : engine(engine), resources(resources) {}

    // True when the mail was rewritten; false (mail unchanged) when the composition was interrupted by an
    // exception. Failures of single paragraphs become report entries and do not make it false.
    bool TranslateMail(Email* mail);
    // True: `result` is the translation of `text`. False: `result` is the report that replaces it.
    bool TranslateParagraph(const std::string& text, std::string& result);
    // Appends `text` as lines of prefix + at most 72 - prefix length + 1 bytes (one more when a double-byte
    // character completes the line; such a character is never split). Always true.
    static bool AppendWrapped(std::string prefix, const char* text, LineList& out);
    // The report (ANSI) that takes the place of a translation the engine failed with `failure` (its negative
    // result): string 102 to 105 of `resources`, or a fixed text when there is none.
    static std::string ReportText(std::int32_t failure, win32::HINSTANCE resources);

private:
    void Flush(const MailBody& pending, LineList& out);

    Dunmo2000Engine& engine;
    win32::HINSTANCE resources;
};
