// Runs the message loop until a condition holds, bounded so that a fault fails the test
// instead of hanging it.
#pragma once

#include "platform/ui/Forms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

template <class Pred> void PumpUntil(Pred Done) {
    for (int round = 0; round < 20000 && !Done(); ++round) {
        Application->ProcessMessages();
        if (!Done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(Done());
}
