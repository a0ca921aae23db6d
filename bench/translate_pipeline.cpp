// The translation pipeline's own cost and its latency:
//  - BM_TranslatePipeline32KiB: one 32 KiB English mail through decode, select, compose and encode, with an
//    engine that answers at once (the engine's own time left out);
//  - BM_ModernMail32KiBAlternative: with the same engine, a 32 KiB multipart/alternative UTF-8 mail (its text as a
//    quoted-printable plain part and as HTML) on the path of present-day mail: read with the MIME library,
//    selected, composed and written as its UTF-8 copy; BM_ClassicMailSameText: its plain text alone as a
//    text/plain mail on the classic path;
//  - BM_RetrToReadyDictionary4KiB: from the hand-over of a captured 4 KiB mail (what the relay does at the end
//    of a RETR) to its translated copy waiting for the next connection, with the installed dictionary engine
//    (engine made, configured and released by the batch, as in the server; the dictionary itself stays open
//    in the engine class after the first batch, whose cost BM_DictionaryOpenAndGloss4KiB shows);
//  - BM_EdictFirstBatch4KiB/built and /cached: the first batch of a process with the EDICT dictionary, its
//    English index built from the edict file (first use on a machine, or after the file changed) or mapped from
//    the cache, then the 4 KiB body glossed; BM_EdictGloss4KiB: a later batch, the dictionary kept open.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "resources/ModuleResources.h"
#include "mail/Email.h"
#include "mail/MailCodec.h"
#include "platform/Com.h"
#include "engines/EngineInterfaces.h"
#include "platform/ComObject.h"
#include "engines/DictionaryTranslator.h"
#include "engines/DictionaryCache.h"
#include "engines/EdictTranslator.h"
#include "engines/InstalledEngines.h"
#include "pop3/Pop3Agent.h"
#include "translate/Dunmo2000Engine.h"
#include "translate/MailComposer.h"
#include "translate/ModernMailTranslator.h"
#include "translate/Pop3TranslateThread.h"
#include "rules/RuleList.h"

namespace {

// An engine that gives back its source at once.
class EchoEngine final : public win32::ComObject<win32::ITranslationEngine> {
public:
    win32::HRESULT QueryInterface(win32::REFIID iid, void** object) override
    {
        return QueryAs(iid, object, {win32::IID_ITranslationEngine});
    }
    win32::HRESULT SetEngineSettings(win32::IEngineSettings*) override { return win32::S_OK; }
    win32::HRESULT TranslateText(win32::BSTR source, win32::BSTR* translation) override
    {
        *translation = win32::SysAllocStringLen(source, win32::SysStringLen(source));
        return win32::S_OK;
    }
};

// A registry of the benchmark's own, empty, so every setting takes its default.
class PrivateRegistry {
public:
    PrivateRegistry()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench-registry-XXXXXX").string();
        folder = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        ::setenv("VUVED_REGISTRY_DIR", folder.c_str(), 1);
        ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);  // the dictionary's index is built here, not in ~/.cache
    }
    ~PrivateRegistry()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

private:
    std::string folder;
};

// The echo engine registered in this thread's apartment for the life of a benchmark, and the adapter holding it.
class InstantEngine {
public:
    InstantEngine()
        : replaced(win32::RegisterComponentClass(
              {win32::kTranslationEngineProgId, {0xBE, 0, 0, {1}}, win32::CLSCTX_INPROC_SERVER,
               [](win32::REFIID iid, void** object) { return win32::CreateComObject<EchoEngine>(iid, object); }}))
    {
        engine.Initialize();
    }
    ~InstantEngine()
    {
        engine.Uninitialize();
        win32::UnregisterComponentClass(win32::kTranslationEngineProgId);
        if (replaced) {
            win32::RegisterComponentClass(*replaced);
        }
    }
    InstantEngine(const InstantEngine&) = delete;
    InstantEngine& operator=(const InstantEngine&) = delete;

