// Reading encoded words in header values, and the two body pipelines: received body -> Shift_JIS lines, and
// Shift_JIS lines -> ISO-2022-JP lines in the mail's declared transfer encoding. Stateless; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class Email;

class MailCodec {
public:
    virtual ~MailCodec() = default;

    // RFC 2047 encoded words, read leniently; Japanese words come out as Shift_JIS. Replaces `out`.
    bool DecodeHeaderValue(std::string_view value, std::string& out) const;
    // Appends the body of `mail` as Shift_JIS lines; false (nothing appended) when a conversion fails.
    bool DecodeBody(Email& mail, std::vector<std::string>& out) const;
    // Replaces the body of `mail` by its ISO-2022-JP form in the declared transfer encoding; false (mail
    // unchanged) when a conversion fails.
    bool EncodeBody(Email& mail) const;
};

// Decodes the body of `mail` in place into Shift_JIS lines.
bool DecodeMailBody(Email& mail);

// Whether DecodeMailBody leaves the body as it is and succeeds, told from the mail's header fields and whether
// every body line is plain ASCII (JapaneseCodeConverter::IsPlainAscii): a body without transfer encoding.
bool BodyDecodesToItself(Email& mail, bool bodyPlainAscii);
