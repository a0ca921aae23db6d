// Preference values (all optional): "Engine" (REG_SZ: dictionary, command, openai, libretranslate, deepl),
// "DictionaryPath", "Command", "Endpoint", "Model", "ApiKeyVariable" (REG_SZ) and "TimeoutSeconds" (REG_DWORD).
#include "engines/EJPreferences.h"

#include <vector>

#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "engines/DictionaryTranslator.h"
#include "engines/EdictTranslator.h"
#include "engines/EngineProblem.h"
#include "engines/EngineSettings.h"
#include "engines/NetworkTranslators.h"

namespace engines {

using namespace win32;

namespace {

constexpr HRESULT kNoEngineInstalled = static_cast<HRESULT>(0x80070000 | ERROR_FILE_NOT_FOUND);
constexpr unsigned kDefaultTimeoutSeconds = 60;

class PreferencesKey {
public:
    PreferencesKey()
    {
        if (RegOpenKeyEx(HKEY_CURRENT_USER, kEJPreferencesKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            key = nullptr;
        }
    }
    ~PreferencesKey()
    {
        if (key != nullptr) {
            RegCloseKey(key);
        }
    }
    PreferencesKey(const PreferencesKey&) = delete;
    PreferencesKey& operator=(const PreferencesKey&) = delete;

    // The text of a REG_SZ value, in UTF-8; the fallback when the value is absent, empty or of another type.
    std::string String(const char* name, const std::string& fallback) const
    {
        DWORD type = 0;
        DWORD size = 0;
        if (key == nullptr || RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return fallback;
        }
        std::vector<BYTE> data(size + 1, 0);
        if (RegQueryValueEx(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS || type != REG_SZ) {
            return fallback;
        }
        const std::string ansi(reinterpret_cast<const char*>(data.data()));
        return ansi.empty() ? fallback : AnsiToUtf8(ansi);
    }

    DWORD Dword(const char* name, DWORD fallback) const
    {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        if (key == nullptr ||
            RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof value) {
            return fallback;
        }
        return value;
    }

private:
    HKEY key = nullptr;
};

}  // namespace

HRESULT EJPreferences::ReadConfiguration(EngineConfiguration& configuration)
{
    const PreferencesKey preferences;
    // EDICT when it is installed, else the smaller FreeDict dictionary.
    configuration.dictionaryPath =
        preferences.String("DictionaryPath", EdictTranslator::IsInstalled(EdictTranslator::kDefaultPath)
                                                 ? EdictTranslator::kDefaultPath
                                                 : DictionaryTranslator::kDefaultPath);
    configuration.command = preferences.String("Command", "");
    configuration.model = preferences.String("Model", "");
    configuration.apiKeyVariable = preferences.String("ApiKeyVariable", "OPENAI_API_KEY");
    const DWORD timeout = preferences.Dword("TimeoutSeconds", kDefaultTimeoutSeconds);
    configuration.timeoutSeconds = timeout == 0 ? kDefaultTimeoutSeconds : timeout;

    const std::string engine = preferences.String("Engine", "");
    if (engine.empty()) {
        if (!EdictTranslator::IsInstalled(configuration.dictionaryPath) &&
            !DictionaryTranslator::IsInstalled(configuration.dictionaryPath)) {
            ReportEngineProblem("no \"Engine\" is set and the dictionary " + configuration.dictionaryPath +
                                " is not installed (Debian package edict, or dict-freedict-eng-jpn)");
            return kNoEngineInstalled;
        }
        configuration.kind = EngineKind::Dictionary;
    } else if (engine == "dictionary") {
        configuration.kind = EngineKind::Dictionary;
    } else if (engine == "command") {
        configuration.kind = EngineKind::Command;
    } else if (engine == "openai") {
        configuration.kind = EngineKind::OpenAi;
        configuration.endpoint = preferences.String("Endpoint", OpenAiTranslator::kDefaultEndpoint);
    } else if (engine == "libretranslate") {
        configuration.kind = EngineKind::LibreTranslate;
        configuration.apiKeyVariable = preferences.String("ApiKeyVariable", "");
        configuration.endpoint = preferences.String("Endpoint", LibreTranslateTranslator::kDefaultEndpoint);
    } else if (engine == "deepl") {
        configuration.kind = EngineKind::DeepL;
        configuration.apiKeyVariable = preferences.String("ApiKeyVariable", DeepLTranslator::kDefaultKeyVariable);
        configuration.endpoint = preferences.String("Endpoint", DeepLTranslator::kDefaultEndpoint);
    } else {
        ReportEngineProblem("\"Engine\" is \"" + engine +
                            "\"; it must be dictionary, command, openai, libretranslate or deepl");
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT EJPreferences::GetEngineSettings(IUnknown** settings)
{
    if (settings == nullptr) {
        return E_POINTER;
    }
    *settings = nullptr;
    EngineConfiguration configuration;
    const HRESULT result = ReadConfiguration(configuration);
    if (FAILED(result)) {
        return result;
    }
    *settings = static_cast<IEngineConfiguration*>(new EngineSettings(std::move(configuration)));
    return S_OK;
}

}  // namespace engines
