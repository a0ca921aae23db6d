// The installed engine and preferences components, configured from the registry as the adapter reaches them.
#include <gtest/gtest.h>

#include "support/TestComponents.h"
#include "translate/TranslationSettings.h"
#include "integration/RelaySettings.h"
#include "platform/CodePage.h"
#include "engines/EJPreferences.h"
#include "engines/EngineProblem.h"
#include "engines/EngineSettings.h"
#include "engines/InstalledEngines.h"
#include "engines/TranslationEngine.h"
#include "translate/Dunmo2000Engine.h"

using namespace win32;
using namespace engines;
using namespace testing_components;

namespace {

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);

class EnginePreferencesTest : public ::testing::Test {
protected:
    EnginePreferencesTest() { engines::RegisterInstalledEngines(); }

    ScopedRegistry registry;
    ScopedApartment apartment;
};

// Each network engine has its own endpoint and key variable unless the preferences name them.
TEST_F(EnginePreferencesTest, ConfigurationFromTheRegistry) {
    EngineConfiguration c;
    WriteRegistryString(kEnginePreferencesKey, "Engine", "openai");
    WriteRegistryString(kEnginePreferencesKey, "Model", "tiny");
    raw::SetDword(kEnginePreferencesKey, "TimeoutSeconds", 7);
    ASSERT_EQ(EJPreferences::ReadConfiguration(c), S_OK);
    EXPECT_EQ(std::tie(c.kind, c.endpoint, c.model, c.apiKeyVariable, c.timeoutSeconds),
              std::make_tuple(EngineKind::OpenAi, "http://127.0.0.1:11434/v1", "tiny", "OPENAI_API_KEY", 7u));
    WriteRegistryString(kEnginePreferencesKey, "Engine", "deepl");
    ASSERT_EQ(EJPreferences::ReadConfiguration(c), S_OK);
    EXPECT_EQ(std::tie(c.kind, c.endpoint, c.apiKeyVariable),
              std::make_tuple(EngineKind::DeepL, "https://api-free.deepl.com", "DEEPL_AUTH_KEY"));
}

TEST_F(EnginePreferencesTest, UnusableConfigurationFailsInitialize) {
    // No engine: the default. `reported` is the line on standard error that says why.
    const struct { const char* engine; const char* dictionaryPath; HRESULT expected; const char* reported; } cases[] = {
        {nullptr, "/nonexistent/freedict-eng-jpn", kFileNotFound,
         "no \"Engine\" is set and the dictionary /nonexistent/freedict-eng-jpn is not installed"},
        {"dictionary", "/nonexistent/dictionary", kFileNotFound,
         "dictionary /nonexistent/dictionary.index: cannot be read"},
        {"command", nullptr, E_INVALIDARG, "the command engine needs a \"Command\""},
        {"openai", nullptr, E_INVALIDARG, "the openai engine needs a \"Model\" and an \"Endpoint\""},
        {"babelfish", nullptr, E_INVALIDARG, "\"Engine\" is \"babelfish\"; it must be dictionary, command"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.engine ? c.engine : "default");
        if (c.engine) {
            WriteRegistryString(kEnginePreferencesKey, "Engine", c.engine);
        }
        if (c.dictionaryPath) {
            WriteRegistryString(kEnginePreferencesKey, "DictionaryPath", c.dictionaryPath);
        }
        Dunmo2000Engine engine;
        NoteEngineWorked();
        testing::internal::CaptureStderr();
        EXPECT_EQ(InitializeFailure(engine), c.expected);
        const std::string reported = testing::internal::GetCapturedStderr();
        EXPECT_NE(reported.find(std::string("VUVed3UzeroVadave: translation engine: ") + c.reported),
                  std::string::npos)
            << reported;
    }
}

// Each arriving mail makes a new engine, which reads the preferences afresh and keeps them for its batch; a
// failure is written once, and again only after the engine has worked.
TEST_F(EnginePreferencesTest, EachBatchReadsThePreferencesAndReportsAFailureOnceUntilTheEngineWorks) {
    NoteEngineWorked();
    const std::string japanese = Utf8ToAnsi("日本語とEnglish、①");  // survives the Unicode round trip
    const auto translated = static_cast<std::int32_t>(japanese.size());
    const std::string failed = "VUVed3UzeroVadave: translation engine: command: the command exited with status 3\n";
    const struct { const char* command; std::int32_t result; std::string reported; } batches[] = {
        {"exit 3", Dunmo2000Engine::kEngineFailed, failed}, {"exit 3", Dunmo2000Engine::kEngineFailed, ""},
        {"cat", translated, ""}, {"exit 3", Dunmo2000Engine::kEngineFailed, failed}};
    for (const auto& batch : batches) {
        SCOPED_TRACE(batch.command);
        UseCommandEngine(batch.command);
        Dunmo2000Engine engine;
        ASSERT_TRUE(engine.Initialize());
        UseCommandEngine("exit 4");  // read by the next batch only
        std::vector<char> buffer(256);
        testing::internal::CaptureStderr();
        EXPECT_EQ(engine.Translate(japanese.c_str(), 256, buffer.data()), batch.result);
        EXPECT_EQ(engine.Translate(japanese.c_str(), 256, buffer.data()), batch.result);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), batch.reported);
        EXPECT_EQ(std::string(buffer.data()), batch.result > 0 ? japanese : "");
        EXPECT_EQ(engine.Translate("", 256, buffer.data()), 0) << "an empty text is not given to the command";
    }
}

TEST(TranslationEngineObject, RefusesForeignSettingsAndUnconfiguredUse) {
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
    SysFreeString(malformed);
    SysFreeString(source);
    engine->Release();
}

}  // namespace
