#include "engines/InstalledEngines.h"

#include <memory>

#include "engines/EJPreferences.h"
#include "engines/TranslationEngine.h"
#include "platform/ComObject.h"

namespace engines {

using namespace win32;

void RegisterInstalledEngines()
{
    // The engine class keeps its dictionary open between the engine objects it makes (one per batch).
    auto dictionaries = std::make_shared<DictionaryCache>();
    RegisterComponentClass({kTranslationEngineProgId, CLSID_TranslationEngine, CLSCTX_INPROC_SERVER,
                            [dictionaries](REFIID iid, void** object) {
                                return CreateComObject<TranslationEngine>(iid, object, dictionaries);
                            }});
    RegisterComponentClass({kEJPreferencesProgId, CLSID_EJPreferences, CLSCTX_INPROC_SERVER,
                            [](REFIID iid, void** object) { return CreateComObject<EJPreferences>(iid, object); }});
}

}  // namespace engines
