// The speed reference of the relay benchmark: a proxy that only copies bytes between each client and the mail
// server (one thread per connection, one poll, large receives), without looking at a line or keeping a copy.
// No relay that reads the answers can be faster on the same machine.
//
//     byte_copier LISTEN_PORT SERVER_PORT      (both on 127.0.0.1; prints "ready" once listening)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void NoDelay(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SendAll(int fd, const char* data, ssize_t length)
{
    while (length > 0) {
        const ssize_t sent = send(fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        length -= sent;
    }
    return true;
}

// Copies both ways until either side closes.
void Relay(int client, int serverPort)
{
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(serverPort);
    if (server >= 0 && connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        NoDelay(client);
        NoDelay(server);
        std::vector<char> buffer(256 * 1024);
        std::array<pollfd, 2> ends{{{client, POLLIN, 0}, {server, POLLIN, 0}}};
        bool open = true;
        while (open && poll(ends.data(), ends.size(), -1) > 0) {
            for (std::size_t from = 0; from < ends.size() && open; ++from) {
                if (ends[from].revents == 0) {
                    continue;
                }
                const ssize_t received = recv(ends[from].fd, buffer.data(), buffer.size(), 0);
                open = received > 0 && SendAll(ends[1 - from].fd, buffer.data(), received);
            }
        }
    }
    if (server >= 0) {
        close(server);
    }
    close(client);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: byte_copier LISTEN_PORT SERVER_PORT\n");
        return 2;
    }
    const int serverPort = std::atoi(argv[2]);
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = Loopback(std::atoi(argv[1]));
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(listener, 64) != 0) {
        std::perror("byte_copier");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client >= 0) {
            std::thread(Relay, client, serverPort).detach();
        }
    }
}
