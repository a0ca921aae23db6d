// The lines of one retrieved mail, captured by the relay as it forwards them: kept as the received text, each line
// with its CR LF, so that capturing costs one copy per received block and nothing per line. Made on the connection
// thread, turned into an Email on the translate thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class Email;

class CapturedMail {
public:
    // Makes room for a mail of about this many octets (as the server announced it), so the text grows once.
    void Reserve(std::size_t octets);
    // Appends complete lines, each ending in CR LF.
    void Append(std::string_view lines);
    // A new Email filled with the captured lines, without their CR LF (SetMail).
    std::unique_ptr<Email> BuildEmail() const;

private:
    std::string text;
};
