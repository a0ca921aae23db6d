// One mail as retrieved from the real POP3 server: header fields and body lines with their MIME summary, size
// and unique id. Shared by the relay, translate and POP3 agent threads; the list operations take its own
// recursive lock.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mail/LineList.h"
#include "mail/MailBody.h"
#include "mail/MailHeader.h"
#include "platform/Sync.h"

class Email {
public:
    enum ContentType : std::int32_t { kContentUnknown = 0, kTextPlain = 1, kMultipartMixed = 2 };
    enum Charset : std::int32_t {
        kCharsetUnknown = 0,
        kIso2022Jp = 1,
        kIso8859_1 = 2,
        kUsAscii = 3,
        kShiftJis = 4,
    };
    enum TransferEncoding : std::int32_t {
        kEncodingNone = 0,
        k7Bit = 1,
        kBase64 = 2,
        kQuotedPrintable = 3,
    };

    Email() = default;
    // A copy holds the same fields, lines, codes, size and id, and a lock of its own.
    Email(const Email& other);
    // Takes both locks at once, in no fixed order, which the lock analysis cannot follow.
    Email& operator=(const Email& other) NO_THREAD_SAFETY_ANALYSIS;
    virtual ~Email();

    // A hook without effect, kept so that derived mails can be told apart by their overrides only.
    virtual void Idle() {}
    // Empties both lists; no lock, no size update.
    virtual void Clear() NO_THREAD_SAFETY_ANALYSIS;
    // Parses the lines of one RETR answer (without CR LF) and appends them; always true.
    virtual bool SetMail(std::span<const std::string> lines);
    // The same for lines that stay owned by the caller (a capture kept as one text): no copy per line beyond
    // the body line itself.
    virtual bool SetMail(std::span<const std::string_view> lines);
    // Appends the mail as lines: header lines, an empty line, at most `limit` body lines (-1: all), ".".
    virtual bool GetMail(int limit, LineList& out);
    virtual bool GetMail(LineList& out);
    // Replaces the body lines; the MIME codes stay as they are.
    virtual bool SetBody(std::span<const std::string> lines);
    virtual bool GetBodies(std::vector<MailBody>& out);
    virtual bool GetBodyLines(std::vector<std::string>& out);
    // Sets Subject to `prefix` + the first Subject value; false (and no change) when there is no Subject.
    virtual bool PrependSubject(std::string_view prefix) NO_THREAD_SAFETY_ANALYSIS;
    // Replaces the first field of that name in place (dropping later ones) or appends a new field.
    virtual bool SetHeader(std::string_view name, std::string_view value);
    // Appends the values of every field of that name (compared without regard to ASCII case).
    // GetHeaderValues, DetectMimeType, Clear, PrependSubject and GetEnglishRate take no lock of their own: they
    // run inside a locked operation (SetMail, SetHeader) or on a mail that only the calling thread holds.
    virtual bool GetHeaderValues(std::string_view name, std::vector<std::string>& out) NO_THREAD_SAFETY_ANALYSIS;
    virtual bool DetectMimeType() NO_THREAD_SAFETY_ANALYSIS;
    virtual void UpdateSize();
    virtual std::uint32_t GetHeaderSize();
    virtual std::uint32_t GetBodySize();
    virtual std::uint32_t GetJapaneseByteCount();
    // Percentage of body octets that are not Shift_JIS double-byte characters.
    virtual bool GetEnglishRate(std::int32_t& rate) NO_THREAD_SAFETY_ANALYSIS;
    virtual bool BodyLineStartsWith(std::string_view word, bool foldCase, bool fullWidth);
    // Every body line is 7-bit text without escape sequences.
    bool BodyIsPlainAscii();

    std::int32_t contentType = kContentUnknown;
    std::int32_t charset = kCharsetUnknown;
    std::int32_t transferEncoding = kEncodingNone;
    std::uint32_t size = 0;
    std::string uniqueId;

protected:
    // Recursive: SetMail and SetHeader reach UpdateSize, which takes it again.
    mutable win32::CriticalSection lock;
    std::vector<MailHeader> headers GUARDED_BY(lock);
    std::vector<MailBody> bodies GUARDED_BY(lock);

private:
    // The parsing behind both SetMail forms; Line is std::string or std::string_view.
    template <typename Line>
    bool ParseMail(std::span<const Line> lines);
    void MakeUniqueId();
    // Copies everything but the lock.
    void CopyContent(const Email& other) REQUIRES(lock, other.lock);
};
