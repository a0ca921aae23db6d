// The translation engine object: configured once by SetEngineSettings with a settings object of its preferences
// object, which picks the translator; then translates Unicode texts. Calls are serialised inside, so any thread
// may call it.
#pragma once

#include <memory>
#include <mutex>

#include "platform/ComObject.h"
#include "engines/DictionaryCache.h"
#include "engines/EngineConfiguration.h"
#include "engines/Translator.h"
#include "platform/ThreadSafety.h"

namespace engines {

using namespace win32;

// {8F4B2C17-0D3E-4F6A-B1C9-7A5E2D8C3F20}
inline constexpr CLSID CLSID_TranslationEngine = {0x8F4B2C17, 0x0D3E, 0x4F6A,
                                                  {0xB1, 0xC9, 0x7A, 0x5E, 0x2D, 0x8C, 0x3F, 0x20}};

class TranslationEngine final : public ComObject<ITranslationEngine> {
public:
    // `dictionaries` is where the dictionary translator comes from (kept by the engine class).
    explicit TranslationEngine(std::shared_ptr<DictionaryCache> dictionaries) : dictionaries(std::move(dictionaries))
    {
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        return QueryAs(iid, object, {IID_ITranslationEngine});
    }

    // E_POINTER without settings, E_INVALIDARG for settings of another make or an incomplete configuration,
    // HRESULT_FROM_WIN32 of the file error when the dictionary cannot be read.
    HRESULT SetEngineSettings(IEngineSettings* settings) override;
    // E_UNEXPECTED before SetEngineSettings, E_INVALIDARG for a malformed source, E_FAIL when the translator
    // fails. An empty (or null) source gives an empty translation without asking the translator.
    HRESULT TranslateText(BSTR source, BSTR* translation) override;

    // Makes the translator a configuration names; null with a failing HRESULT when it cannot be had.
    std::shared_ptr<Translator> CreateTranslator(const EngineConfiguration& configuration, HRESULT& failure);

private:
    const std::shared_ptr<DictionaryCache> dictionaries;
    win32::Mutex translatorLock;
    std::shared_ptr<Translator> translator GUARDED_BY(translatorLock);
    EngineKind kind GUARDED_BY(translatorLock) = EngineKind::Dictionary;  // names it in reports
};

}  // namespace engines
