// The installed engine and preferences components, configured from the registry as the adapter reaches them.
#include <gtest/gtest.h>

#include "TestComponents.h"
#include "TranslationSettings.h"
#include "integration/RelaySettings.h"
#include "platform/CodePage.h"
#include "platform/components/DictionaryTranslator.h"
#include "platform/components/EJPreferences.h"
#include "platform/components/EngineSettings.h"
#include "platform/components/TranslationEngine.h"
#include "translate/Dunmo2000Engine.h"

using namespace win32;
using testing_components::ScopedApartment;

namespace {

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);

HRESULT InitializeFailure(Dunmo2000Engine& engine)
{
    try {
        engine.Initialize();
    } catch (HRESULT failure) {
        return failure;
    }
    return S_OK;
}

class EnginePreferencesTest : public ::testing::Test {
protected:
    ScopedRegistry registry;
    ScopedApartment apartment;
};

TEST_F(EnginePreferencesTest, ConfigurationFromTheRegistry)
{
    EngineConfiguration configuration;
    ASSERT_EQ(EJPreferences::ReadConfiguration(configuration), S_OK)
        << "without preferences the installed dictionary is the engine";
    EXPECT_EQ(configuration.kind, EngineKind::Dictionary);
    EXPECT_EQ(configuration.dictionaryPath, DictionaryTranslator::kDefaultPath);
    EXPECT_EQ(configuration.timeoutSeconds, 60u);

    WriteRegistryString(kEnginePreferencesKey, "Engine", "openai");
    WriteRegistryString(kEnginePreferencesKey, "Model", "tiny");
    WriteRegistryDword(kEnginePreferencesKey, "TimeoutSeconds", 7);
    ASSERT_EQ(EJPreferences::ReadConfiguration(configuration), S_OK);
    EXPECT_EQ(configuration.kind, EngineKind::OpenAi);
    EXPECT_EQ(configuration.endpoint, "http://127.0.0.1:11434/v1");
    EXPECT_EQ(configuration.model, "tiny");
    EXPECT_EQ(configuration.apiKeyVariable, "OPENAI_API_KEY");
    EXPECT_EQ(configuration.timeoutSeconds, 7u);

    WriteRegistryString(kEnginePreferencesKey, "Engine", "libretranslate");
    ASSERT_EQ(EJPreferences::ReadConfiguration(configuration), S_OK);
    EXPECT_EQ(configuration.kind, EngineKind::LibreTranslate);
    EXPECT_EQ(configuration.endpoint, "http://127.0.0.1:5000");

    WriteRegistryString(kEnginePreferencesKey, "Engine", "babelfish");
    EXPECT_EQ(EJPreferences::ReadConfiguration(configuration), E_INVALIDARG);
}

TEST_F(EnginePreferencesTest, NoEngineWithoutDictionaryFailsInitialize)
{
    WriteRegistryString(kEnginePreferencesKey, "DictionaryPath", "/nonexistent/freedict-eng-jpn");
    Dunmo2000Engine engine;
    EXPECT_EQ(InitializeFailure(engine), kFileNotFound);
    EXPECT_FALSE(engine.IsInitialized());
}

TEST_F(EnginePreferencesTest, NamedDictionaryThatCannotBeReadFailsInitialize)
{
    WriteRegistryString(kEnginePreferencesKey, "Engine", "dictionary");
    WriteRegistryString(kEnginePreferencesKey, "DictionaryPath", "/nonexistent/dictionary");
    Dunmo2000Engine engine;
    EXPECT_EQ(InitializeFailure(engine), kFileNotFound);
}

TEST_F(EnginePreferencesTest, IncompleteConfigurationFailsInitialize)
{
    for (const char* engineName : {"command", "openai"}) {
        SCOPED_TRACE(engineName);
        WriteRegistryString(kEnginePreferencesKey, "Engine", engineName);
        Dunmo2000Engine engine;
        EXPECT_EQ(InitializeFailure(engine), E_INVALIDARG);
    }
}

