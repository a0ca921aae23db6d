#include "FakeTranslationServer.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <string>

extern char** environ;

FakeTranslationServer::FakeTranslationServer()
{
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::string python = VUVED_PYTHON;
    std::string script = std::string(VUVED_SOURCE_DIR) + "/tests/engines/fake_translation_server.py";
    std::string key = kDeepLKey;
    char* arguments[] = {python.data(), script.data(), key.data(), nullptr};
    const int spawned = posix_spawn(&child, python.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input = toChild[1];
    if (spawned != 0) {
        child = -1;
        ::close(fromChild[0]);
        return;
    }
    // The first line is the port; wait for it at most 20 seconds.
    std::string line;
    pollfd wait{fromChild[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&wait, 1, 20000) > 0) {
        char buffer[64];
        const ssize_t got = ::read(fromChild[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fromChild[0]);
    if (line.find('\n') != std::string::npos) {
        port = static_cast<std::uint16_t>(std::stoi(line));
    }
}

FakeTranslationServer::~FakeTranslationServer()
{
    if (input >= 0) {
        ::close(input);
    }
    if (child > 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}
