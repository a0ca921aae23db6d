// One body line of a mail, split into its reply quoting (blanks, ">" and tabs) and the text after it.
// Plain value type.
#pragma once

#include <string>
#include <string_view>

class MailBody {
public:
    MailBody() = default;
    explicit MailBody(std::string_view line) { Parse(line); }
    virtual ~MailBody() = default;
    MailBody(const MailBody&) = default;
    MailBody& operator=(const MailBody&) = default;
    MailBody(MailBody&&) = default;
    MailBody& operator=(MailBody&&) = default;

    bool Parse(std::string_view line);
    std::string ToString() const { return prefix + text; }
    std::size_t Length() const { return prefix.size() + text.size(); }

    std::string prefix;
    std::string text;
};
