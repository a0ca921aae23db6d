// Test fixture for the notifier and its users: the main loop of MainLoopFixture, and one notifier made from it that
// each test may replace and that is given back at the end.
#pragma once

#include "core/AsyncSocketNotifier.h"
#include "core/NotifierMaker.h"
#include "support/LoopbackSockets.h"
#include "support/MainLoopFixture.h"

class NotifierFixture : public MainLoopFixture {
protected:
    void SetUp() override
    {
        MainLoopFixture::SetUp();
        notifier = CreateNotifier();
        ASSERT_NE(notifier, nullptr);
    }

    void TearDown() override
    {
        DestroyNotifier(notifier);
        MainLoopFixture::TearDown();
    }

    AsyncSocketNotifier* notifier = nullptr;
};