    Dunmo2000Engine engine;

private:
    struct Apartment {
        Apartment() { win32::CoInitializeEx(nullptr, win32::COINIT_MULTITHREADED); }
        ~Apartment() { win32::CoUninitialize(); }
    } apartment;  // first in, last out
    std::optional<win32::ComponentClass> replaced;
};

// English paragraphs and quoted replies, about `bytes` octets.
std::vector<std::string> EnglishText(std::size_t bytes)
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

std::vector<std::string> Header(const std::string& contentType)
{
    return {
        "From: Alice Example <alice@example.org>",
        "To: Bob <bob@example.net>",
        "Subject: Quarterly report and plans for the next quarter",
        "Date: Mon, 2 Dec 2024 09:15:00 +0000",
        "MIME-Version: 1.0",
        "Content-Type: " + contentType,
    };
}

std::vector<std::string> EnglishMail(std::size_t bodyBytes)
{
    std::vector<std::string> lines = Header("text/plain; charset=us-ascii");
    lines.insert(lines.end(), {"Content-Transfer-Encoding: 7bit", ""});
    const std::vector<std::string> text = EnglishText(bodyBytes);
    lines.insert(lines.end(), text.begin(), text.end());
    return lines;
}

// As Gmail sends it: the text as a UTF-8 quoted-printable plain part and again as HTML.
std::vector<std::string> AlternativeMail(std::size_t textBytes)
{
    const std::vector<std::string> text = EnglishText(textBytes);
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

// The classic path of one mail, as the translate thread takes it.
bool TranslateClassic(Email& mail, Pop3TranslateThread& thread, Dunmo2000Engine& engine)
{
    return DecodeMailBody(mail) && thread.IsTranslateMail(&mail) &&
           MailComposer(engine, ModuleInstance()).TranslateMail(&mail) && MailCodec().EncodeBody(mail);
}

void ClassicPath(benchmark::State& state, const std::vector<std::string>& lines)
{
    PrivateRegistry registry;
    InstantEngine instant;
    Email received;
    received.SetMail(lines);
    Pop3TranslateThread thread;  // for the selection; its own thread stays idle
    for (auto _ : state) {
        Email mail(received);
        if (!TranslateClassic(mail, thread, instant.engine)) {
            state.SkipWithError("the mail was not translated");
            break;
        }
        benchmark::DoNotOptimize(mail.size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * received.size);
    state.counters["mail_octets"] = received.size;
    thread.StopAndWait();
}

void BM_TranslatePipeline32KiB(benchmark::State& state) { ClassicPath(state, EnglishMail(32 * 1024 - 1024)); }
BENCHMARK(BM_TranslatePipeline32KiB)->Unit(benchmark::kMicrosecond);

constexpr std::size_t kAlternativeTextBytes = 14800;  // makes the multipart mail 32 KiB

void BM_ModernMail32KiBAlternative(benchmark::State& state)
{
    PrivateRegistry registry;
    InstantEngine instant;
    const RuleList rules;
    Email received;
    received.SetMail(AlternativeMail(kAlternativeTextBytes));
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
}
BENCHMARK(BM_ModernMail32KiBAlternative)->Unit(benchmark::kMicrosecond);

void BM_ClassicMailSameText(benchmark::State& state) { ClassicPath(state, EnglishMail(kAlternativeTextBytes)); }
BENCHMARK(BM_ClassicMailSameText)->Unit(benchmark::kMicrosecond);

void BM_RetrToReadyDictionary4KiB(benchmark::State& state)
{
    PrivateRegistry registry;
    // As the application does at start: the installed engine classes enter the process's class table.
    engines::RegisterInstalledEngines();
    // The dictionary's index is built once beforehand (BM_EdictFirstBatch4KiB/built measures that).
    std::string error;
    if (!engines::EdictTranslator::Open(engines::EdictTranslator::kDefaultPath,
                                        engines::DictionaryCache::EdictCacheFile(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    Email received;
    received.SetMail(EnglishMail(4 * 1024 - 512));
    for (auto _ : state) {
        // A translate thread of its own per round, so that every round is a batch of its own: engine made,
        // dictionary loaded and configured, mail translated, engine released.
        state.PauseTiming();
        auto thread = std::make_unique<Pop3TranslateThread>();
        auto mail = std::make_unique<Email>(received);
        state.ResumeTiming();
        thread->AddTranslateMail(std::move(mail));
        bool translated = false;
        for (;;) {
            // Asked in this order because the batch queues the copy before it takes the mail off its queue.
            const bool waiting = thread->IsTranslating();
            if (thread->HaveTranslateMail()) {
                translated = true;
                break;
            }
            if (!waiting) {
                break;
            }
            std::this_thread::yield();
        }
        if (!translated) {
            thread->StopAndWait();
            state.SkipWithError("the mail was not translated (is the dictionary installed?)");
            return;
        }
        state.PauseTiming();
        if (std::unique_ptr<Pop3Agent> agent = thread->GetPop3Agent()) {
            agent->StopAndWait();
        }
        thread->StopAndWait();
        thread.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RetrToReadyDictionary4KiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The part of every batch that the dictionary engine adds: loading its index and opening its data.
void BM_DictionaryOpen(benchmark::State& state)
{
    for (auto _ : state) {
        std::string error;
        auto dictionary = engines::DictionaryTranslator::Open(engines::DictionaryTranslator::kDefaultPath, error);
        if (!dictionary) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(dictionary.get());
    }
}
BENCHMARK(BM_DictionaryOpen)->Unit(benchmark::kMillisecond);

std::string EnglishBody4KiB()
{
    std::string text;
    for (const std::string& line : EnglishMail(4 * 1024 - 512)) {
        text += line + " ";
    }
    return text;
}

// A fresh dictionary (as every batch has) glossing the body of the 4 KiB mail.
void BM_DictionaryOpenAndGloss4KiB(benchmark::State& state)
{
    const std::string text = EnglishBody4KiB();
    for (auto _ : state) {
        std::string error;
        auto dictionary = engines::DictionaryTranslator::Open(engines::DictionaryTranslator::kDefaultPath, error);
        if (!dictionary) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(dictionary->Translate(text));
    }
}
BENCHMARK(BM_DictionaryOpenAndGloss4KiB)->Unit(benchmark::kMillisecond);

// A new folder below the temporary folder; empty when none can be made.
std::string TemporaryFolder()
{
    std::string folder = (std::filesystem::temp_directory_path() / "bench-edict-XXXXXX").string();
    return ::mkdtemp(folder.data()) != nullptr ? folder : std::string();
}

// state.range(0): 1 when the index is built from the edict file, 0 when it is mapped from the cache.
void BM_EdictFirstBatch4KiB(benchmark::State& state)
{
    const std::string text = EnglishBody4KiB();
    const std::string folder = TemporaryFolder();
    if (folder.empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string cacheFile = folder + "/index";
    std::string error;
    if (state.range(0) == 0 &&
        !engines::EdictTranslator::Open(engines::EdictTranslator::kDefaultPath, cacheFile, error)) {
        state.SkipWithError(error.c_str());
    }
    for (auto _ : state) {
        if (state.range(0) == 1) {
            state.PauseTiming();
            std::filesystem::remove(cacheFile);
            state.ResumeTiming();
        }
        auto dictionary = engines::EdictTranslator::Open(engines::EdictTranslator::kDefaultPath, cacheFile, error);
        if (!dictionary) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(dictionary->Translate(text));
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_EdictFirstBatch4KiB)->Arg(1)->Arg(0)->ArgName("built")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EdictGloss4KiB(benchmark::State& state)
{
    const std::string text = EnglishBody4KiB();
    const std::string folder = TemporaryFolder();
    if (folder.empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::string error;
    auto dictionary = engines::EdictTranslator::Open(engines::EdictTranslator::kDefaultPath, folder + "/index", error);
    if (!dictionary) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(dictionary->Translate(text));
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_EdictGloss4KiB)->Unit(benchmark::kMillisecond);

}  // namespace
