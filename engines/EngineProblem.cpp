#include "engines/EngineProblem.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/ThreadSafety.h"

namespace engines {

namespace {

// The one standard error of the process is what this remembers for, so it is the process's.
struct LastProblem {
    win32::Mutex lock;
    std::string reason GUARDED_BY(lock);  // empty when none is outstanding
};

LastProblem& Last()
{
    static LastProblem last;
    return last;
}

}  // namespace

const char* EngineName(EngineKind kind)
{
    switch (kind) {
    case EngineKind::Dictionary:
        return "dictionary";
    case EngineKind::Command:
        return "command";
    case EngineKind::OpenAi:
        return "openai";
    case EngineKind::LibreTranslate:
        return "libretranslate";
    case EngineKind::DeepL:
        return "deepl";
    }
    return "unknown";
}

void ReportEngineProblem(std::string_view reason)
{
    LastProblem& last = Last();
    win32::LockGuard lastGuard(last.lock);
    if (last.reason == reason) {
        return;
    }
    last.reason = reason;
    std::fprintf(stderr, "VUVed3UzeroVadave: translation engine: %.*s\n", static_cast<int>(reason.size()),
                 reason.data());
    std::fflush(stderr);
}

void NoteEngineWorked()
{
    LastProblem& last = Last();
    win32::LockGuard lastGuard(last.lock);
    last.reason.clear();
}

}  // namespace engines
