// Tells the user why translation cannot be done: a line on standard error, where the server's other problems go
// (the journal, when systemd runs it). Without it a wrong key, a stopped service or a missing dictionary would show
// only as mails that wait or as report lines in the translated copies.
#pragma once

#include <string_view>

#include "platform/components/EngineConfiguration.h"

namespace win32 {

// "dictionary", "command", "openai", "libretranslate": the value of "Engine" that names it.
const char* EngineName(EngineKind kind);
void ReportEngineProblem(std::string_view reason);

}  // namespace win32
