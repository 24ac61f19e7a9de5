// Window messages: sending, posting from threads, delivery across re-creation and destruction,
// the message loop and timers.
#include "platform/rtl/Thread.h"
#include "platform/ui/Timer.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr UINT VLM_TEST = WM_USER + 15;

// Records the messages of one number it receives, with their parameters.
class TRecorder : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    std::vector<std::pair<WPARAM, LPARAM>> Received;
    int32_t Paints = 0;
    std::vector<std::pair<int32_t, int32_t>> Sizes;
    using TWinControl::RecreateWnd;

    void Dispatch(TMessage& Message) override {
        if (Message.Msg == VLM_TEST) {
            Received.emplace_back(Message.WParam, Message.LParam);
            Message.Result = static_cast<LRESULT>(Message.WParam) * 2;
            return;
        }
        if (Message.Msg == WM_SIZE)
            Sizes.emplace_back(LOWORD(Message.LParam), HIWORD(Message.LParam));
        TCustomControl::Dispatch(Message);
    }

protected:
    void Paint() override { ++Paints; }
};

TEST(Messages, SendMessageRunsAtOnceAndAnswersTheResult) {
    TRecorder control(nullptr);
    EXPECT_FALSE(control.HandleAllocated());
    EXPECT_EQ(SendMessage(nullptr, VLM_TEST, 1, 0), 0);
    const HWND wnd = control.Handle();
    EXPECT_TRUE(control.HandleAllocated());
    EXPECT_EQ(SendMessage(wnd, VLM_TEST, 21, -5), 42);
    EXPECT_EQ(control.Received, (std::vector<std::pair<WPARAM, LPARAM>>{{21, -5}}));
}

TEST(Messages, PostedFromWorkerThreadsArriveInPostingOrder) {
    TRecorder control(nullptr);
    const HWND wnd = control.Handle();
    constexpr int perThread = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < 2; ++t)
        workers.emplace_back([=] {
            for (int i = 0; i < perThread; ++i)
                ASSERT_TRUE(PostMessage(wnd, VLM_TEST, t, i));
        });
    for (auto& w : workers)
        w.join();
    EXPECT_TRUE(control.Received.empty()); // nothing runs before the loop does
    PumpUntil([&] { return control.Received.size() == 2 * perThread; });
    int next[2] = {0, 0};
    for (const auto& [thread, index] : control.Received) {
        ASSERT_LT(thread, 2u);
        EXPECT_EQ(index, next[thread]++);
    }
}

TEST(Messages, PostedMessagesSurviveRecreationAndAreDroppedWithTheControl) {
    auto control = std::make_unique<TRecorder>(nullptr);
    const HWND wnd = control->Handle();
    ASSERT_TRUE(PostMessage(wnd, VLM_TEST, 1, 0));
    control->RecreateWnd();
    EXPECT_TRUE(control->HandleAllocated());
    ASSERT_TRUE(PostMessage(control->Handle(), VLM_TEST, 2, 0));
    PumpUntil([&] { return control->Received.size() == 2; });
    EXPECT_EQ(control->Received[0].first, 1u);
    EXPECT_EQ(control->Received[1].first, 2u);

    // Posted, then the control goes before the loop runs: nothing is delivered anywhere.
    ASSERT_TRUE(PostMessage(wnd, VLM_TEST, 3, 0));
    control.reset();
    EXPECT_FALSE(PostMessage(wnd, VLM_TEST, 4, 0));
    EXPECT_EQ(SendMessage(wnd, VLM_TEST, 5, 0), 0);
    auto other = std::make_unique<TRecorder>(nullptr);
    other->Handle();
    Application->ProcessMessages();
    EXPECT_TRUE(other->Received.empty());
}

TEST(Messages, RunEndsWhenAWorkerPostsQuit) {
    TRecorder control(nullptr);
    const HWND wnd = control.Handle();
    std::thread worker([wnd] {
        PostMessage(wnd, VLM_TEST, 9, 0);
        PostQuitMessage(3);
    });
    EXPECT_EQ(Application->Run(), 3);
    worker.join();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(control.Received.size(), 1u);
}

TEST(Timer, FiresFromTheLoopOnlyWhileEnabledWithAHandler) {
    TComponent owner(nullptr);
    auto* timer = new TTimer(&owner);
    int fired = 0;
    timer->SetInterval(1);
    timer->SetOnTimer([&](TObject* Sender) {
        EXPECT_EQ(Sender, timer);
        if (++fired == 3) timer->SetEnabled(false);
    });
    PumpUntil([&] { return fired == 3; });
    for (int i = 0; i < 20; ++i)
        Application->ProcessMessages();
    EXPECT_EQ(fired, 3);

    // A handler may free its own timer.
    timer->SetOnTimer([&](TObject*) {
        ++fired;
        delete timer;
        timer = nullptr;
    });
    timer->SetEnabled(true);
    PumpUntil([&] { return timer == nullptr; });
    EXPECT_EQ(owner.ComponentCount(), 0);
}

} // namespace
