// Real loopback sockets for tests: a listener on 127.0.0.1 at a free port, and blocking client connections to
// it.
#pragma once

#include <utility>

#include "platform/Sockets.h"

// Owns one socket and closes it; Release hands it over to a new owner.
class ScopedSocket {
public:
    ScopedSocket() = default;
    explicit ScopedSocket(win32::SOCKET s) : s(s) {}
    ~ScopedSocket() { Close(); }
    ScopedSocket(ScopedSocket&& other) noexcept : s(other.Release()) {}
    ScopedSocket& operator=(ScopedSocket&& other) noexcept {
        if (this != &other) {
            Close();
            s = other.Release();
        }
        return *this;
    }

    win32::SOCKET Get() const { return s; }
    bool IsValid() const { return s != win32::INVALID_SOCKET; }
    win32::SOCKET Release() { return std::exchange(s, win32::INVALID_SOCKET); }
    void Close() {
        if (s != win32::INVALID_SOCKET) {
            win32::closesocket(std::exchange(s, win32::INVALID_SOCKET));
        }
    }

private:
    win32::SOCKET s = win32::INVALID_SOCKET;
};

// A listening socket on 127.0.0.1 at a port chosen by the system; invalid when any step fails.
inline ScopedSocket ListenOnLoopback(std::uint16_t& port) {
    ScopedSocket listener(win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0));
    win32::SOCKADDR_IN address;
    address.address = win32::htonl(win32::INADDR_LOOPBACK);
    address.port = 0;
    win32::SOCKADDR_IN bound;
    if (!listener.IsValid() || win32::bind(listener.Get(), address) != 0 ||
        win32::listen(listener.Get(), 16) != 0 || win32::getsockname(listener.Get(), &bound) != 0) {
        return ScopedSocket();
    }
    port = win32::ntohs(bound.port);
    return listener;
}

// A blocking connection to 127.0.0.1:port; invalid when it fails.
inline ScopedSocket ConnectToLoopback(std::uint16_t port) {
    ScopedSocket client(win32::socket(win32::AF_INET, win32::SOCK_STREAM, 0));
    win32::SOCKADDR_IN address;
    address.address = win32::htonl(win32::INADDR_LOOPBACK);
    address.port = win32::htons(port);
    if (!client.IsValid() || win32::connect(client.Get(), address) != 0) {
        return ScopedSocket();
    }
    return client;
}

// One connection on loopback: its listener, the client end and the accepted end (each invalid when its step
// failed).
struct LoopbackConnection {
    bool IsValid() const { return listener.IsValid() && client.IsValid() && accepted.IsValid(); }

    std::uint16_t port = 0;
    ScopedSocket listener = ListenOnLoopback(port);
    ScopedSocket client = ConnectToLoopback(port);
    ScopedSocket accepted{win32::accept(listener.Get(), nullptr)};
};
