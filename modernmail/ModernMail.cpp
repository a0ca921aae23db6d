// The text part: the first text/plain part that is not an attachment, wherever it is nested (in
// multipart/alternative that is its plain alternative, in multipart/mixed or related the first inline text);
// only when there is none anywhere, the first such text/html part. Every other part that has a file name or is
// marked as an attachment, and every attached mail, is listed as an attachment; inline parts without a name
// (the images of an HTML layout, the other alternatives) are not.
#include "modernmail/ModernMail.h"

#include <cstring>

#include "modernmail/CharsetDecoder.h"
#include "modernmail/FlowedText.h"
#include "modernmail/HtmlText.h"
#include "modernmail/LineWrapper.h"

namespace modernmail {
namespace {

constexpr int kHtmlTextColumns = 72;

bool ParameterIs(GMimeObject* object, const char* name, const char* value)
{
    const char* parameter = g_mime_object_get_content_type_parameter(object, name);
    return parameter != nullptr && g_ascii_strcasecmp(parameter, value) == 0;
}

// The decoded content of a part, written to `stream`.
void WriteContent(GMimeObject* object, GMimeStream* stream)
{
    if (GMIME_IS_PART(object)) {
        if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object))) {
            g_mime_data_wrapper_write_to_stream(content, stream);
        }
    } else {
        g_mime_object_write_to_stream(object, nullptr, stream);
    }
}

std::uint64_t DecodedOctets(GMimeObject* object)
{
    GObjectRef<GMimeStream> counter(g_mime_stream_null_new());
    WriteContent(object, counter.get());
    return GMIME_STREAM_NULL(counter.get())->written;
}

std::string DecodedText(GMimeObject* object)
{
    GObjectRef<GMimeStream> memory(g_mime_stream_mem_new());
    WriteContent(object, memory.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    const std::string_view octets(reinterpret_cast<const char*>(bytes->data), bytes->len);
    const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
    return CharsetDecoder::ToUtf8(octets, charset != nullptr ? charset : "");
}

// Lines at CR LF, LF or a lone CR.
std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\n' || text[at] == '\r') {
            lines.emplace_back(text.substr(start, at - start));
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
                ++at;
            }
            start = at + 1;
        }
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::string ValidUtf8(const char* text)
{
    if (text == nullptr) {
        return {};
    }
    return CharsetDecoder::IsUtf8(text) ? std::string(text) : CharsetDecoder::ToUtf8(text, "");
}

}  // namespace

ModernMail::ModernMail(std::string_view octets)
{
    InitializeGMime();
    GObjectRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(octets.data(), octets.size()));
    GObjectRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    message.reset(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message) {
        message.reset(g_mime_message_new(FALSE));
    }
    GMimePart* plain = nullptr;
    GMimePart* html = nullptr;
    if (GMimeObject* body = g_mime_message_get_mime_part(message.get())) {
        Survey(body, plain, html);
    }
    if (plain != nullptr) {
        ReadText(plain, TextKind::kPlain);
    } else if (html != nullptr) {
        ReadText(html, TextKind::kHtml);
    }
}

void ModernMail::Survey(GMimeObject* object, GMimePart*& plain, GMimePart*& html)
{
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            Survey(g_mime_multipart_get_part(multipart, i), plain, html);
        }
        return;
    }
    GMimeContentType* type = g_mime_object_get_content_type(object);
    GOwnedString typeName(type != nullptr ? g_mime_content_type_get_mime_type(type)
                                          : g_strdup("application/octet-stream"));
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* attached = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        attachments.push_back({attached != nullptr ? ValidUtf8(g_mime_message_get_subject(attached)) : "",
                               typeName.get(), DecodedOctets(object)});
        return;
    }
    if (!GMIME_IS_PART(object)) {
        return;
    }
    GMimePart* part = GMIME_PART(object);
    const char* fileName = g_mime_part_get_filename(part);
    const bool attachment = g_mime_part_is_attachment(part) || fileName != nullptr;
    if (!attachment && g_mime_content_type_is_type(type, "text", "plain")) {
        if (plain == nullptr) {
            plain = part;
            return;
        }
    } else if (!attachment && g_mime_content_type_is_type(type, "text", "html")) {
        if (html == nullptr) {
            html = part;
        }
        return;
    }
    if (attachment) {
        attachments.push_back({ValidUtf8(fileName), typeName.get(), DecodedOctets(object)});
    }
}

void ModernMail::ReadText(GMimePart* part, TextKind partKind)
{
    GMimeObject* object = GMIME_OBJECT(part);
    const std::string text = DecodedText(object);
    kind = partKind;
    if (partKind == TextKind::kHtml) {
        LineWrapper wrapper;
        for (const std::string& line : HtmlText::ToLines(text)) {
            for (std::string& piece : wrapper.Wrap(line, kHtmlTextColumns, true)) {
                textLines.push_back(std::move(piece));
            }
        }
    } else if (ParameterIs(object, "format", "flowed")) {
        textLines = FlowedText::Join(SplitLines(text), ParameterIs(object, "delsp", "yes"));
    } else {
        textLines = SplitLines(text);
    }
}

std::uint64_t ModernMail::TextOctets() const
{
    std::uint64_t octets = 0;
    for (const std::string& line : textLines) {
        octets += line.size() + 2;
    }
    return octets;
}

std::optional<std::string> ModernMail::Field(const char* name) const
{
    const char* value = g_mime_object_get_header(GMIME_OBJECT(message.get()), name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return ValidUtf8(value);
}

}  // namespace modernmail
