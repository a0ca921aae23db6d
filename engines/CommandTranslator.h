// The command translator: runs a shell command for each text, the English UTF-8 text on its standard input and
// the translation on its standard output. Owned by one engine object; each call runs and reaps its own child.
#pragma once

#include "engines/Translator.h"

namespace engines {

class CommandTranslator final : public Translator {
public:
    CommandTranslator(std::string command, unsigned timeoutSeconds)
        : command(std::move(command)), timeoutSeconds(timeoutSeconds)
    {
    }

    // Fails on a non-zero exit, a signal, the time-out (the command's whole process group is killed) or an
    // output that is not UTF-8.
    TranslationResult Translate(std::string_view utf8) override;

private:
    std::string command;
    unsigned timeoutSeconds;
};

}  // namespace engines
