// Code page 932 (Shift_JIS with the Windows extensions) is the program's ANSI code page: conversions between
// it and UTF-8 / UTF-16, and the code-page-aware text functions the mail model and the rules rely on.
#pragma once

#include <string>
#include <string_view>

#include "platform/Win32Types.h"

namespace win32 {

constexpr UINT CP_ACP = 0;
constexpr UINT CP_ANSI = 932;

// Lead byte of a double-byte character in code page 932 (0x81-0x9F, 0xE0-0xFC).
bool IsDBCSLeadByte(BYTE byte);

// ANSI (code page 932) <-> UTF-16 and UTF-8. Bytes that cannot be converted become U+30FB or '?' as on
// Windows; nothing is dropped silently without a replacement.
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view utf16);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// UTF-8 <-> UTF-16; malformed UTF-8 and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Strict UTF-8 check (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view text);

// The single-to-double-byte mapping (full-width forms): ASCII letters, digits, punctuation and blank become
// their full-width Shift_JIS characters (except 0x5C, the yen sign, which stays), half-width katakana the
// full-width katakana, a kana with a following sound mark its voiced or semi-voiced form; double-byte
// characters stay.
std::string ToFullWidthAnsi(std::string_view ansi);

}  // namespace win32
