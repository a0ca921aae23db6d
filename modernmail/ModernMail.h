// One mail as present-day mail programs send it, read with the MIME library: its decoded subject and address
// fields, the text chosen for translation as UTF-8 lines (the plain part, else the HTML part made into text)
// and the attachments the text leaves out. Owns the parsed message, which the translated copy is written from.
// Made for one mail on one thread.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modernmail/GMimeSupport.h"

namespace modernmail {

class ModernMail {
public:
    enum class TextKind { kNone, kPlain, kHtml };
    struct Attachment {
        std::string name;  // UTF-8; empty when the part has none
        std::string type;  // like application/pdf
        std::uint64_t octets = 0;  // decoded size
    };

    // Reads the mail's octets (header, empty line, body; lines ending in CR LF or LF, not dot-stuffed).
    explicit ModernMail(std::string_view octets);

    TextKind Kind() const { return kind; }
    // The chosen text: format=flowed paragraphs joined, HTML turned into wrapped lines.
    const std::vector<std::string>& TextLines() const { return textLines; }
    // Octets of the chosen text as UTF-8 with a CR LF after each line.
    std::uint64_t TextOctets() const;
    const std::vector<Attachment>& Attachments() const { return attachments; }
    // The decoded value (UTF-8, encoded words read) of the first field of that name; none when absent.
    std::optional<std::string> Field(const char* name) const;
    GMimeMessage* Message() const { return message.get(); }

private:
    void Survey(GMimeObject* object, GMimePart*& plain, GMimePart*& html);
    void ReadText(GMimePart* part, TextKind partKind);

    GObjectRef<GMimeMessage> message;
    TextKind kind = TextKind::kNone;
    std::vector<std::string> textLines;
    std::vector<Attachment> attachments;
};

}  // namespace modernmail
