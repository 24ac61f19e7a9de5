// Opening and closing the desktop clipboard: one thread at a time.
#include "platform/ui/Clipboard.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

TEST(Clipboard, OneThreadHoldsItAtATime) {
    ASSERT_TRUE(OpenClipboard());
    EXPECT_TRUE(OpenClipboard()); // again from the holder
    std::promise<bool> otherOpen;
    std::promise<bool> otherClose;
    std::thread other([&] {
        otherOpen.set_value(OpenClipboard());
        otherClose.set_value(CloseClipboard());
    });
    EXPECT_FALSE(otherOpen.get_future().get());
    EXPECT_FALSE(otherClose.get_future().get());
    other.join();
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard()); // not open any more
}

} // namespace
