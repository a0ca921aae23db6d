// Strict UTF-8 / UTF-16 conversion for the component interfaces: the code page layer's conversions, refused
// instead of patched with replacement characters when the input is malformed.
#include "engines/Utf.h"

#include "platform/CodePage.h"

namespace engines {

namespace {

bool HasOnlyPairedSurrogates(std::u16string_view utf16)
{
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view utf8)
{
    if (!win32::IsValidUtf8(utf8)) {
        return std::nullopt;
    }
    return win32::Utf8ToUtf16(utf8);
}

std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view utf16)
{
    if (!HasOnlyPairedSurrogates(utf16)) {
        return std::nullopt;
    }
    return win32::Utf16ToUtf8(utf16);
}

}  // namespace engines
