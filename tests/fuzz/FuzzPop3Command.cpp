// The command-word pieces the connection thread decides with: CommandWord cuts the word before the first space,
// IsCommand compares it without regard to ASCII case. Checked against a plain reference on arbitrary lines.
#include <cctype>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "pop3/Pop3Command.h"

namespace {

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        const auto upperX = (x >= 'a' && x <= 'z') ? x - 32 : x;
        const auto upperY = (y >= 'a' && y <= 'z') ? y - 32 : y;
        if (upperX != upperY) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const char* const kWords[] = {"QUIT", "USER", "PASS", "STAT", "LIST", "RETR",
                                         "DELE", "NOOP", "RSET", "TOP",  "UIDL", "STLS"};
    for (const std::string& line : fuzz::Lines(fuzz::View(data, size))) {
        const std::string word = pop3::CommandWord(line);
        if (word.find(' ') != std::string::npos || line.compare(0, word.size(), word) != 0 ||
            (word.size() < line.size() && line[word.size()] != ' ')) {
            std::abort();
        }
        for (const char* name : kWords) {
            if (pop3::IsCommand(word, name) != SameIgnoringAsciiCase(word, name)) {
                std::abort();
            }
        }
    }
    return 0;
}
