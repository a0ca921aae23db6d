// Stream sockets with Windows Sockets 1.1 behaviour: Winsock error codes from WSAGetLastError, INVALID_SOCKET and
// SOCKET_ERROR results, and WSAAsyncSelect, which reports network events as messages posted to a window (the
// event in the low word of lParam) and is served by the owner thread's message retrieval and message-aware waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Win32Types.h"

namespace win32 {

using SOCKET = UINT_PTR;
constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;

constexpr int MSG_PEEK = 0x2;

// Network events of WSAAsyncSelect.
constexpr LONG FD_READ = 1;
constexpr LONG FD_WRITE = 2;
constexpr LONG FD_OOB = 4;
constexpr LONG FD_ACCEPT = 8;
constexpr LONG FD_CONNECT = 16;
constexpr LONG FD_CLOSE = 32;

// Winsock error codes.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;

constexpr std::uint32_t INADDR_ANY = 0x00000000;
constexpr std::uint32_t INADDR_LOOPBACK = 0x7F000001;  // host byte order
constexpr std::uint32_t INADDR_NONE = 0xFFFFFFFF;

// An IPv4 endpoint; address and port in network byte order, as in Winsock's sockaddr_in.
struct SOCKADDR_IN {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

struct WSADATA {
    WORD wVersion = 0;
    WORD wHighVersion = 0;
};

int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);
// A Winsock error code in words, for messages the user reads ("connection refused"); "error N" for others.
std::string DescribeSocketError(int error);

SOCKET socket(int family, int type, int protocol);
int bind(SOCKET s, const SOCKADDR_IN& address);
int listen(SOCKET s, int backlog);
// peer may be null.
SOCKET accept(SOCKET s, SOCKADDR_IN* peer);
// Blocking connect, unless the socket has been made non-blocking by WSAAsyncSelect.
int connect(SOCKET s, const SOCKADDR_IN& address);
int send(SOCKET s, const char* data, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int closesocket(SOCKET s);
int getsockname(SOCKET s, SOCKADDR_IN* address);
int shutdown(SOCKET s, int how);
constexpr int SD_SEND = 1;

// Switches off Nagle's algorithm (TCP_NODELAY); small protocol lines must not wait for an acknowledgement.
int SetNoDelay(SOCKET s, bool noDelay);

// Makes the socket non-blocking and reports each event of mask as one message posted to window, the event in
// the low word of lParam, the error code in the high word. FD_READ and FD_ACCEPT are reported once and re-armed
// by the next recv (also with MSG_PEEK) or accept; FD_WRITE once when the socket is writable after the call and
// again after a send that failed with WSAEWOULDBLOCK; FD_CLOSE once, after the data before it has been reported.
// Mask 0 cancels the reporting (the socket stays non-blocking); closesocket cancels it too.
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, LONG mask);

// Dotted IPv4 text to an address in network byte order; INADDR_NONE when it is not one.
std::uint32_t inet_addr(const char* text);
// Host-name lookup (IPv4): the first address, in network byte order. False when the name does not resolve.
bool ResolveHostName(const char* name, std::uint32_t& address);

std::uint16_t htons(std::uint16_t value);
std::uint32_t htonl(std::uint32_t value);
std::uint16_t ntohs(std::uint16_t value);
std::uint32_t ntohl(std::uint32_t value);

}  // namespace win32
