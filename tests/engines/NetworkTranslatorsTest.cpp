#include "engines/NetworkTranslators.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>

#include "FakeTranslationServer.h"

using namespace engines;
using nlohmann::json;

namespace {

class NetworkTranslatorsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(server.Port(), 0) << "the fake translation server did not start"; }

    NetworkSettings Settings(const std::string& path = "/v1", unsigned timeoutSeconds = 10) {
        return NetworkSettings{server.BaseUrl() + path, "small-model", "VUVED_TEST_API_KEY", timeoutSeconds};
    }

    FakeTranslationServer server;
};

// Both formats, one translator each (the last cases only the chat format has); each case gives the
// translation, or a part of the error text.
TEST_F(NetworkTranslatorsTest, AnswersAndFailures) {
    struct Case { const char* source; bool ok; const char* textOrError; bool chatOnly = false; };
    const Case cases[] = {
        {"Hello world", true, "訳:Hello world"},
        {"  padded text \n", true, "訳:padded text"},
        {"think first", true, "訳:think first"},  // a reasoning block before the answer is left out
        {"error please", false, "HTTP status 500"},
        {"empty answer", false, "empty"},
        {"echo me", false, "unchanged"},
        {"garbage answer", false, ""},
        {"flood answer", false, "127.0.0.1"},  // a body above 1 MiB is cut off
        {"cutoff text", false, "cut off", true},
        {"error", false, "model exploded", true},  // the server's own message is kept
        {"slow answer", false, "", true},          // the answer comes after 5 seconds, the time-out is 1
    };
    OpenAiTranslator openAi(Settings());
    OpenAiTranslator impatient(Settings("/v1", 1));
    LibreTranslateTranslator libre(Settings(""));
    for (const bool chat : {true, false}) {
        for (const Case& test : cases) {
            if (test.chatOnly && !chat) {
                continue;
            }
            SCOPED_TRACE(std::string(chat ? "openai: " : "libretranslate: ") + test.source);
            Translator& translator = !chat ? static_cast<Translator&>(libre)
                                           : std::string_view(test.source).starts_with("slow") ? impatient : openAi;
            const engines::TranslationResult result = translator.Translate(test.source);
            EXPECT_EQ(result.ok, test.ok) << result.error;
            const bool named = !result.error.empty() && result.error.find(test.textOrError) != std::string::npos;
            EXPECT_TRUE(test.ok ? result.text == test.textOrError : named) << result.text << result.error;
        }
    }
}

// What each format sends: the fake server answers "inspect ..." with the request and key header it received.
TEST_F(NetworkTranslatorsTest, RequestsCarryTheirFormatsFieldsAndTheKey) {
    const std::string key = FakeTranslationServer::kDeepLKey;
    ::setenv("VUVED_TEST_API_KEY", key.c_str(), 1);
    const auto seen = [](Translator&& translator) {
        const engines::TranslationResult result = translator.Translate("inspect this");
        EXPECT_TRUE(result.ok) << result.error;
        return json::parse(result.ok ? result.text : "{}");
    };
    const json chat = seen(OpenAiTranslator(Settings()));
    const json libre = seen(LibreTranslateTranslator(Settings("/")));
    const json deepl = seen(DeepLTranslator(Settings("")));
    ::unsetenv("VUVED_TEST_API_KEY");
    const json messages = {{{"role", "system"}, {"content", OpenAiTranslator::kInstruction}},
                           {{"role", "user"}, {"content", "inspect this"}}};
    EXPECT_EQ(chat["request"], (json{{"model", "small-model"}, {"messages", messages}, {"temperature", 0},
                                     {"stream", false}}));
    EXPECT_EQ(chat["authorization"], "Bearer " + key);
    EXPECT_EQ(libre["request"], (json{{"q", "inspect this"}, {"source", "en"}, {"target", "ja"},
                                      {"api_key", key}, {"format", "text"}}));
    EXPECT_EQ(deepl["request"],
              (json{{"text", {"inspect this"}}, {"source_lang", "EN"}, {"target_lang", "JA"}}));
    EXPECT_EQ(deepl["authorization"], "DeepL-Auth-Key " + key);
}

// DeepL's answers and failures as its published contract has them; the fake server checks the path, the key header
// and the body, so a request it accepts is one DeepL accepts.
TEST_F(NetworkTranslatorsTest, DeepLAnswersAndFailures) {
    ::setenv("VUVED_DEEPL_KEY", FakeTranslationServer::kDeepLKey, 1);
    ::setenv("VUVED_WRONG_KEY", "not-the-key", 1);
    const struct { const char* source; const char* keyVariable; bool ok; const char* textOrError; } cases[] = {
        {" Hello world\n", "VUVED_DEEPL_KEY", true, "訳:Hello world"},
        {"echo www.example.com", "VUVED_DEEPL_KEY", true, "echo www.example.com"},  // unchanged is an answer
        {"Hello", "VUVED_WRONG_KEY", false, "DeepL refused the key in VUVED_WRONG_KEY (HTTP status 403"},
        {"Hello", "VUVED_UNSET_KEY", false, "no DeepL key: the environment variable VUVED_UNSET_KEY is not set"},
        {"quota", "VUVED_DEEPL_KEY", false, "the DeepL quota is used up (HTTP status 456: Quota exceeded)"},
        {"busy", "VUVED_DEEPL_KEY", false, "too many requests (HTTP status 429"},
        {"error", "VUVED_DEEPL_KEY", false, "could not translate for now (HTTP status 500: Internal server error)"},
        {"down", "VUVED_DEEPL_KEY", false, "could not translate for now (HTTP status 503"},
        {"garbage", "VUVED_DEEPL_KEY", false, "translations[0].text"},
        {"slow", "VUVED_DEEPL_KEY", false, "127.0.0.1"},  // the answer comes after 5 seconds, the time-out is 1
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.source);
        DeepLTranslator deepl({server.BaseUrl() + "/", "", test.keyVariable, 1});
        const engines::TranslationResult result = deepl.Translate(test.source);
        EXPECT_EQ(result.ok, test.ok) << result.error;
        const bool named = result.error.find(test.textOrError) != std::string::npos;
        EXPECT_TRUE(test.ok ? result.text == test.textOrError : named) << result.text << result.error;
        EXPECT_EQ(result.error.find(FakeTranslationServer::kDeepLKey), std::string::npos) << "the key is never shown";
    }
    ::unsetenv("VUVED_DEEPL_KEY");
    ::unsetenv("VUVED_WRONG_KEY");
}

}  // namespace
