// The check of a rule text a user hands in (a file for vuvedctl, a pasted text on the settings page) before it is
// stored: UTF-8 text that reads completely as rules. Any thread may call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "rules/RuleList.h"

struct RuleTextImport {
    enum Outcome { kReadable, kNotText, kMalformed };
    Outcome outcome = kReadable;
    std::string ansi;            // the text in code page 932, as the server reads it
    std::size_t pairsRead = 0;  // complete pairs before a fault
};

// Loads the text into rules. Line ends at the very end are dropped, as an editor adds them.
RuleTextImport ImportRuleText(std::string_view utf8, RuleList& rules);
