// The child is started with posix_spawn (safe in a threaded process) in a process group of its own, so that a
// time-out kills the shell and everything it started. Standard input and output are pipes served by one poll
// loop, so a command that writes before it has read everything cannot dead-lock with us.
#include "engines/CommandTranslator.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "engines/Utf.h"

extern char** environ;

namespace engines {

namespace {

class Pipe {
public:
    Pipe() { ok = ::pipe2(ends, O_CLOEXEC) == 0; }
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool ok = false;
    int Read() const { return ends[0]; }
    int Write() const { return ends[1]; }
    void CloseRead() { Close(ends[0]); }
    void CloseWrite() { Close(ends[1]); }

private:
    static void Close(int& end)
    {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
    int ends[2] = {-1, -1};
};

// Blocks SIGPIPE on the calling thread while it writes to a command that may have closed its input; a SIGPIPE
// raised meanwhile is taken off the thread before the old mask returns, so the process never sees it.
class SigpipeBlock {
public:
    SigpipeBlock()
    {
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    }
    ~SigpipeBlock()
    {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&pipeSignal, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

private:
    sigset_t pipeSignal;
    sigset_t previous;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t actions;
};

class SpawnAttributes {
public:
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t attributes;
};

// A translation is small; a command that keeps writing is stopped rather than followed into memory.
constexpr std::size_t kMaxOutputBytes = 1 << 20;

}  // namespace

TranslationResult CommandTranslator::Translate(std::string_view utf8)
{
    TranslationResult result;
    Pipe input;
    Pipe output;
    if (!input.ok || !output.ok) {
        result.error = std::string("cannot make pipes: ") + std::strerror(errno);
        return result;
    }
    SpawnActions actions;
    posix_spawn_file_actions_adddup2(&actions.actions, input.Read(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions.actions, output.Write(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    SpawnAttributes attributes;
    posix_spawnattr_setflags(&attributes.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                         POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes.attributes, 0);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes.attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes.attributes, &signals);

    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    std::string commandText = command;
    char* arguments[] = {shell, dashC, commandText.data(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, shell, &actions.actions, &attributes.attributes, arguments, environ);
    if (spawned != 0) {
        result.error = std::string("cannot start /bin/sh: ") + std::strerror(spawned);
        return result;
    }
    input.CloseRead();
    output.CloseWrite();
    ::fcntl(input.Write(), F_SETFL, O_NONBLOCK);
    SigpipeBlock sigpipeBlock;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::size_t written = 0;
    bool timedOut = false;
    bool tooMuch = false;
    if (utf8.empty()) {
        input.CloseWrite();
    }
    for (;;) {
        pollfd waits[2];
        nfds_t count = 0;
        waits[count++] = pollfd{output.Read(), POLLIN, 0};
        if (input.Write() >= 0) {
            waits[count++] = pollfd{input.Write(), POLLOUT, 0};
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        const int ready = ::poll(waits, count, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (count == 2 && (waits[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t put = ::write(input.Write(), utf8.data() + written, utf8.size() - written);
            if (put > 0) {
                written += static_cast<std::size_t>(put);
            }
            if ((put < 0 && errno != EAGAIN) || written == utf8.size()) {
                input.CloseWrite();  // done, or the command does not read its input
            }
        }
        if ((waits[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[4096];
            const ssize_t got = ::read(output.Read(), buffer, sizeof buffer);
            if (got > 0) {
                result.text.append(buffer, static_cast<std::size_t>(got));
                if (result.text.size() > kMaxOutputBytes) {
                    tooMuch = true;
                    break;
                }
            } else if (got == 0 || errno != EINTR) {
                break;  // end of output
            }
        }
    }
    if (timedOut || tooMuch) {
        ::kill(-child, SIGKILL);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        result.error = "the command did not finish within " + std::to_string(timeoutSeconds) + " seconds";
    } else if (tooMuch) {
        result.error = "the command wrote more than " + std::to_string(kMaxOutputBytes) + " bytes";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.error = WIFEXITED(status) ? "the command exited with status " + std::to_string(WEXITSTATUS(status))
                                         : "the command was ended by signal " + std::to_string(WTERMSIG(status));
    } else if (!Utf8ToUtf16Strict(result.text)) {
        result.error = "the command's output is not UTF-8";
    } else {
        result.ok = true;
        return result;
    }
    result.text.clear();
    return result;
}

}  // namespace engines
