// Turns the octets of a text in a declared charset into UTF-8: any charset the Unicode library knows by name or
// alias, a missing or wrong declaration answered by looking at the octets. Stateless; any thread.
#pragma once

#include <string>
#include <string_view>

namespace modernmail {

class CharsetDecoder {
public:
    // Always valid UTF-8: octets that do not belong to the charset become U+FFFD.
    static std::string ToUtf8(std::string_view octets, std::string_view charset);
    // Well-formed UTF-8 (no overlong forms, no surrogates).
    static bool IsUtf8(std::string_view octets);
};

}  // namespace modernmail
