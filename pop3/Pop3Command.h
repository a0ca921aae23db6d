// POP3 command words: the part of a line before its first blank, compared without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace pop3 {

// The whole line when it has no blank.
std::string CommandWord(std::string_view line);
// Compares both words turned to capitals (ASCII letters only).
bool IsCommand(std::string_view word, std::string_view name);

}  // namespace pop3
