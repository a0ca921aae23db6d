// The interfaces of the translation engine, its preferences object and its settings object, as the pipeline calls
// them, with their ProgIDs. The pipeline knows the engines only through these (engines/ implements them).
#pragma once

#include "platform/Com.h"

namespace win32 {

inline constexpr const char16_t* kTranslationEngineProgId = u"RiloEJTransEngine.TranslationEngine";
inline constexpr const char16_t* kEJPreferencesProgId = u"RiloEJTransPref.EJPreferences";

// {C3144070-1103-11D4-8D4C-00E0292B5B69}
inline constexpr IID IID_ITranslationEngine = {0xC3144070, 0x1103, 0x11D4,
                                               {0x8D, 0x4C, 0x00, 0xE0, 0x29, 0x2B, 0x5B, 0x69}};
// {0972BAFF-A72A-4B06-A933-D75FE6D8DA26}
inline constexpr IID IID_IEJPreferences = {0x0972BAFF, 0xA72A, 0x4B06,
                                           {0xA9, 0x33, 0xD7, 0x5F, 0xE6, 0xD8, 0xDA, 0x26}};
// {C3144076-1103-11D4-8D4C-00E0292B5B69}
inline constexpr IID IID_IEngineSettings = {0xC3144076, 0x1103, 0x11D4,
                                            {0x8D, 0x4C, 0x00, 0xE0, 0x29, 0x2B, 0x5B, 0x69}};

// The configuration the preferences object hands to the engine; opaque to the program.
struct IEngineSettings : IUnknown {
protected:
    ~IEngineSettings() = default;
};

struct ITranslationEngine : IUnknown {
    virtual HRESULT SetEngineSettings(IEngineSettings* settings) = 0;
    // Unicode text in, Unicode translation out; the caller frees *translation with SysFreeString.
    virtual HRESULT TranslateText(BSTR source, BSTR* translation) = 0;

protected:
    ~ITranslationEngine() = default;
};

struct IEJPreferences : IUnknown {
    // A new settings object from the preferences as they stand now; the caller releases it.
    virtual HRESULT GetEngineSettings(IUnknown** settings) = 0;

protected:
    ~IEJPreferences() = default;
};

}  // namespace win32
