#include "engines/NetworkTranslators.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>

#include "FakeTranslationServer.h"
#include "integration/Pop3TestClient.h"

using engines::DeepLTranslator;
using engines::LibreTranslateTranslator;
using engines::NetworkSettings;
using engines::OpenAiTranslator;
using engines::Translator;

namespace {

class NetworkTranslatorsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(server.Port(), 0) << "the fake translation server did not start"; }

    NetworkSettings Settings(const std::string& path = "/v1", unsigned timeoutSeconds = 10) {
        return NetworkSettings{server.BaseUrl() + path, "small-model", "VUVED_TEST_API_KEY", timeoutSeconds};
    }

    FakeTranslationServer server;
};

// Both formats, each with one translator for all its cases; the last cases only the chat format has.
TEST_F(NetworkTranslatorsTest, AnswersAndFailures) {
    // Each case gives the translation, or a part of the error text.
    struct Case { const char* source; bool ok; const char* textOrError; bool chatOnly = false; };
    const Case cases[] = {
        {"Hello world", true, "訳:Hello world"},
        {"  padded text \n", true, "訳:padded text"},
        {"think first", true, "訳:think first"},  // a reasoning block before the answer is left out
        {"error please", false, "HTTP status 500"},
        {"empty answer", false, "empty"},
        {"echo me", false, "unchanged"},
        {"garbage answer", false, ""},
        {"flood answer", false, "127.0.0.1"},  // an endless body is cut off
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
            EXPECT_EQ(result.text, test.ok ? test.textOrError : "");
            EXPECT_TRUE(test.ok || named) << result.error;
        }
    }
}

// What each format sends: the fake server answers "inspect ..." with the request it received.
TEST_F(NetworkTranslatorsTest, RequestsCarryTheirFormatsFieldsAndTheKey) {
    ::setenv("VUVED_TEST_API_KEY", "sk-test-123", 1);
    const engines::TranslationResult chat = OpenAiTranslator(Settings()).Translate("inspect this");
    const engines::TranslationResult libre = LibreTranslateTranslator(Settings("/")).Translate("inspect");
    ::unsetenv("VUVED_TEST_API_KEY");
    ASSERT_TRUE(chat.ok) << chat.error;
    ASSERT_TRUE(libre.ok) << libre.error;

    const nlohmann::json seen = nlohmann::json::parse(chat.text);
    const nlohmann::json& request = seen["request"];
    EXPECT_EQ(request["model"], "small-model");
    EXPECT_EQ(request["temperature"], 0);
    ASSERT_EQ(request["messages"].size(), 2u);
    EXPECT_EQ(request["messages"][0]["role"], "system");
    EXPECT_NE(request["messages"][0]["content"].get<std::string>().find("Japanese"), std::string::npos);
    EXPECT_EQ(request["messages"][1]["content"], "inspect this");
    EXPECT_EQ(seen["authorization"], "Bearer sk-test-123");

    const nlohmann::json libreRequest = nlohmann::json::parse(libre.text)["request"];
    EXPECT_EQ(libreRequest, (nlohmann::json{{"q", "inspect"}, {"source", "en"}, {"target", "ja"},
                                            {"api_key", "sk-test-123"}, {"format", "text"}}));
}

// DeepL's answers and failures as its published contract has them; the fake server checks the path, the key header
// and the body, so a request it accepts is one DeepL accepts.
TEST_F(NetworkTranslatorsTest, DeepLAnswersFailuresAndRequest) {
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
    const engines::TranslationResult inspected =
        DeepLTranslator({server.BaseUrl(), "", "VUVED_DEEPL_KEY", 10}).Translate("inspect this");
    ::unsetenv("VUVED_DEEPL_KEY");
    ::unsetenv("VUVED_WRONG_KEY");
    ASSERT_TRUE(inspected.ok) << inspected.error;
    const nlohmann::json seen = nlohmann::json::parse(inspected.text);
    EXPECT_EQ(seen["request"],
              (nlohmann::json{{"text", {"inspect this"}}, {"source_lang", "EN"}, {"target_lang", "JA"}}));
    EXPECT_EQ(seen["authorization"], std::string("DeepL-Auth-Key ") + FakeTranslationServer::kDeepLKey);
}

TEST(NetworkTranslatorsRefused, RefusedConnectionsAndEndpointsThatAreNotWebFail) {
    const std::string endpoint = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort());
    OpenAiTranslator openAi(NetworkSettings{endpoint + "/v1", "m", "", 5});
    LibreTranslateTranslator libre(NetworkSettings{endpoint, "", "", 5});
    for (Translator* translator : {static_cast<Translator*>(&openAi), static_cast<Translator*>(&libre)}) {
        const engines::TranslationResult result = translator->Translate("Hello");
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find("127.0.0.1"), std::string::npos) << result.error;
    }
    const engines::TranslationResult file = LibreTranslateTranslator(NetworkSettings{"file:///etc", "", "", 5}).Translate("passwd");
    EXPECT_FALSE(file.ok);
    EXPECT_FALSE(file.error.empty());
}

}  // namespace
