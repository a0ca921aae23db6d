#include "translate/Dunmo2000Engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestComponents.h"
#include "platform/CodePage.h"

using namespace testing_components;

namespace {

constexpr win32::HRESULT kAccessDenied = static_cast<win32::HRESULT>(0x80070005);

win32::HRESULT InitializeFailure(Dunmo2000Engine& engine)
{
    try {
        engine.Initialize();
    } catch (win32::HRESULT failure) {
        return failure;
    }
    return win32::S_OK;
}

class Dunmo2000EngineTest : public ::testing::Test {
protected:
    ScopedApartment apartment;
};

TEST_F(Dunmo2000EngineTest, TranslatesAnsiThroughUnicodeEngine)
{
    ScopedTestComponents components({});
    Dunmo2000Engine engine;
    ASSERT_TRUE(engine.Initialize());
    std::vector<char> buffer(32768);
    const std::string source = win32::Utf8ToAnsi("Hello 日本");
    const std::int32_t length = engine.Translate(source.c_str(), 32768, buffer.data());
    const std::string expected = win32::Utf8ToAnsi("<Hello 日本>");
    EXPECT_EQ(length, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(std::string(buffer.data()), expected);
    EXPECT_EQ(components.counters().settingsHandedOver, 1);
}

TEST_F(Dunmo2000EngineTest, ResultCodes)
{
    ScopedTestComponents components({});
    Dunmo2000Engine engine;
    std::vector<char> buffer(32768);
    EXPECT_EQ(engine.Translate("text", 32768, buffer.data()), Dunmo2000Engine::kEngineNotCreated);
    ASSERT_TRUE(engine.Initialize());
    EXPECT_EQ(engine.Translate(nullptr, 32768, buffer.data()), Dunmo2000Engine::kMissingArgument);
    EXPECT_EQ(engine.Translate("text", 32768, nullptr), Dunmo2000Engine::kMissingArgument);

    components.behaviour().translate = [](const std::u16string&, std::u16string&) { return win32::E_FAIL; };
    EXPECT_EQ(engine.Translate("text", 32768, buffer.data()), Dunmo2000Engine::kEngineFailed);
}

TEST_F(Dunmo2000EngineTest, SourceLengthBoundary)
{
    ScopedTestComponents components({});
    components.behaviour().translate = [](const std::u16string&, std::u16string& out) {
        out = u"ok";
        return win32::S_OK;
    };
    Dunmo2000Engine engine;
    ASSERT_TRUE(engine.Initialize());
    std::vector<char> buffer(32768);
    const std::string longest(32767, 'a');
    EXPECT_EQ(engine.Translate(longest.c_str(), 32768, buffer.data()), 2);
    EXPECT_EQ(components.counters().translateCalls, 1);
    const std::string tooLong(32768, 'a');
    EXPECT_EQ(engine.Translate(tooLong.c_str(), 32768, buffer.data()), Dunmo2000Engine::kSourceTooLong);
    EXPECT_EQ(components.counters().translateCalls, 1) << "a too long source must not reach the engine";
}

TEST_F(Dunmo2000EngineTest, TranslationLengthBoundaryCountsAnsiBytes)
{
    ScopedTestComponents components({});
    std::size_t characters = 0;
    components.behaviour().translate = [&characters](const std::u16string&, std::u16string& out) {
        out.assign(characters, u'あ');  // two bytes each in code page 932
        return win32::S_OK;
    };
    Dunmo2000Engine engine;
    ASSERT_TRUE(engine.Initialize());
    std::vector<char> buffer(32768, 'x');
    characters = 16383;  // 32766 bytes: fits
    EXPECT_EQ(engine.Translate("a", 32768, buffer.data()), 32766);
    characters = 16384;  // 32768 bytes: does not fit
    buffer.assign(32768, 'x');
    EXPECT_EQ(engine.Translate("a", 32768, buffer.data()), Dunmo2000Engine::kTranslationTooLong);
    EXPECT_EQ(buffer[0], 'x') << "the destination must not be written";

    components.behaviour().translate = [](const std::u16string&, std::u16string& out) {
        out.assign(32767, u'b');
        return win32::S_OK;
    };
    EXPECT_EQ(engine.Translate("a", 32768, buffer.data()), 32767);
    EXPECT_EQ(buffer[32767], '\0');
}

TEST_F(Dunmo2000EngineTest, NullTranslationIsEmpty)
{
    ScopedTestComponents components({});
    components.behaviour().translate = [](const std::u16string&, std::u16string& out) {
        out.clear();
        return win32::S_OK;
    };
    Dunmo2000Engine engine;
    ASSERT_TRUE(engine.Initialize());
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(engine.Translate("", 8, buffer), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(Dunmo2000EngineTest, SecondInitializeKeepsComponentsAndUninitializeMakesThemAfresh)
{
    ScopedTestComponents components({});
    {
        Dunmo2000Engine engine;
        ASSERT_TRUE(engine.Initialize());
        ASSERT_TRUE(engine.Initialize());
        EXPECT_EQ(components.counters().enginesCreated, 1);
        EXPECT_EQ(components.counters().preferencesCreated, 1);
        EXPECT_EQ(components.counters().settingsHandedOver, 1);
        engine.Uninitialize();
        EXPECT_FALSE(engine.IsInitialized());
        EXPECT_EQ(components.counters().liveObjects, 0);
        ASSERT_TRUE(engine.Initialize());
        EXPECT_EQ(components.counters().enginesCreated, 2);
        EXPECT_EQ(components.counters().settingsHandedOver, 2);
    }
    EXPECT_EQ(components.counters().liveObjects, 0) << "the destructor releases both components";
}

TEST_F(Dunmo2000EngineTest, InitializeFailuresThrowTheHresultAndReleaseEverything)
{
    struct Case {
        const char* name;
        Behaviour behaviour;
        win32::HRESULT expected;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"engine cannot be created", {.createEngine = win32::REGDB_E_CLASSNOTREG}, win32::REGDB_E_CLASSNOTREG});
    cases.push_back({"preferences fail", {.getEngineSettings = kAccessDenied}, kAccessDenied});
    cases.push_back({"no settings object", {.settingsObjectMissing = true}, win32::E_OUTOFMEMORY});
    cases.push_back({"settings without interface", {.settingsWithoutInterface = true}, win32::E_OUTOFMEMORY});
    cases.push_back({"engine refuses settings", {.setEngineSettings = win32::E_INVALIDARG}, win32::E_INVALIDARG});
    for (Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScopedTestComponents components(std::move(test.behaviour));
        Dunmo2000Engine engine;
        EXPECT_EQ(InitializeFailure(engine), test.expected);
        EXPECT_FALSE(engine.IsInitialized());
        EXPECT_EQ(components.counters().liveObjects, 0);
        char buffer[16];
        EXPECT_EQ(engine.Translate("a", 16, buffer), Dunmo2000Engine::kEngineNotCreated);
    }
}

TEST_F(Dunmo2000EngineTest, MissingClassesFailAsOnWindows)
{
    ScopedTestComponents components({});
    const auto engineClass = win32::UnregisterComponentClass(win32::kTranslationEngineProgId);
    Dunmo2000Engine engine;
    EXPECT_EQ(InitializeFailure(engine), win32::CO_E_CLASSSTRING);
    win32::RegisterComponentClass(*engineClass);
}

TEST(Dunmo2000EngineApartment, InitializeOutsideAnApartmentFails)
{
    ScopedTestComponents components({});
    Dunmo2000Engine engine;
    EXPECT_EQ(InitializeFailure(engine), win32::CO_E_NOTINITIALIZED);
}

}  // namespace
