// Tells the user why translation cannot be done: a line on standard error, where the server's other problems go
// (the journal, when systemd runs it). Without it a wrong key, a stopped service or a missing dictionary would show
// only as mails that wait or as report lines in the translated copies.
#pragma once

#include <string_view>

#include "engines/EngineConfiguration.h"

namespace engines {

// "dictionary", "command", "openai", "libretranslate", "deepl": the value of "Engine" that names it.
const char* EngineName(EngineKind kind);

// Writes the reason, unless it is the one written last and no translation has succeeded since: each arriving mail
// makes a new engine, and one that cannot be had (or a service that keeps failing) would otherwise write the same
// line for every mail and every paragraph. Any thread.
void ReportEngineProblem(std::string_view reason);
// A translation succeeded: the next problem is written even when it is the last one again.
void NoteEngineWorked();

}  // namespace engines
