// The translation of present-day mail ("Modern Mail" on): reads a captured mail with the MIME library, selects
// it by the same settings as the classic path but on its decoded Unicode text, composes the translated copy
// through the engine's UTF-8 entry and puts the copy, a new UTF-8 mail, in the mail's place. Made for one mail
// on the translate thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Resources.h"

class Dunmo2000Engine;
class Email;
class RuleList;

namespace modernmail {
class ModernMail;
}

class ModernMailTranslator {
public:
    // The selection settings, read by the caller for this mail.
    struct Selection {
        const RuleList& rules;
        bool allMail = false;
        bool autoRecognize = true;
        std::uint32_t limitKilobytes = 32;
        std::int32_t englishRate = 50;  // percent
    };

    // `resources` holds the report texts 102 to 105.
    ModernMailTranslator(Dunmo2000Engine& engine, win32::HINSTANCE resources) : engine(engine), resources(resources)
    {
    }

    // True when the mail was selected and now is its translated copy (same unique id); false leaves it as it was.
    bool Translate(Email& mail, const Selection& selection);
    // The mail's octets as its sender wrote them: lines joined by CR LF, dot-stuffing undone.
    static std::string Octets(Email& mail);

private:
    bool Selects(const modernmail::ModernMail& read, Email& mail, const Selection& selection);

    Dunmo2000Engine& engine;
    win32::HINSTANCE resources;
};
