// Strict conversions between UTF-8 and UTF-16 for the components' Unicode interfaces; malformed input (broken
// sequences, overlong forms, lone surrogates) gives no result rather than a guessed one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engines {

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8);
std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view utf16);

}  // namespace engines
