#include "mail/MailCodec.h"

#include <iterator>

#include "mail/Base64Codec.h"
#include "mail/Email.h"
#include "mail/JapaneseCodeConverter.h"
#include "mail/QuotedPrintableCodec.h"
#include "mail/ShiftJisText.h"

namespace {

enum class BodyPath { Plain, Base64, QuotedPrintable };

// The pipelines go by the first Content-Transfer-Encoding value exactly as written, in lower case.
BodyPath ChoosePath(Email& mail) {
    std::vector<std::string> values;
    if (!mail.GetHeaderValues("Content-Transfer-Encoding", values)) {
        return BodyPath::Plain;
    }
    if (values.front() == "base64") {
        return BodyPath::Base64;
    }
    if (values.front() == "quoted-printable") {
        return BodyPath::QuotedPrintable;
    }
    return BodyPath::Plain;
}

// Received Japanese text to Shift_JIS with full-width katakana, appended to `out`.
bool ToShiftJisText(std::string_view bytes, std::string& out) {
    if (!bytes.empty() && JapaneseCodeConverter::IsPlainAscii(bytes)) {
        out.append(bytes);  // what the two conversions give for such text, without their passes
        return true;
    }
    const JapaneseCodeConverter converter;
    std::string shiftJis;
    return converter.ToShiftJis(bytes, shiftJis, CodeKind::Detect) && converter.HalfToFullKana(shiftJis, out);
}

// Joins quoted-printable soft-broken lines: a non-empty line ending in "=" goes, without it, before the next.
std::vector<std::string> JoinSoftBreaks(const std::vector<std::string>& lines) {
    std::vector<std::string> joined;
    joined.reserve(lines.size());
    std::string pending;
    bool hasPending = false;
    for (const std::string& line : lines) {
        if (line.empty()) {
            // A soft break directly before an empty line means the soft-broken text ends there, as it would in
            // the unfolded text: the empty line completes it rather than standing before it.
            if (hasPending) {
                joined.push_back(std::move(pending));
                pending.clear();
                hasPending = false;
            } else {
                joined.emplace_back();
            }
        } else if (line.back() == '=') {
            pending.append(line, 0, line.size() - 1);
            hasPending = true;
        } else {
            pending += line;
            joined.push_back(std::move(pending));
            pending.clear();
            hasPending = false;
        }
    }
    // A body that ends on a soft break keeps its last text.
    if (hasPending) {
        joined.push_back(std::move(pending));
    }
    return joined;
}

// Cuts decoded text at CR LF and lone LF; a lone CR stays inside its line.
void CutLines(std::string_view text, std::vector<std::string>& lines) {
    std::size_t start = 0;
    for (std::size_t lf; (lf = text.find('\n', start)) != std::string_view::npos; start = lf + 1) {
        std::size_t end = lf;
        if (end > start && text[end - 1] == '\r') {
            --end;
        }
        lines.emplace_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
}

constexpr std::size_t kBase64LineLength = 76;

}  // namespace

bool MailCodec::DecodeHeaderValue(std::string_view value, std::string& out) const {
    enum class State { Text, Charset, Encoding, EncodedText };
    State state = State::Text;
    std::string buffer;
    std::string result;
    std::string charset;
    std::string encoding;
    const std::size_t n = value.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = value[i];
        const char next = i + 1 < n ? value[i + 1] : '\0';
        switch (state) {
            case State::Text:
                if (c == '=' && next == '?') {
                    result += buffer;
                    buffer.clear();
                    state = State::Charset;
                    ++i;
                } else if (c == '\r' && next == '\n') {
                    // Unfolding: the line break goes, and a tab that folded the line with it.
                    ++i;
                    if (i + 1 < n && value[i + 1] == '\t') {
                        ++i;
                    }
                } else {
                    buffer += c;
                }
                break;
            case State::Charset:
            case State::Encoding:
                if (c == '?') {
                    (state == State::Charset ? charset : encoding) = buffer;
                    buffer.clear();
                    state = state == State::Charset ? State::Encoding : State::EncodedText;
                } else {
                    buffer += c;
                }
                break;
            case State::EncodedText:
                if (c == '?' && next == '=') {
                    ++i;
                    state = State::Text;
                    if (buffer.empty()) {
                        break;
                    }
                    std::string decoded;
                    if (!encoding.empty() && encoding.front() == 'B') {
                        Base64Codec().Decode(buffer, decoded);
                    } else if (!encoding.empty() && encoding.front() == 'Q') {
                        QuotedPrintableCodec().Decode(buffer, decoded);
                    } else {
                        decoded = buffer;
                    }
                    buffer.clear();
                    if (ShiftJisText::EqualsIgnoringCase(charset, "ISO-2022-JP") ||
                        ShiftJisText::EqualsIgnoringCase(charset, "euc-jp") ||
                        ShiftJisText::EqualsIgnoringCase(charset, "shift_jis")) {
                        ToShiftJisText(decoded, result);
                    } else {
                        result += decoded;
                    }
                } else {
                    buffer += c;
                }
                break;
        }
    }
    result += buffer;
    out = std::move(result);
    return true;
}

