// Readers of the translation-decision settings with their defaults. The four thresholds write their default
// back when they are absent (or of the wrong type); every call reads afresh, so a change applies to the next
// mail. Any thread may call.
#pragma once

#include <cstdint>
#include <string>

class MailerRuleSettings {
public:
    // The stored rule text; empty (no rules) when absent.
    static std::string RuleText();
    // Translate mails recognised as English; default true.
    static bool AutoRecognize();
    // Translate every eligible mail without rules; default false.
    static bool AllMail();
    // Largest mail that is translated, in units of 1024 octets; default 32.
    static std::uint32_t MailLimitSize();
    // Smallest English rate (percent) that counts as English; default 50.
    static std::uint32_t EnglishRate();
    // Translate present-day mail (multipart, HTML, any charset) into UTF-8 copies; default false. Not written
    // back when absent: a server that never had the setting keeps its registry as it was.
    static bool ModernMail();
};
