// The lines of one retrieved mail, captured by the relay as it forwards them: kept as one text and the line
// lengths, so that capturing costs a copy and no allocation per line. Made on the connection thread, turned into
// an Email on the agent's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Email;

class CapturedMail {
public:
    // Makes room for a mail of about this many octets (as the server announced it), so the text grows once.
    void Reserve(std::size_t octets);
    void Append(std::string_view line);
    // A new Email filled with the captured lines (SetMail).
    std::unique_ptr<Email> BuildEmail() const;

private:
    std::string text;
    std::vector<std::uint32_t> lengths;
};
