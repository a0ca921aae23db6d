#include "mail/Email.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "mail/JapaneseCodeConverter.h"
#include "mail/Md5.h"
#include "mail/ShiftJisText.h"
#include "platform/ThreadSafety.h"

namespace {

// Field names match when equal after turning ASCII a-z into capitals.
bool SameFieldName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; };
        if (upper(a[i]) != upper(b[i])) {
            return false;
        }
    }
    return true;
}

// Position of `needle` in `haystack` if it occurs before `limit`.
bool OccursBefore(std::string_view haystack, std::string_view needle, std::size_t limit) {
    const std::size_t at = haystack.find(needle);
    return at != std::string_view::npos && at < limit;
}

}  // namespace

Email::Email(const Email& other) {
    win32::LockGuard ownGuard(lock);  // nobody else can hold it yet
    win32::LockGuard otherGuard(other.lock);
    CopyContent(other);
}

Email& Email::operator=(const Email& other) {
    if (this != &other) {
        std::scoped_lock guards(lock, other.lock);
        CopyContent(other);
    }
    return *this;
}

void Email::CopyContent(const Email& other) {
    headers = other.headers;
    bodies = other.bodies;
    contentType = other.contentType;
    charset = other.charset;
    transferEncoding = other.transferEncoding;
    size = other.size;
    uniqueId = other.uniqueId;
}

Email::~Email() {
    Clear();
}

void Email::Clear() {
    headers.clear();
    bodies.clear();
}

bool Email::SetMail(std::span<const std::string> lines) { return ParseMail(lines); }

bool Email::SetMail(std::span<const std::string_view> lines) { return ParseMail(lines); }

template <typename Line>
bool Email::ParseMail(std::span<const Line> lines) {
    win32::LockGuard guard(lock);
    std::size_t next = 0;
    for (; next < lines.size(); ++next) {
        const std::string_view line = lines[next];
        if (line.empty()) {
            ++next;
            break;
        }
        MailHeader field;
        if (field.Parse(line)) {
            headers.push_back(std::move(field));
        } else if (!headers.empty()) {
            headers.back().AppendContinuation(line);
        } else {
            // Nothing to fold into (an mbox "From " line, a stray blank line start): keep the line as a field
            // of its own with an empty name, so that it is written out again exactly as received.
            headers.emplace_back(std::string(), std::string());
            headers.back().value.assign(line);
        }
    }
    DetectMimeType();
    MakeUniqueId();
    bodies.reserve(bodies.size() + (lines.size() - next));
    for (; next < lines.size(); ++next) {
        const std::string_view line = lines[next];
        if (line != ".") {
            bodies.emplace_back(line);
        }
    }
    UpdateSize();
    return true;
}

void Email::MakeUniqueId() {
    char seed[64];
    std::snprintf(seed, sizeof seed, "%lu.%d", static_cast<unsigned long>(std::time(nullptr)),
                  static_cast<int>(reinterpret_cast<std::uintptr_t>(this)));
    uniqueId = Md5::HexDigest(seed);
}

bool Email::GetMail(int limit, LineList& out) {
    win32::LockGuard guard(lock);
    out.Reserve(out.size() + headers.size() + bodies.size() + 2);
    for (const MailHeader& field : headers) {
        std::string whole = field.name.empty() ? field.value : field.name + ": " + field.value;
        std::string_view rest(whole);
        for (std::size_t cut; (cut = rest.find("\r\n")) != std::string_view::npos; rest.remove_prefix(cut + 2)) {
            out.Append(rest.substr(0, cut));
        }
        out.Append(rest);
    }
    out.Append("");
    const std::size_t count =
        limit == -1 ? bodies.size() : std::min(bodies.size(), static_cast<std::size_t>(std::max(limit, 0)));
    for (std::size_t i = 0; i < count; ++i) {
        out.Append(bodies[i].ToString());
    }
    out.Append(".");
    return true;
}

bool Email::GetMail(LineList& out) { return GetMail(-1, out); }

bool Email::SetBody(std::span<const std::string> lines) {
    win32::LockGuard guard(lock);
    bodies.clear();
    bodies.reserve(lines.size());
    for (const std::string& line : lines) {
        bodies.emplace_back(line);
    }
    UpdateSize();
    return true;
}

bool Email::GetBodies(std::vector<MailBody>& out) {
    win32::LockGuard guard(lock);
    out = bodies;
    return true;
}

bool Email::GetBodyLines(std::vector<std::string>& out) {
    win32::LockGuard guard(lock);
    out.clear();
    out.reserve(bodies.size());
    for (const MailBody& body : bodies) {
        out.push_back(body.ToString());
    }
    return true;
}

bool Email::PrependSubject(std::string_view prefix) {
    std::vector<std::string> subjects;
    if (!GetHeaderValues("Subject", subjects)) {
        return false;
    }
    std::string value(prefix);
    value += subjects.front();
    return SetHeader("Subject", value);
}

