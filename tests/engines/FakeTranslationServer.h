// Runs fake_translation_server.py (OpenAI, LibreTranslate and DeepL formats) as a child process for one test; it
// listens on 127.0.0.1 at a port of the system's choosing and ends when its standard input is closed.
#pragma once

#include <sys/types.h>

#include <cstdint>
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
    pid_t child = -1;
    int input = -1;
    std::uint16_t port = 0;
};