TEST_F(EnginePreferencesTest, PreferencesAreReadAfreshAtEveryInitialize)
{
    UseCommandEngine("sed 's/^/one:/'");
    Dunmo2000Engine engine;
    ASSERT_TRUE(engine.Initialize());
    char buffer[64];
    ASSERT_GT(engine.Translate("x", sizeof buffer, buffer), 0);
    EXPECT_STREQ(buffer, "one:x");
    UseCommandEngine("sed 's/^/two:/'");
    ASSERT_GT(engine.Translate("x", sizeof buffer, buffer), 0);
    EXPECT_STREQ(buffer, "one:x") << "a batch keeps the engine it was configured with";
    engine.Uninitialize();
    ASSERT_TRUE(engine.Initialize());
    ASSERT_GT(engine.Translate("x", sizeof buffer, buffer), 0);
    EXPECT_STREQ(buffer, "two:x");
}

TEST_F(EnginePreferencesTest, JapaneseSurvivesTheUnicodeRoundTrip)
{
    UseCommandEngine("cat");
    Dunmo2000Engine engine;
    ASSERT_TRUE(engine.Initialize());
    const std::string source = Utf8ToAnsi("日本語とEnglish、①");
    std::vector<char> buffer(256);
    ASSERT_GE(engine.Translate(source.c_str(), 256, buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data()), source);
}

TEST_F(EnginePreferencesTest, FailingCommandIsResult4)
{
    UseCommandEngine("exit 1");
    Dunmo2000Engine engine;
    ASSERT_TRUE(engine.Initialize());
    char buffer[64];
    EXPECT_EQ(engine.Translate("x", sizeof buffer, buffer), Dunmo2000Engine::kEngineFailed);
    EXPECT_EQ(engine.Translate("", sizeof buffer, buffer), 0) << "an empty text is not given to the translator";
}

TEST(TranslationEngineObject, RefusesForeignSettingsAndUnconfiguredUse)
{
    auto* engine = new TranslationEngine(std::make_shared<DictionaryCache>());
    BSTR out = nullptr;
    BSTR source = SysAllocString(u"text");
    EXPECT_EQ(engine->TranslateText(source, &out), E_UNEXPECTED);
    EXPECT_EQ(engine->SetEngineSettings(nullptr), E_POINTER);
    struct Foreign final : ComObject<IEngineSettings> {
        HRESULT QueryInterface(REFIID iid, void** object) override { return QueryAs(iid, object, {IID_IEngineSettings}); }
    };
    auto* foreign = new Foreign;
    EXPECT_EQ(engine->SetEngineSettings(foreign), E_INVALIDARG);
    foreign->Release();
    EngineConfiguration configuration;
    configuration.kind = EngineKind::Command;
    configuration.command = "cat";
    auto* settings = new EngineSettings(configuration);
    EXPECT_EQ(engine->SetEngineSettings(settings), S_OK);
    settings->Release();
    const char16_t lone[] = {u'a', 0xD800};
    BSTR malformed = SysAllocStringLen(lone, 2);
    EXPECT_EQ(engine->TranslateText(malformed, &out), E_INVALIDARG);
    EXPECT_EQ(engine->TranslateText(source, &out), S_OK);
    EXPECT_EQ(std::u16string(out, SysStringLen(out)), u"text");
    SysFreeString(out);
    SysFreeString(malformed);
    SysFreeString(source);
    engine->Release();
}

}  // namespace

namespace {

TEST_F(EnginePreferencesTest, InstalledDictionaryIsTheDefaultEngine)
{
    Dunmo2000Engine engine;
    ASSERT_EQ(InitializeFailure(engine), S_OK);
    std::vector<char> buffer(32768);
    ASSERT_GT(engine.Translate(" The cat.", 32768, buffer.data()), 0);
    EXPECT_EQ(AnsiToUtf8(buffer.data()), " The(その) cat(猫).");
}

}  // namespace
