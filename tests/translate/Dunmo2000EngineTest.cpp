#include "translate/Dunmo2000Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestComponents.h"
#include "platform/CodePage.h"

using namespace testing_components;
using Engine = Dunmo2000Engine;

namespace {

constexpr win32::HRESULT kAccessDenied = static_cast<win32::HRESULT>(0x80070005);
constexpr std::int32_t kBuffer = 32768;

// Results, lengths counted in ANSI bytes, and a destination left untouched by every failure.
TEST(Dunmo2000Engine, TranslateResultsAndLengthBoundaries) {
    ScopedApartment apartment;
    const std::u16string wide16383(16383, u'あ');  // two bytes each in code page 932
    // The destination is `text` unless there is a `failure`.
    const struct { const char* name; TranslateFunction translate; std::string source, text;
                   std::int32_t failure = 0; bool engineReached = true; } cases[] = {
        {"ANSI through the Unicode engine", Bracket, win32::Utf8ToAnsi("Hello 日本"),
         win32::Utf8ToAnsi("<Hello 日本>")},
        {"longest source", Answer(u"ok"), std::string(32767, 'a'), "ok"},
        {"source too long", Answer(u"ok"), std::string(32768, 'a'), "", Engine::kSourceTooLong, false},
        {"translation of 32766 bytes fits", Answer(wide16383), "a", win32::Utf16ToAnsi(wide16383)},
        {"translation of 32768 bytes", Answer(wide16383 + u"あ"), "a", "", Engine::kTranslationTooLong},
        {"32767 bytes and the NUL fit", Answer(std::u16string(32767, u'b')), "a", std::string(32767, 'b')},
        {"null translation is empty", Answer(u""), "", ""},
        {"engine fails", [](const std::u16string&, std::u16string&) { return win32::E_FAIL; }, "text", "",
         Engine::kEngineFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTestComponents components({.translate = c.translate});
        Dunmo2000Engine engine;
        ASSERT_TRUE(engine.Initialize());
        std::vector<char> buffer(kBuffer + 1, 'x');
        const auto length = static_cast<std::int32_t>(c.text.size());
        EXPECT_EQ(engine.Translate(c.source.c_str(), kBuffer, buffer.data()), c.failure ? c.failure : length);
        EXPECT_EQ(components.counters().translateCalls, c.engineReached ? 1 : 0);
        EXPECT_EQ(components.counters().settingsHandedOver, 1);
        if (c.failure == 0) {
            EXPECT_EQ(std::string(buffer.data(), c.text.size() + 1), c.text + '\0');
        } else {
            EXPECT_EQ(buffer[0], 'x') << "the destination must not be written";
        }
    }
}

// The UTF-8 entry reaches the engine without the ANSI code page: characters it lacks arrive intact. Missing
// arguments are refused before the engine is reached.
TEST(Dunmo2000Engine, Utf8EntryKeepsEveryCharacterAndMissingArgumentsAreRefused) {
    ScopedApartment apartment;
    ScopedTestComponents components({});
    Dunmo2000Engine engine;
    std::string translation;
    EXPECT_EQ(engine.TranslateUtf8("a", translation), Engine::kEngineNotCreated);
    ASSERT_TRUE(engine.Initialize());
    const std::string source = "Caf\xC3\xA9 \xE2\x80\x94 na\xC3\xAFve \xE2\x9C\x94 \xF0\x9F\x98\x80 日本";
    EXPECT_EQ(engine.TranslateUtf8(source, translation), static_cast<std::int32_t>(source.size() + 2));
    EXPECT_EQ(translation, "<" + source + ">");
    EXPECT_EQ(engine.TranslateUtf8(std::string(32768, 'a'), translation), Engine::kSourceTooLong);
    char buffer[16];
    EXPECT_EQ(engine.Translate(nullptr, 16, buffer), Engine::kMissingArgument);
    EXPECT_EQ(engine.Translate("text", 16, nullptr), Engine::kMissingArgument);
}

TEST(Dunmo2000Engine, InitializeFailuresThrowTheHresultAndReleaseEverything) {
    ScopedApartment apartment;
    const struct { const char* name; Behaviour behaviour; win32::HRESULT expected; } cases[] = {
        {"engine cannot be created", {.createEngine = win32::REGDB_E_CLASSNOTREG}, win32::REGDB_E_CLASSNOTREG},
        {"preferences fail", {.getEngineSettings = kAccessDenied}, kAccessDenied},
        {"no settings object", {.settingsObjectMissing = true}, win32::E_OUTOFMEMORY},
        {"settings without interface", {.settingsWithoutInterface = true}, win32::E_OUTOFMEMORY},
        {"engine refuses settings", {.setEngineSettings = win32::E_INVALIDARG}, win32::E_INVALIDARG},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ScopedTestComponents components(test.behaviour);
        Dunmo2000Engine engine;
        EXPECT_EQ(InitializeFailure(engine), test.expected);
        EXPECT_FALSE(engine.IsInitialized());
        EXPECT_EQ(components.counters().liveObjects, 0);
        char buffer[16];
        EXPECT_EQ(engine.Translate("a", 16, buffer), Engine::kEngineNotCreated);
    }
    ScopedTestComponents components({});
    const auto engineClass = win32::UnregisterComponentClass(win32::kTranslationEngineProgId);
    Dunmo2000Engine engine;
    EXPECT_EQ(InitializeFailure(engine), win32::CO_E_CLASSSTRING) << "a missing class fails at the ProgID lookup";
    win32::RegisterComponentClass(*engineClass);
}

}  // namespace
