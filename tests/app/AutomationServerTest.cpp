// The automation object through the real socket of a real server process.
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "app/ServerProcessFixture.h"
#include "platform/ComServerModule.h"

namespace {

constexpr long kNoInterface = static_cast<long>(static_cast<std::int32_t>(0x80004002));

using AutomationServer = ServerProcessTest;

// Whether the server ends a connection to the socket from a process of the given user without a word.
bool TurnedAwayWithoutAWord(const passwd& user, const std::string& socketPath) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(user.pw_gid) != 0 || setuid(user.pw_uid) != 0) {
            _exit(2);
        }
        pollfd wait{ConnectUnixSocket(socketPath), POLLIN, 0};
        char byte = 0;
        _exit(wait.fd >= 0 && poll(&wait, 1, 10000) == 1 && recv(wait.fd, &byte, 1, 0) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);  // bounded by the child's own wait
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One connection through the life of the process: members and refusals, two starts making one server, a
// start handed over by a second process, a socket no other user can use, the session's end while running.
TEST_F(AutomationServer, AnswersItsMembersPrivatelyMakesOneServerOfTwoStartsAndEndsWithTheSession) {
    auto server = StartServer();
    AutomationClient client;
    ASSERT_TRUE(
        Eventually([&client] { return client.Connect(win32::AutomationSocketPath()); }, kStartTimeout));
    EXPECT_EQ(std::filesystem::status(win32::RuntimeFolder()).permissions(),
              std::filesystem::perms::owner_all);
    const nlohmann::json version = Call(client, "GetVersion");
    EXPECT_EQ(version["hr"], 0);
    EXPECT_EQ(version["bstrPath"], std::filesystem::canonical(ServerExecutable()).string());
    for (const char* member : {"Show", "PanelCommand", "Command"}) {
        SCOPED_TRACE(member);
        EXPECT_EQ(Call(client, member)["hr"], kNoInterface);
    }
    std::string error;
    EXPECT_FALSE(client.Call("NoSuchMember", nlohmann::json::array(), error));
    EXPECT_NE(error.find("method not found"), std::string::npos) << error;
    // A value the interface's 32-bit long cannot hold would wrap (2^32 to a stop, 2^64 - 1 to -1).
    for (const nlohmann::json& value : {nlohmann::json("one"), nlohmann::json(4294967296), nlohmann::json(~0ull)}) {
        SCOPED_TRACE(value.dump());
        EXPECT_FALSE(client.Call("put_Running", nlohmann::json::array({value}), error));
        EXPECT_NE(error.find("invalid params"), std::string::npos) << error;
    }

    // The connection is still usable after refused calls; no server runs yet, and a stop changes nothing.
    EXPECT_EQ(Call(client, "get_Running")["pRunning"], 0);
    EXPECT_EQ(Call(client, "put_Running", {0})["hr"], 0);
    EXPECT_EQ(Call(client, "get_Running")["pRunning"], 0);
    EXPECT_EQ(Call(client, "put_Running", {1})["hr"], 0);
    EXPECT_EQ(Call(client, "get_Running")["pRunning"], 1);
    const int threadsWithOneServer = server->ThreadCount();
    EXPECT_EQ(Call(client, "put_Running", {1})["hr"], 0);
    EXPECT_EQ(Call(client, "get_Running")["pRunning"], 1);
    EXPECT_EQ(server->ThreadCount(), threadsWithOneServer) << "a second put Running(1) started more threads";
    // Stopped again, a second process started with -Startup hands its start-up to this one through the
    // socket, which it leaves alone, and ends.
    EXPECT_EQ(Call(client, "put_Running", {0})["hr"], 0);
    EXPECT_EQ(StartServer({"-Startup"})->WaitForExit(kExitTimeout), 0);
    EXPECT_TRUE(std::filesystem::exists(win32::AutomationSocketPath()));
    EXPECT_EQ(Call(client, "get_Running")["pRunning"], 1);
    ASSERT_TRUE(WaitUntilListening()) << server->Output();
    // With the folders and the socket opened up, the peer's uid still turns another user away (where the test
    // can run a process as another user).
    if (const passwd* nobody = getpwnam("nobody"); geteuid() == 0 && nobody != nullptr) {
        const std::string socketPath = win32::AutomationSocketPath();  // named while the folder is private
        ASSERT_EQ(chmod(runtime.folder.c_str(), 0711), 0);
        ASSERT_EQ(chmod(win32::RuntimeFolder().c_str(), 0711), 0);
        ASSERT_EQ(chmod(socketPath.c_str(), 0777), 0);
        EXPECT_TRUE(TurnedAwayWithoutAWord(*nobody, socketPath));
    }

    server->Signal(SIGTERM);
    EXPECT_EQ(server->WaitForExit(kExitTimeout), 0) << server->Output();
    EXPECT_FALSE(client.Call("get_Running", nlohmann::json::array(), error));
}

}  // namespace
