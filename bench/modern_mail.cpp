// The path of present-day mail against the classic path on the same English text, with an engine that answers at
// once (the engine's own time left out):
//  - BM_ModernMail32KiBAlternative: a 32 KiB multipart/alternative UTF-8 mail, its text as a quoted-printable plain
//    part and as HTML, read with the MIME library, selected, composed and written as its UTF-8 copy;
//  - BM_ClassicMail32KiBSameText: the plain text alone as a text/plain mail through decode, select, compose and
//    encode.
#include <benchmark/benchmark.h>

#include "app/resources/ModuleResources.h"
#include "integration/RelaySettings.h"
#include "mail/Email.h"
#include "mail/MailCodec.h"
#include "rules/RuleList.h"
#include "translate/Dunmo2000Engine.h"
#include "translate/MailComposer.h"
#include "translate/ModernMailTranslator.h"
#include "translate/Pop3TranslateThread.h"
#include "translate/TestComponents.h"

namespace {

using namespace testing_components;

// The text: paragraphs of English with quoted replies, about `bytes` octets.
std::vector<std::string> Text(std::size_t bytes)
{
    static const char* const kParagraph[] = {
        "The quarterly figures are in, and revenue grew by four percent compared",
        "with the last quarter. Most of the growth came from the new office, which",
        "opened on time in October and has already signed three large customers.",
        "> Could you send me the numbers for the northern region as well?",
        "> We need them for the meeting on Thursday.",
        "",
    };
    std::vector<std::string> lines;
    std::size_t size = 0;
    for (std::size_t i = 0; size < bytes; ++i) {
        lines.emplace_back(kParagraph[i % std::size(kParagraph)]);
        size += lines.back().size() + 2;
    }
    return lines;
}

std::vector<std::string> Header(const char* contentType)
{
    return {"From: Alice Example <alice@example.org>", "To: Bob <bob@example.net>",
            "Subject: Quarterly report and plans for the next quarter", "Date: Mon, 2 Dec 2024 09:15:00 +0000",
            "MIME-Version: 1.0", std::string("Content-Type: ") + contentType};
}

std::vector<std::string> AlternativeMail()
{
    const std::vector<std::string> text = Text(14800);
    std::vector<std::string> lines = Header("multipart/alternative; boundary=\"000000000000b1\"");
    lines.insert(lines.end(), {"", "--000000000000b1", "Content-Type: text/plain; charset=\"UTF-8\"",
                               "Content-Transfer-Encoding: quoted-printable", ""});
    lines.insert(lines.end(), text.begin(), text.end());
    lines.insert(lines.end(), {"--000000000000b1", "Content-Type: text/html; charset=\"UTF-8\"",
                               "Content-Transfer-Encoding: quoted-printable", "", "<div dir=3D\"ltr\">"});
    for (const std::string& line : text) {
        lines.push_back(line.empty() ? "</div><div dir=3D\"ltr\">" : line + "<br>");
    }
    lines.insert(lines.end(), {"</div>", "--000000000000b1--"});
    return lines;
}

std::vector<std::string> PlainMail()
{
    std::vector<std::string> lines = Header("text/plain; charset=us-ascii");
    lines.emplace_back();
    const std::vector<std::string> text = Text(14800);
    lines.insert(lines.end(), text.begin(), text.end());
    return lines;
}

// The benchmark's own registry and an engine that gives back its source at once.
struct InstantEngine {
    InstantEngine() { engine.Initialize(); }
    ScopedRegistry registry;
    ScopedApartment apartment;
    ScopedTestComponents components{{.translate = [](const std::u16string& source, std::u16string& out) {
        out = source;
        return win32::S_OK;
    }}};
    Dunmo2000Engine engine;
};

void BM_ModernMail32KiBAlternative(benchmark::State& state)
{
    InstantEngine instant;
    const RuleList rules;
    Email received;
    received.SetMail(AlternativeMail());
    for (auto _ : state) {
        Email mail(received);
        if (!ModernMailTranslator(instant.engine, ModuleInstance()).Translate(mail, {rules, false, true, 32, 50})) {
            state.SkipWithError("the mail was not translated");
            break;
        }
        benchmark::DoNotOptimize(mail.size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * received.size);
    state.counters["mail_octets"] = received.size;
    state.counters["engine_calls"] = static_cast<double>(instant.components.counters().translateCalls) /
                                     static_cast<double>(state.iterations());
}
BENCHMARK(BM_ModernMail32KiBAlternative)->Unit(benchmark::kMicrosecond);

void BM_ClassicMail32KiBSameText(benchmark::State& state)
{
    InstantEngine instant;
    Email received;
    received.SetMail(PlainMail());
    Pop3TranslateThread thread;  // for the selection; its own thread stays idle
    for (auto _ : state) {
        Email mail(received);
        const bool done = DecodeMailBody(mail) && thread.IsTranslateMail(&mail) &&
                          MailComposer(instant.engine, ModuleInstance()).TranslateMail(&mail) &&
                          MailCodec().EncodeBody(mail);
        if (!done) {
            state.SkipWithError("the mail was not translated");
            break;
        }
        benchmark::DoNotOptimize(mail.size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * received.size);
    state.counters["mail_octets"] = received.size;
    state.counters["engine_calls"] = static_cast<double>(instant.components.counters().translateCalls) /
                                     static_cast<double>(state.iterations());
    thread.StopAndWait();
}
BENCHMARK(BM_ClassicMail32KiBSameText)->Unit(benchmark::kMicrosecond);

}  // namespace
