#include "platform/components/EngineProblem.h"

#include <cstdio>

namespace win32 {

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
    }
    return "unknown";
}

void ReportEngineProblem(std::string_view reason)
{
    std::fprintf(stderr, "VUVed3UzeroVadave: translation engine: %.*s\n", static_cast<int>(reason.size()),
                 reason.data());
    std::fflush(stderr);
}

}  // namespace win32
