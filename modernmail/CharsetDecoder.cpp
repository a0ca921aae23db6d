// Declarations are trusted where they can be: a mail that says nothing (RFC 2045: US-ASCII) or says US-ASCII
// or ISO-8859-1 while it carries other octets is read as UTF-8 when it is valid UTF-8, as ISO-2022-JP when it
// holds its escapes, and otherwise by the charset detector among the charsets such mails are really written in.
// ISO-8859-1 is read as Windows-1252, as browsers do: mail programs label Windows text that way.
#include "modernmail/CharsetDecoder.h"

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

#include "modernmail/GMimeSupport.h"

namespace modernmail {
namespace {

struct ConverterClose {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
struct DetectorClose {
    void operator()(UCharsetDetector* detector) const { ucsdet_close(detector); }
};

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return lower;
}

bool IsSevenBit(std::string_view octets)
{
    return std::all_of(octets.begin(), octets.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// An open converter for the charset name, or none when the Unicode library does not know it (also under the
// name the MIME library gives it, which knows more of the aliases mail programs write).
std::unique_ptr<UConverter, ConverterClose> OpenConverter(const std::string& charset)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterClose> converter(ucnv_open(charset.c_str(), &status));
    if (U_SUCCESS(status) && converter) {
        return converter;
    }
    InitializeGMime();
    const char* canonical = g_mime_charset_iconv_name(charset.c_str());
    if (canonical == nullptr) {
        return nullptr;
    }
    status = U_ZERO_ERROR;
    converter.reset(ucnv_open(canonical, &status));
    return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

std::string Convert(UConverter* converter, std::string_view octets)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString text(octets.data(), static_cast<int32_t>(octets.size()), converter, status);
    std::string utf8;
    if (U_SUCCESS(status)) {
        text.toUTF8String(utf8);
    }
    return utf8;
}

// The charset of undeclared 8-bit text that is not UTF-8: the detector's best guess among Japanese and Western
// charsets, Windows-1252 when it has none.
std::string Detect(std::string_view octets)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, DetectorClose> detector(ucsdet_open(&status));
    if (U_FAILURE(status)) {
        return "windows-1252";
    }
    ucsdet_setText(detector.get(), octets.data(), static_cast<int32_t>(octets.size()), &status);
    const UCharsetMatch* match = ucsdet_detect(detector.get(), &status);
    const char* name = U_SUCCESS(status) && match != nullptr ? ucsdet_getName(match, &status) : nullptr;
    const std::string found = U_SUCCESS(status) && name != nullptr ? Lower(name) : std::string();
    for (const char* likely : {"shift_jis", "euc-jp", "iso-2022-jp", "windows-1252", "iso-8859-15"}) {
        if (found == likely) {
            return found;
        }
    }
    return "windows-1252";
}

}  // namespace

bool CharsetDecoder::IsUtf8(std::string_view octets)
{
    const auto* text = reinterpret_cast<const std::uint8_t*>(octets.data());
    const auto length = static_cast<std::int32_t>(octets.size());
    for (std::int32_t at = 0; at < length;) {
        UChar32 c = 0;
        U8_NEXT(text, at, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

std::string CharsetDecoder::ToUtf8(std::string_view octets, std::string_view declared)
{
    std::string charset = Lower(declared);
    const bool undeclared = charset.empty() || charset == "us-ascii" || charset == "ascii" ||
                            charset == "iso-8859-1" || charset == "latin1" || charset == "iso_8859-1";
    if (undeclared || charset == "utf-8" || charset == "utf8") {
        if (octets.find("\x1b$") != std::string_view::npos && IsSevenBit(octets)) {
            charset = "iso-2022-jp";
        } else if (IsUtf8(octets)) {
            return std::string(octets);
        } else if (charset.empty() || charset == "us-ascii" || charset == "ascii") {
            charset = Detect(octets);
        } else if (undeclared) {
            charset = "windows-1252";
        }
    }
    auto converter = OpenConverter(charset);
    if (!converter) {
        converter = OpenConverter(IsUtf8(octets) ? "utf-8" : Detect(octets));
    }
    return converter ? Convert(converter.get(), octets) : std::string();
}

}  // namespace modernmail
