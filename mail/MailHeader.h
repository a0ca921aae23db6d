// One header field of a mail: its name as received and its value, folded lines included. Plain value type.
#pragma once

#include <string>
#include <string_view>

class MailHeader {
public:
    MailHeader() = default;
    MailHeader(std::string name, std::string value) : name(std::move(name)), value(std::move(value)) {}
    virtual ~MailHeader() = default;
    MailHeader(const MailHeader&) = default;
    MailHeader& operator=(const MailHeader&) = default;
    MailHeader(MailHeader&&) = default;
    MailHeader& operator=(MailHeader&&) = default;

    // True when the line is a field line "Name: value"; only then are name and value set.
    bool Parse(std::string_view line);
    // A folded continuation: kept inside the value behind "\r\n" so that it is written out as received.
    bool AppendContinuation(std::string_view line);

    std::string name;
    std::string value;
};