bool Email::SetHeader(std::string_view name, std::string_view value) {
    win32::LockGuard guard(lock);
    std::vector<MailHeader> rebuilt;
    rebuilt.reserve(headers.size() + 1);
    bool replaced = false;
    for (MailHeader& field : headers) {
        if (!SameFieldName(field.name, name)) {
            rebuilt.push_back(std::move(field));
        } else if (!replaced) {
            rebuilt.emplace_back(std::string(name), std::string(value));
            replaced = true;
        }
    }
    if (!replaced) {
        rebuilt.emplace_back(std::string(name), std::string(value));
    }
    headers = std::move(rebuilt);
    DetectMimeType();
    UpdateSize();
    return true;
}

bool Email::GetHeaderValues(std::string_view name, std::vector<std::string>& out) {
    bool found = false;
    for (const MailHeader& field : headers) {
        if (SameFieldName(field.name, name)) {
            out.push_back(field.value);
            found = true;
        }
    }
    return found;
}

bool Email::DetectMimeType() {
    contentType = kContentUnknown;
    charset = kCharsetUnknown;
    std::vector<std::string> values;
    GetHeaderValues("Content-Type", values);
    if (values.size() == 1) {
        const std::string upper = ShiftJisText::ToUpperAscii(values.front());
        // The media type must stand at the start of the value, give or take as many leading characters as
        // the type name is long.
        if (OccursBefore(upper, "TEXT/PLAIN", 10)) {
            contentType = kTextPlain;
        } else if (OccursBefore(upper, "MULTIPART/MIXED", 15)) {
            contentType = kMultipartMixed;
        }
        if (upper.find("CHARSET=ISO-2022-JP") != std::string::npos) {
            charset = kIso2022Jp;
        } else if (upper.find("CHARSET=ISO-8859-1") != std::string::npos) {
            charset = kIso8859_1;
        } else if (upper.find("CHARSET=US-ASCII") != std::string::npos) {
            charset = kUsAscii;
        } else if (upper.find("CHARSET=SHIFT_JIS") != std::string::npos) {
            charset = kShiftJis;
        }
    }

    transferEncoding = kEncodingNone;
    values.clear();
    GetHeaderValues("Content-Transfer-Encoding", values);
    if (values.size() == 1) {
        const std::string upper = ShiftJisText::ToUpperAscii(values.front());
        if (upper.find("7BIT") != std::string::npos) {
            transferEncoding = k7Bit;
        } else if (upper.find("BASE64") != std::string::npos) {
            transferEncoding = kBase64;
        } else if (upper.find("QUOTED-PRINTABLE") != std::string::npos) {
            transferEncoding = kQuotedPrintable;
        }
    }
    return true;
}

void Email::UpdateSize() {
    size = GetBodySize() + 5 + GetHeaderSize();
}

std::uint32_t Email::GetHeaderSize() {
    win32::LockGuard guard(lock);
    std::uint32_t octets = 0;
    for (const MailHeader& field : headers) {
        const std::size_t separator = field.name.empty() ? 0 : 2;
        octets += static_cast<std::uint32_t>(field.name.size() + separator + field.value.size() + 2);
    }
    return octets;
}

std::uint32_t Email::GetBodySize() {
    win32::LockGuard guard(lock);
    std::uint32_t octets = 0;
    for (const MailBody& body : bodies) {
        octets += static_cast<std::uint32_t>(body.Length() + 2);
    }
    return octets;
}

bool Email::BodyIsPlainAscii() {
    win32::LockGuard guard(lock);
    return std::all_of(bodies.begin(), bodies.end(), [](const MailBody& body) {
        return JapaneseCodeConverter::IsPlainAscii(body.prefix) && JapaneseCodeConverter::IsPlainAscii(body.text);
    });
}

std::uint32_t Email::GetJapaneseByteCount() {
    win32::LockGuard guard(lock);
    const JapaneseCodeConverter converter;
    std::uint32_t bytes = 0;
    std::string line;
    for (const MailBody& body : bodies) {
        line.assign(body.prefix);
        line += body.text;
        std::size_t pairs = 0;
        if (converter.CountShiftJisChars(line, pairs)) {
            bytes += static_cast<std::uint32_t>(2 * pairs);
        }
    }
    return bytes;
}

bool Email::GetEnglishRate(std::int32_t& rate) {
    const auto body = static_cast<std::int32_t>(GetBodySize());
    const auto japanese = static_cast<std::int32_t>(GetJapaneseByteCount());
    if (body == 0) {
        // A mail without body text holds nothing English to translate.
        rate = 0;
        return true;
    }
    // 32-bit arithmetic as the rate has always been computed (the product wraps only for bodies above
    // 20 MB, far beyond the size limit of translation).
    const auto scaled = static_cast<std::int32_t>(static_cast<std::uint32_t>(body - japanese) * 100u);
    rate = scaled / body;
    return true;
}

bool Email::BodyLineStartsWith(std::string_view word, bool foldCase, bool fullWidth) {
    win32::LockGuard guard(lock);
    std::string target(word);
    if (fullWidth) {
        target = ShiftJisText::ToFullWidth(target);
    }
    if (foldCase) {
        target = ShiftJisText::FoldCase(target);
    }
    for (const MailBody& body : bodies) {
        std::string line = body.ToString();
        if (fullWidth) {
            line = ShiftJisText::ToFullWidth(line);
        }
        if (foldCase) {
            line = ShiftJisText::FoldCase(line);
        }
        if (line.starts_with(target)) {
            return true;
        }
    }
    return false;
}
