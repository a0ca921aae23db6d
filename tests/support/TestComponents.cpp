#include "support/TestComponents.h"

#include "platform/ComObject.h"

namespace testing_components {

namespace {

constexpr win32::CLSID kTestEngineClsid = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr win32::CLSID kTestPreferencesClsid = {0x11111111, 0x2222, 0x3333, {8, 7, 6, 5, 4, 3, 2, 1}};

template <typename Interface>
class Counted : public win32::ComObject<Interface> {
protected:
    explicit Counted(Counters& counters) : counters(counters) { ++counters.liveObjects; }
    ~Counted() override { --counters.liveObjects; }
    Counters& counters;
};

class TestSettings final : public Counted<win32::IEngineSettings> {
public:
    TestSettings(Counters& counters, bool withInterface) : Counted(counters), withInterface(withInterface) {}
    win32::HRESULT QueryInterface(win32::REFIID iid, void** object) override {
        return withInterface ? QueryAs(iid, object, {win32::IID_IEngineSettings}) : QueryAs(iid, object, {});
    }

private:
    bool withInterface;
};

class TestPreferences final : public Counted<win32::IEJPreferences> {
public:
    TestPreferences(Counters& counters, const Behaviour& behaviour)
        : Counted(counters), behaviour(behaviour) {}
    win32::HRESULT QueryInterface(win32::REFIID iid, void** object) override {
        return QueryAs(iid, object, {win32::IID_IEJPreferences});
    }
    win32::HRESULT GetEngineSettings(win32::IUnknown** settings) override {
        *settings = nullptr;
        if (win32::FAILED(behaviour.getEngineSettings)) {
            return behaviour.getEngineSettings;
        }
        if (!behaviour.settingsObjectMissing) {
            *settings = static_cast<win32::IUnknown*>(
                new TestSettings(counters, !behaviour.settingsWithoutInterface));
        }
        return win32::S_OK;
    }

private:
    const Behaviour& behaviour;
};

class TestEngine final : public Counted<win32::ITranslationEngine> {
public:
    TestEngine(Counters& counters, const Behaviour& behaviour) : Counted(counters), behaviour(behaviour) {}
    win32::HRESULT QueryInterface(win32::REFIID iid, void** object) override {
        return QueryAs(iid, object, {win32::IID_ITranslationEngine});
    }
    win32::HRESULT SetEngineSettings(win32::IEngineSettings* settings) override {
        if (settings == nullptr) {
            return win32::E_POINTER;
        }
        ++counters.settingsHandedOver;
        return behaviour.setEngineSettings;
    }
    win32::HRESULT TranslateText(win32::BSTR source, win32::BSTR* translation) override {
        ++counters.translateCalls;
        const std::u16string text(source == nullptr ? u"" : source, win32::SysStringLen(source));
        std::u16string out;
        const win32::HRESULT result =
            behaviour.translate ? behaviour.translate(text, out) : Bracket(text, out);
        if (win32::FAILED(result)) {
            return result;
        }
        *translation = out.empty()
                           ? nullptr
                           : win32::SysAllocStringLen(out.data(), static_cast<win32::UINT>(out.size()));
        return result;
    }

private:
    const Behaviour& behaviour;
};

}  // namespace

win32::HRESULT Bracket(const std::u16string& source, std::u16string& out) {
    out = source.empty() ? std::u16string() : u"<" + source + u">";
    return win32::S_OK;
}

ScopedTestComponents::ScopedTestComponents(Behaviour behaviour)
    : state(std::make_unique<Behaviour>(std::move(behaviour))) {
    Counters* counters = &counterState;
    const Behaviour* current = state.get();
    replacedEngine = win32::RegisterComponentClass(
        {win32::kTranslationEngineProgId, kTestEngineClsid, win32::CLSCTX_INPROC_SERVER,
         [counters, current](win32::REFIID iid, void** object) -> win32::HRESULT {
             // Read before the attempt is counted, so that a test seeing the count may change the behaviour.
             const win32::HRESULT failure = current->createEngine;
             ++counters->engineCreateAttempts;
             if (win32::FAILED(failure)) {
                 return failure;
             }
             ++counters->enginesCreated;
             return win32::CreateComObject<TestEngine>(iid, object, *counters, *current);
         }});
    replacedPreferences = win32::RegisterComponentClass(
        {win32::kEJPreferencesProgId, kTestPreferencesClsid, win32::CLSCTX_INPROC_SERVER,
         [counters, current](win32::REFIID iid, void** object) -> win32::HRESULT {
             return win32::CreateComObject<TestPreferences>(iid, object, *counters, *current);
         }});
}

ScopedTestComponents::~ScopedTestComponents() {
    win32::UnregisterComponentClass(win32::kTranslationEngineProgId);
    win32::UnregisterComponentClass(win32::kEJPreferencesProgId);
    if (replacedEngine) {
        win32::RegisterComponentClass(std::move(*replacedEngine));
    }
    if (replacedPreferences) {
        win32::RegisterComponentClass(std::move(*replacedPreferences));
    }
}

}  // namespace testing_components
