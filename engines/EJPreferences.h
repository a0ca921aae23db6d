// The preferences object: reads the engine preferences from HKEY_CURRENT_USER\Software\Norvale\RiloEJTransPref
// at each GetEngineSettings and hands them out as a new settings object. Used by the thread that created it.
#pragma once

#include "platform/ComObject.h"
#include "engines/EngineConfiguration.h"

namespace engines {

using namespace win32;

inline constexpr const char* kEJPreferencesKey = "Software\\Norvale\\RiloEJTransPref";
// {5E1D6F02-8A7C-4C1B-9E55-3B2A7F9D0C11}
inline constexpr CLSID CLSID_EJPreferences = {0x5E1D6F02, 0x8A7C, 0x4C1B,
                                              {0x9E, 0x55, 0x3B, 0x2A, 0x7F, 0x9D, 0x0C, 0x11}};

class EJPreferences final : public ComObject<IEJPreferences> {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        return QueryAs(iid, object, {IID_IEJPreferences});
    }

    // Fails with HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when no engine is named and no dictionary is
    // installed, and with E_INVALIDARG for an engine name it does not know.
    HRESULT GetEngineSettings(IUnknown** settings) override;

    // The configuration as the preferences stand now; a failing HRESULT when no engine can be had.
    static HRESULT ReadConfiguration(EngineConfiguration& configuration);
};

}  // namespace engines
