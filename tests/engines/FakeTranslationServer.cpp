#include "FakeTranslationServer.h"

#include <cstdlib>

// The first line the server writes is its port; a server that fails to start closes the pipe at once. The pipe is
// close-on-exec, so no other child of the test keeps the server alive.
FakeTranslationServer::FakeTranslationServer()
    : output(::popen((std::string("exec '" VUVED_PYTHON "' '" VUVED_SOURCE_DIR
                                  "/tests/engines/fake_translation_server.py' ") + kDeepLKey).c_str(), "re")) {
    char line[32];
    if (output != nullptr && std::fgets(line, sizeof line, output) != nullptr) {
        port = static_cast<std::uint16_t>(std::atoi(line));
    }
}

FakeTranslationServer::~FakeTranslationServer() {
    if (output != nullptr) {
        ::pclose(output);
    }
}
