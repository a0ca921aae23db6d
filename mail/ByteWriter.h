// Appends bytes to a std::string through a raw cursor, growing the string in large steps, so that the
// converters and codecs pay one capacity check per step instead of one allocation check per byte.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

class ByteWriter {
public:
    // Room for `expected` more bytes is made at once; Finish() trims the string to what was written.
    ByteWriter(std::string& out, std::size_t expected) : out(out), start(out.size()) {
        out.resize(start + expected + kSlack);
        cursor = out.data() + start;
        limit = out.data() + out.size();
    }
    ~ByteWriter() { Finish(); }
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    // Guarantees room for at least kSlack bytes; call once per step that writes at most kSlack bytes.
    void Reserve() {
        if (static_cast<std::size_t>(limit - cursor) < kSlack) {
            Grow(kSlack);
        }
    }
    void Put(char byte) { *cursor++ = byte; }
    void Put(unsigned char byte) { *cursor++ = static_cast<char>(byte); }
    void Put(int byte) { *cursor++ = static_cast<char>(byte); }
    void Put(const char* bytes, std::size_t count) {
        if (static_cast<std::size_t>(limit - cursor) < count + kSlack) {
            Grow(count + kSlack);
        }
        std::memcpy(cursor, bytes, count);
        cursor += count;
    }
    char* Cursor() { return cursor; }
    void Advance(std::size_t count) { cursor += count; }

    void Finish() {
        if (cursor != nullptr) {
            out.resize(static_cast<std::size_t>(cursor - out.data()));
            cursor = nullptr;
        }
    }

    static constexpr std::size_t kSlack = 16;

private:
    void Grow(std::size_t atLeast) {
        const std::size_t used = static_cast<std::size_t>(cursor - out.data());
        const std::size_t size = out.size();
        out.resize(size + (size - start > atLeast ? size - start : atLeast) + kSlack);
        cursor = out.data() + used;
        limit = out.data() + out.size();
    }

    std::string& out;
    std::size_t start;
    char* cursor;
    char* limit;
};
