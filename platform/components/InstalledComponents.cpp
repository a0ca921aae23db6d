// The classes of the translation components installed with the program, entered into the class table when it
// is first used. They stand in for the separately installed engine and preferences products: the program
// reaches them only through CoCreateInstance and their interfaces, as it would reach the real ones.
#include "platform/components/InstalledComponents.h"

#include "platform/components/EJPreferences.h"
#include "platform/components/TranslationEngine.h"

namespace win32 {

std::vector<ComponentClass> InstalledComponentClasses()
{
    std::vector<ComponentClass> classes;
    // The engine class keeps its dictionary open between the engine objects it makes (one per batch).
    auto dictionaries = std::make_shared<DictionaryCache>();
    classes.push_back({kTranslationEngineProgId, CLSID_TranslationEngine, CLSCTX_INPROC_SERVER,
                       [dictionaries](REFIID iid, void** object) {
                           return CreateComObject<TranslationEngine>(iid, object, dictionaries);
                       }});
    classes.push_back({kEJPreferencesProgId, CLSID_EJPreferences, CLSCTX_INPROC_SERVER,
                       [](REFIID iid, void** object) { return CreateComObject<EJPreferences>(iid, object); }});
    return classes;
}

}  // namespace win32
