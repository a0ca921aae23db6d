// Appends bytes to a std::string through a raw cursor that the caller keeps in a local variable, growing the
// string in large steps. Converters and codecs use it so that their inner loops store bytes without a
// capacity check (or with one compare) instead of going through push_back.
#pragma once

#include <cstddef>
#include <string>

class ByteWriter {
public:
    // Room for `expected` more bytes is made at once (plus a little slack for the last step).
    ByteWriter(std::string& out, std::size_t expected) : out(out) {
        const std::size_t used = out.size();
        out.resize(used + expected + kSlack);
        begin = out.data() + used;
    }
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    // Where writing starts, and the end of the room made so far.
    char* Begin() const { return begin; }
    char* End() const { return out.data() + out.size(); }

    // Makes room for `need` more bytes after `cursor`; returns the cursor in the grown string.
    char* Grow(char* cursor, std::size_t need) {
        const std::size_t used = static_cast<std::size_t>(cursor - out.data());
        if (out.size() - used < need) {
            out.resize(used + (used > need ? used : need) + kSlack);
        }
        return out.data() + used;
    }

    // Trims the string to what was written up to `cursor`.
    void Commit(char* cursor) { out.resize(static_cast<std::size_t>(cursor - out.data())); }

    static constexpr std::size_t kSlack = 16;

private:
    std::string& out;
    char* begin;
};