bool MailCodec::DecodeBody(Email& mail, std::vector<std::string>& out) const {
    std::vector<std::string> lines;
    mail.GetBodyLines(lines);
    std::vector<std::string> decoded;
    decoded.reserve(lines.size());
    switch (ChoosePath(mail)) {
        case BodyPath::Base64: {
            std::size_t total = 0;
            for (const std::string& line : lines) {
                total += line.size();
            }
            std::string encoded;
            encoded.reserve(total);
            for (const std::string& line : lines) {
                encoded += line;
            }
            std::string bytes;
            Base64Codec().Decode(encoded, bytes);
            std::string text;
            if (!ToShiftJisText(bytes, text)) {
                return false;
            }
            CutLines(text, decoded);
            break;
        }
        case BodyPath::QuotedPrintable: {
            std::string bytes;
            for (const std::string& line : JoinSoftBreaks(lines)) {
                if (line.empty()) {
                    decoded.emplace_back();
                    continue;
                }
                bytes.clear();
                QuotedPrintableCodec().Decode(line, bytes);
                std::string text;
                if (!ToShiftJisText(bytes, text)) {
                    return false;
                }
                decoded.push_back(std::move(text));
            }
            break;
        }
        case BodyPath::Plain:
            for (std::string& line : lines) {
                if (JapaneseCodeConverter::IsPlainAscii(line)) {
                    decoded.push_back(std::move(line));
                    continue;
                }
                std::string text;
                if (!ToShiftJisText(line, text)) {
                    return false;
                }
                decoded.push_back(std::move(text));
            }
            break;
    }
    out.insert(out.end(), std::make_move_iterator(decoded.begin()), std::make_move_iterator(decoded.end()));
    return true;
}

bool MailCodec::EncodeBody(Email& mail) const {
    const JapaneseCodeConverter converter;
    std::vector<std::string> lines;
    mail.GetBodyLines(lines);
    std::vector<std::string> encoded;
    encoded.reserve(lines.size());
    switch (ChoosePath(mail)) {
        case BodyPath::Base64: {
            std::string text;
            for (const std::string& line : lines) {
                if (line == ".") {
                    break;
                }
                if (!line.empty() && !converter.ToJis(line, text, CodeKind::Detect)) {
                    return false;
                }
                text += "\r\n";
            }
            std::string base64;
            Base64Codec().Encode(text, base64);
            for (std::size_t at = 0; at < base64.size(); at += kBase64LineLength) {
                encoded.push_back(base64.substr(at, kBase64LineLength));
            }
            break;
        }
        case BodyPath::QuotedPrintable: {
            std::string jis;
            std::string quoted;
            for (const std::string& line : lines) {
                if (line.empty()) {
                    encoded.emplace_back();
                    continue;
                }
                jis.clear();
                quoted.clear();
                if (!converter.ToJis(line, jis, CodeKind::Detect)) {
                    return false;
                }
                QuotedPrintableCodec().Encode(jis, quoted);
                std::string_view rest(quoted);
                for (std::size_t cut; (cut = rest.find("=\r\n")) != std::string_view::npos;
                     rest.remove_prefix(cut + 3)) {
                    encoded.emplace_back(rest.substr(0, cut + 1));
                }
                if (!rest.empty()) {
                    encoded.emplace_back(rest);
                }
            }
            break;
        }
        case BodyPath::Plain:
            for (std::string& line : lines) {
                if (JapaneseCodeConverter::IsPlainAscii(line)) {
                    encoded.push_back(std::move(line));  // ToJis leaves such a line as it is
                    continue;
                }
                std::string jis;
                if (!converter.ToJis(line, jis, CodeKind::Detect)) {
                    return false;
                }
                encoded.push_back(std::move(jis));
            }
            break;
    }
    return mail.SetBody(encoded);
}

bool BodyDecodesToItself(Email& mail, bool bodyPlainAscii) {
    return bodyPlainAscii && ChoosePath(mail) == BodyPath::Plain;
}

bool DecodeMailBody(Email& mail) {
    // A body without transfer encoding whose lines are plain ASCII decodes to itself: spare the copies.
    if (ChoosePath(mail) == BodyPath::Plain && mail.BodyIsPlainAscii()) {
        return true;
    }
    std::vector<std::string> lines;
    return MailCodec().DecodeBody(mail, lines) && mail.SetBody(lines);
}
