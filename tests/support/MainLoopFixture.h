// Test fixture for code that uses sockets and notifiers: Windows Sockets started, and a main loop thread with
// the NotifierMaker running for the length of each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/Sockets.h"
#include "support/MainLoopThread.h"

class MainLoopFixture : public testing::Test {
protected:
    void SetUp() override {
        win32::WSADATA data;
        ASSERT_EQ(win32::WSAStartup(win32::MAKEWORD(1, 1), &data), 0);
        mainLoop = std::make_unique<MainLoopThread>();
    }

    void TearDown() override {
        mainLoop.reset();
        win32::WSACleanup();
    }

    std::unique_ptr<MainLoopThread> mainLoop;
};
