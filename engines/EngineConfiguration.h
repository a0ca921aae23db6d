// What the preferences object hands to the engine through the opaque settings object: which translator to run
// and its parameters, as read from the preferences key at one moment.
#pragma once

#include <string>

#include "engines/EngineInterfaces.h"

namespace engines {

using namespace win32;

enum class EngineKind { Dictionary, Command, OpenAi, LibreTranslate, DeepL };

struct EngineConfiguration {
    EngineKind kind = EngineKind::Dictionary;
    std::string dictionaryPath;  // without the ".index" / ".dict.dz" endings
    std::string command;
    std::string endpoint;
    std::string model;
    std::string apiKeyVariable;
    unsigned timeoutSeconds = 60;
};

// {6B0E3C61-52D8-4E0B-9B7A-2F3D91C0A417}: the private interface through which the engine reads a settings
// object of its own maker; settings objects of any other make are refused.
inline constexpr IID IID_IEngineConfiguration = {0x6B0E3C61, 0x52D8, 0x4E0B,
                                                 {0x9B, 0x7A, 0x2F, 0x3D, 0x91, 0xC0, 0xA4, 0x17}};

struct IEngineConfiguration : IEngineSettings {
    virtual const EngineConfiguration& Configuration() const = 0;

protected:
    ~IEngineConfiguration() = default;
};

}  // namespace engines
