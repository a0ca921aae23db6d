#include "modernmail/TranslatedCopy.h"

#include <algorithm>
#include <cstring>

#include "modernmail/GMimeSupport.h"

namespace modernmail {
namespace {

constexpr const char* kSubjectPrefix = "TR: ";
// RFC 5322: a line is at most 998 octets without its CR LF.
constexpr std::size_t kLongestLine = 998;

bool IsMimeField(const char* name)
{
    return g_ascii_strncasecmp(name, "Content-", 8) == 0 || g_ascii_strcasecmp(name, "MIME-Version") == 0;
}

// Text that can be sent as it is in 8bit: no line too long, no NUL and no CR apart from line ends.
bool FitsEightBit(const std::vector<std::string>& body)
{
    return std::all_of(body.begin(), body.end(), [](const std::string& line) {
        return line.size() <= kLongestLine && line.find('\0') == std::string::npos &&
               line.find('\r') == std::string::npos;
    });
}

// The original's fields in order, as received; the subject, where it stood, with its mark.
void CopyFields(GMimeMessage* original, GMimeMessage* copy)
{
    GMimeHeaderList* fields = g_mime_object_get_header_list(GMIME_OBJECT(original));
    GMimeHeaderList* copied = g_mime_object_get_header_list(GMIME_OBJECT(copy));
    bool subjectWritten = false;
    for (int i = 0; i < g_mime_header_list_get_count(fields); ++i) {
        GMimeHeader* field = g_mime_header_list_get_header_at(fields, i);
        const char* name = g_mime_header_get_name(field);
        if (name == nullptr || IsMimeField(name)) {
            continue;
        }
        if (g_ascii_strcasecmp(name, "Subject") == 0) {
            if (!subjectWritten) {
                const char* subject = g_mime_message_get_subject(original);
                const std::string marked = kSubjectPrefix + std::string(subject != nullptr ? subject : "");
                g_mime_message_set_subject(copy, marked.c_str(), "utf-8");
                subjectWritten = true;
            }
            continue;
        }
        const char* raw = g_mime_header_get_raw_value(field);
        g_mime_header_list_append(copied, name, "", nullptr);
        GMimeHeader* added = g_mime_header_list_get_header_at(copied, g_mime_header_list_get_count(copied) - 1);
        if (raw != nullptr) {
            g_mime_header_set_raw_value(added, raw);
        } else {
            g_mime_header_set_value(added, nullptr, g_mime_header_get_value(field), "utf-8");
        }
    }
}

std::vector<std::string> Lines(GByteArray* bytes)
{
    std::vector<std::string> lines;
    const std::string_view text(reinterpret_cast<const char*>(bytes->data), bytes->len);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::vector<std::string> TranslatedCopy::Write(GMimeMessage* original, const std::vector<std::string>& body)
{
    InitializeGMime();
    GObjectRef<GMimeMessage> copy(g_mime_message_new(FALSE));
    CopyFields(original, copy.get());
    g_mime_object_set_header(GMIME_OBJECT(copy.get()), "MIME-Version", "1.0", nullptr);

    std::string text;
    for (const std::string& line : body) {
        text.append(line).append("\n");
    }
    GObjectRef<GMimeTextPart> part(g_mime_text_part_new_with_subtype("plain"));
    GObjectRef<GMimeStream> content(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
    GObjectRef<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(content.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(GMIME_PART(part.get()), wrapper.get());
    g_mime_text_part_set_charset(part.get(), "utf-8");
    g_mime_part_set_content_encoding(GMIME_PART(part.get()), FitsEightBit(body)
                                                                  ? GMIME_CONTENT_ENCODING_8BIT
                                                                  : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    g_mime_message_set_mime_part(copy.get(), GMIME_OBJECT(part.get()));

    GObjectRef<GMimeStream> written(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(copy.get()), nullptr, written.get());
    std::vector<std::string> lines = Lines(g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(written.get())));
    // The body ends with a line end, which leaves no line of its own.
    if (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

}  // namespace modernmail
