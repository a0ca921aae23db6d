// The engine converts between the Unicode of its interface and the UTF-8 its translators work in.
#include "engines/TranslationEngine.h"

#include "engines/CommandTranslator.h"
#include "engines/DictionaryTranslator.h"
#include "engines/EngineProblem.h"
#include "engines/NetworkTranslators.h"
#include "engines/Utf.h"

namespace engines {

using namespace win32;

namespace {

constexpr HRESULT kDictionaryUnreadable = static_cast<HRESULT>(0x80070000 | ERROR_FILE_NOT_FOUND);

}  // namespace

std::shared_ptr<Translator> TranslationEngine::CreateTranslator(const EngineConfiguration& configuration,
                                                                HRESULT& failure)
{
    failure = E_INVALIDARG;
    NetworkSettings network{configuration.endpoint, configuration.model, configuration.apiKeyVariable,
                            configuration.timeoutSeconds};
    switch (configuration.kind) {
    case EngineKind::Dictionary: {
        std::string error;
        std::shared_ptr<Translator> dictionary = dictionaries->Get(configuration.dictionaryPath, error);
        if (!dictionary) {
            ReportEngineProblem("dictionary " + error);
            failure = kDictionaryUnreadable;
        }
        return dictionary;
    }
    case EngineKind::Command:
        if (configuration.command.empty()) {
            ReportEngineProblem("the command engine needs a \"Command\"");
            return nullptr;
        }
        return std::make_unique<CommandTranslator>(configuration.command, configuration.timeoutSeconds);
    case EngineKind::OpenAi:
        if (configuration.model.empty() || configuration.endpoint.empty()) {
            ReportEngineProblem("the openai engine needs a \"Model\" and an \"Endpoint\"");
            return nullptr;
        }
        return std::make_unique<OpenAiTranslator>(std::move(network));
    case EngineKind::LibreTranslate:
        if (configuration.endpoint.empty()) {
            ReportEngineProblem("the libretranslate engine needs an \"Endpoint\"");
            return nullptr;
        }
        return std::make_unique<LibreTranslateTranslator>(std::move(network));
    case EngineKind::DeepL:
        if (configuration.endpoint.empty()) {
            ReportEngineProblem("the deepl engine needs an \"Endpoint\"");
            return nullptr;
        }
        return std::make_unique<DeepLTranslator>(std::move(network));
    }
    return nullptr;
}

HRESULT TranslationEngine::SetEngineSettings(IEngineSettings* settings)
{
    if (settings == nullptr) {
        return E_POINTER;
    }
    IEngineConfiguration* configuration = nullptr;
    if (FAILED(settings->QueryInterface(IID_IEngineConfiguration, reinterpret_cast<void**>(&configuration)))) {
        return E_INVALIDARG;
    }
    HRESULT failure = S_OK;
    std::shared_ptr<Translator> made = CreateTranslator(configuration->Configuration(), failure);
    const EngineKind madeKind = configuration->Configuration().kind;
    configuration->Release();
    if (!made) {
        return failure;
    }
    win32::LockGuard translatorGuard(translatorLock);
    translator = std::move(made);
    kind = madeKind;
    return S_OK;
}

HRESULT TranslationEngine::TranslateText(BSTR source, BSTR* translation)
{
    if (translation == nullptr) {
        return E_POINTER;
    }
    *translation = nullptr;
    win32::LockGuard translatorGuard(translatorLock);
    if (!translator) {
        return E_UNEXPECTED;
    }
    const std::optional<std::string> utf8 = Utf16ToUtf8Strict(std::u16string_view(source, SysStringLen(source)));
    if (!utf8) {
        return E_INVALIDARG;
    }
    if (utf8->empty()) {
        return S_OK;
    }
    const TranslationResult result = translator->Translate(*utf8);
    if (!result.ok) {
        ReportEngineProblem(std::string(EngineName(kind)) + ": " + result.error);
        return E_FAIL;
    }
    const std::optional<std::u16string> unicode = Utf8ToUtf16Strict(result.text);
    if (!unicode) {
        ReportEngineProblem(std::string(EngineName(kind)) + ": the translation is not UTF-8");
        return E_FAIL;
    }
    NoteEngineWorked();
    *translation = SysAllocStringLen(unicode->data(), static_cast<UINT>(unicode->size()));
    return *translation == nullptr && !unicode->empty() ? E_OUTOFMEMORY : S_OK;
}

}  // namespace engines
