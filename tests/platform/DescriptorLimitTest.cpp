// Starting the socket layer lets the process use every descriptor it may: a server whose clients each hold a few
// descriptors would otherwise run into a low default soft limit, and a failed accept stops it for good.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>

#include "platform/Sockets.h"

namespace {

// In a process of its own (the socket layer raises the limit only when it is first started).
[[noreturn]] void StartSocketsUnderALowSoftLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max <= 64) {
        std::_Exit(0);  // nothing to raise
    }
    limit.rlim_cur = 64;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    win32::WSADATA data;
    if (win32::WSAStartup(win32::MAKEWORD(1, 1), &data) != 0) {
        std::_Exit(2);
    }
    rlimit raised{};
    ::getrlimit(RLIMIT_NOFILE, &raised);
    win32::WSACleanup();
    std::_Exit(raised.rlim_cur == limit.rlim_max ? 0 : 1);
}

}  // namespace

TEST(DescriptorLimit, StartingTheSocketsRaisesTheSoftLimitToTheHardOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(StartSocketsUnderALowSoftLimit(), testing::ExitedWithCode(0), "");
}
