// Runs fake_translation_server.py (OpenAI, LibreTranslate and DeepL formats) as a child process for one test; it
// listens on 127.0.0.1 at a port of the system's choosing and ends when the test closes the pipe it writes to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class FakeTranslationServer {
public:
    // The only DeepL key the server accepts.
    static constexpr const char* kDeepLKey = "0f1e2d3c-test-key:fx";

    FakeTranslationServer();
    ~FakeTranslationServer();
    FakeTranslationServer(const FakeTranslationServer&) = delete;
    FakeTranslationServer& operator=(const FakeTranslationServer&) = delete;

    // 0 when the server did not start.
    std::uint16_t Port() const { return port; }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port); }

private:
    FILE* output;
    std::uint16_t port = 0;
};
