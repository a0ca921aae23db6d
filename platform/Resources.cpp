// Linux backend of the string loader: the module's string table is kept as UTF-8 and handed out in the ANSI
// code page, as the ANSI resource functions do.
#include "platform/Resources.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/CodePage.h"

namespace win32 {

namespace {

// Length of the longest prefix of text, at most limit bytes, that does not split a double-byte character.
std::size_t CharacterBoundary(const std::string& text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t width =
            IsDBCSLeadByte(static_cast<BYTE>(text[end])) && end + 1 < text.size() ? 2 : 1;
        if (end + width > limit) {
            break;
        }
        end += width;
    }
    return end;
}

}  // namespace

int LoadString(HINSTANCE instance, UINT id, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) {
        return 0;
    }
    buffer[0] = '\0';
    if (instance == nullptr) {
        return 0;
    }
    const auto entry = std::find_if(instance->strings.begin(), instance->strings.end(),
                                    [id](const StringResource& resource) { return resource.id == id; });
    if (entry == instance->strings.end() || entry->utf8 == nullptr) {
        return 0;
    }
    const std::string ansi = Utf8ToAnsi(entry->utf8);
    const std::size_t length = CharacterBoundary(ansi, static_cast<std::size_t>(bufferSize) - 1);
    std::memcpy(buffer, ansi.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

}  // namespace win32
