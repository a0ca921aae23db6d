// The lines of one retrieved mail, captured by the relay as it forwards them: kept as the received text, each line
// with its CR LF, so that capturing costs one copy per received block and nothing per line. The capture holds the
// data of one RETR answer up to and with its "." line, which is therefore its only line that is exactly "." (the
// answer ends at the first; the mail's own lines starting with "." come dot-stuffed). Made on the connection
// thread, turned into an Email on the translate thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class Email;

class CapturedMail {
public:
    // What can be told of the mail from its header lines and one look at the body's octets, without making the
    // body into lines.
    struct Outline {
        // An Email of the header lines alone: its fields, types and header size as the whole mail's.
        std::unique_ptr<Email> header;
        // What the body lines add to the whole Email's size: each line with its CR LF, the "." line left out as
        // SetMail leaves it out.
        std::uint32_t bodyOctets = 0;
        // Every body line is plain ASCII: no octet above 0x7F, no ESC.
        bool bodyPlainAscii = true;
    };

    // Makes room for a mail of about this many octets (as the server announced it), so the text grows once.
    void Reserve(std::size_t octets);
    // Appends complete lines, each ending in CR LF.
    void Append(std::string_view lines);
    // A new Email filled with the captured lines, without their CR LF (SetMail).
    std::unique_ptr<Email> BuildEmail() const;
    Outline Survey() const;

private:
    std::string text;
};
