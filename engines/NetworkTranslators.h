// The network translators: an OpenAI-compatible chat-completions endpoint (local model servers and hosted
// services), the LibreTranslate API and the DeepL API. Owned by one engine object. The API key is read from the
// environment for every request and is never stored, written or shown.
#pragma once

#include "engines/Translator.h"

namespace engines {

struct NetworkSettings {
    std::string endpoint;  // base URL
    std::string model;
    std::string apiKeyVariable;  // name of the environment variable holding the key
    unsigned timeoutSeconds = 60;
};

class OpenAiTranslator final : public Translator {
public:
    static constexpr const char* kDefaultEndpoint = "http://127.0.0.1:11434/v1";
    static constexpr const char* kInstruction =
        "Translate the English text the user gives you into natural Japanese. Reply with the Japanese translation "
        "only: no explanations, no notes, no quotation marks.";

    explicit OpenAiTranslator(NetworkSettings settings) : settings(std::move(settings)) {}
    TranslationResult Translate(std::string_view utf8) override;

private:
    NetworkSettings settings;
};

class LibreTranslateTranslator final : public Translator {
public:
    static constexpr const char* kDefaultEndpoint = "http://127.0.0.1:5000";

    explicit LibreTranslateTranslator(NetworkSettings settings) : settings(std::move(settings)) {}
    TranslationResult Translate(std::string_view utf8) override;

private:
    NetworkSettings settings;
};

class DeepLTranslator final : public Translator {
public:
    // The free plan's host; the paid plan's https://api.deepl.com is set the same way.
    static constexpr const char* kDefaultEndpoint = "https://api-free.deepl.com";
    static constexpr const char* kDefaultKeyVariable = "DEEPL_AUTH_KEY";

    explicit DeepLTranslator(NetworkSettings settings) : settings(std::move(settings)) {}
    TranslationResult Translate(std::string_view utf8) override;

private:
    NetworkSettings settings;
};

}  // namespace engines
