// Request and answer formats: OpenAI chat completions (POST {base}/chat/completions, the text in
// choices[0].message.content, finish_reason "length" when cut off), LibreTranslate (POST {base}/translate, the
// text in translatedText, failures in "error") and DeepL v2 (POST {base}/v2/translate with the key in an
// Authorization header, the texts in translations[i].text, failures in "message", and statuses of its own: 403
// key refused, 456 quota used up, 429 too many requests). Small local models are known to answer with nothing,
// with the source unchanged or with a cut-off text; all three count as failures, as do HTTP errors and
// time-outs. DeepL may rightly give a text back unchanged (a line that is only an address or a name).
#include "engines/NetworkTranslators.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "engines/HttpClient.h"

namespace engines {

namespace {

using nlohmann::json;

std::string_view TrimBlank(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string JoinUrl(std::string base, std::string_view path)
{
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return base + std::string(path);
}

std::string ApiKey(const std::string& variable)
{
    const char* key = variable.empty() ? nullptr : std::getenv(variable.c_str());
    return key == nullptr ? std::string() : std::string(key);
}

// The error text of a JSON error answer ({"error": "..."}, {"error": {"message": "..."}} or {"message": "..."}),
// else the status.
std::string DescribeHttpStatus(const HttpResponse& response)
{
    std::string description = "HTTP status " + std::to_string(response.status);
    const json answer = json::parse(response.body, nullptr, false);
    if (answer.is_object() && answer.contains("error")) {
        const json& error = answer["error"];
        if (error.is_string()) {
            description += ": " + error.get<std::string>();
        } else if (error.is_object() && error.contains("message") && error["message"].is_string()) {
            description += ": " + error["message"].get<std::string>();
        }
    } else if (answer.is_object() && answer.contains("message") && answer["message"].is_string()) {
        description += ": " + answer["message"].get<std::string>();
    }
    return description;
}

// What kept an HTTP exchange from giving an answer to read: no answer at all, or one other than 200.
std::optional<std::string> HttpFailure(const HttpResponse& response)
{
    if (!response.delivered) {
        return response.error;
    }
    if (response.status != 200) {
        return DescribeHttpStatus(response);
    }
    return std::nullopt;
}

// Reasoning models put their deliberation in front of the answer, between <think> and </think>.
std::string_view WithoutReasoning(std::string_view answer)
{
    answer = TrimBlank(answer);
    if (answer.starts_with("<think>")) {
        const std::size_t end = answer.find("</think>");
        answer = end == std::string_view::npos ? std::string_view() : answer.substr(end + 8);
    }
    return TrimBlank(answer);
}

TranslationResult Finish(std::string_view source, const json& text, bool unchangedIsAnAnswer = false)
{
    TranslationResult result;
    if (!text.is_string()) {
        result.error = "the answer holds no translated text";
        return result;
    }
    const std::string translation(WithoutReasoning(text.get_ref<const std::string&>()));
    if (translation.empty()) {
        result.error = "the translation is empty";
    } else if (translation == source && !unchangedIsAnAnswer) {
        result.error = "the translation repeats the source unchanged";
    } else {
        result.ok = true;
        result.text = translation;
    }
    return result;
}

}  // namespace

TranslationResult OpenAiTranslator::Translate(std::string_view utf8)
{
    const std::string_view source = TrimBlank(utf8);
    const json request = {
        {"model", settings.model},
        {"messages",
         json::array({{{"role", "system"}, {"content", kInstruction}}, {{"role", "user"}, {"content", source}}})},
        {"temperature", 0},
        {"stream", false},
    };
    std::vector<std::string> headers{"Content-Type: application/json", "Accept: application/json"};
    if (const std::string key = ApiKey(settings.apiKeyVariable); !key.empty()) {
        headers.push_back("Authorization: Bearer " + key);
    }
    const HttpResponse response = PostJson(JoinUrl(settings.endpoint, "/chat/completions"), headers,
                                           request.dump(-1, ' ', false, json::error_handler_t::replace),
                                           settings.timeoutSeconds);
    TranslationResult failed;
    if (std::optional<std::string> failure = HttpFailure(response)) {
        failed.error = std::move(*failure);
        return failed;
    }
    const json answer = json::parse(response.body, nullptr, false);
    if (!answer.is_object() || !answer.contains("choices") || !answer["choices"].is_array() ||
        answer["choices"].empty() || !answer["choices"][0].is_object()) {
        failed.error = "the answer is not a chat completion";
        return failed;
    }
    const json& choice = answer["choices"][0];
    if (choice.contains("finish_reason") && choice["finish_reason"] == "length") {
        failed.error = "the translation was cut off (finish_reason length)";
        return failed;
    }
    if (!choice.contains("message") || !choice["message"].is_object() || !choice["message"].contains("content")) {
        failed.error = "the chat completion holds no message";
        return failed;
    }
    return Finish(source, choice["message"]["content"]);
}

TranslationResult LibreTranslateTranslator::Translate(std::string_view utf8)
{
    const std::string_view source = TrimBlank(utf8);
    json request = {{"q", source}, {"source", "en"}, {"target", "ja"}, {"format", "text"}};
    if (const std::string key = ApiKey(settings.apiKeyVariable); !key.empty()) {
        request["api_key"] = key;
    }
    const HttpResponse response = PostJson(
        JoinUrl(settings.endpoint, "/translate"), {"Content-Type: application/json", "Accept: application/json"},
        request.dump(-1, ' ', false, json::error_handler_t::replace), settings.timeoutSeconds);
    TranslationResult failed;
    if (std::optional<std::string> failure = HttpFailure(response)) {
        failed.error = std::move(*failure);
        return failed;
    }
    const json answer = json::parse(response.body, nullptr, false);
    if (!answer.is_object() || !answer.contains("translatedText")) {
        failed.error = "the answer holds no translatedText";
        return failed;
    }
    return Finish(source, answer["translatedText"]);
}

TranslationResult DeepLTranslator::Translate(std::string_view utf8)
{
    TranslationResult failed;
    const std::string key = ApiKey(settings.apiKeyVariable);
    if (key.empty()) {
        failed.error = "no DeepL key: the environment variable " + settings.apiKeyVariable + " is not set";
        return failed;
    }
    const std::string_view source = TrimBlank(utf8);
    const json request = {{"text", json::array({source})}, {"source_lang", "EN"}, {"target_lang", "JA"}};
    const HttpResponse response = PostJson(
        JoinUrl(settings.endpoint, "/v2/translate"),
        {"Content-Type: application/json", "Accept: application/json", "Authorization: DeepL-Auth-Key " + key},
        request.dump(-1, ' ', false, json::error_handler_t::replace), settings.timeoutSeconds);
    if (response.delivered && response.status != 200) {
        const std::string status = DescribeHttpStatus(response);
        if (response.status == 403) {
            failed.error = "DeepL refused the key in " + settings.apiKeyVariable + " (" + status +
                           "); a key of the free plan (ending in :fx) belongs to https://api-free.deepl.com, one of "
                           "the paid plan to https://api.deepl.com";
        } else if (response.status == 456) {
            failed.error = "the DeepL quota is used up (" + status + ")";
        } else if (response.status == 429) {
            failed.error = "DeepL turned the request away: too many requests (" + status + ")";
        } else if (response.status >= 500) {
            failed.error = "DeepL could not translate for now (" + status + ")";
        } else {
            failed.error = "DeepL did not accept the request (" + status + ")";
        }
        return failed;
    }
    if (std::optional<std::string> failure = HttpFailure(response)) {
        failed.error = std::move(*failure);
        return failed;
    }
    const json answer = json::parse(response.body, nullptr, false);
    if (!answer.is_object() || !answer.contains("translations") || !answer["translations"].is_array() ||
        answer["translations"].empty() || !answer["translations"][0].is_object() ||
        !answer["translations"][0].contains("text")) {
        failed.error = "the answer holds no translations[0].text";
        return failed;
    }
    return Finish(source, answer["translations"][0]["text"], true);
}

}  // namespace engines
