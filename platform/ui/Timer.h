// The class library's timer component: OnTimer every Interval milliseconds while enabled.
#pragma once

#include "platform/ui/Component.h"

#include <memory>

class QTimer;

// Fires in the main thread, from the message loop. It runs only while Enabled, Interval is
// above 0 and OnTimer is assigned; any change restarts the interval.
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    uint32_t Interval() const { return FInterval; }
    void SetInterval(uint32_t Value);
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent Value);

protected:
    virtual void Timer();

private:
    void UpdateTimer();

    bool FEnabled = true;
    uint32_t FInterval = 1000;
    TNotifyEvent FOnTimer;
    struct TTimerDeleter {
        void operator()(QTimer* Timer) const;
    };
    std::unique_ptr<QTimer, TTimerDeleter> FTimer;
};
