// Timer component over the toolkit's timers.
#include "platform/ui/Timer.h"

#include "platform/ui/UiInternal.h"

#include <QTimer>

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() = default;

// The handler may free the timer while the toolkit is still inside the timer's signal.
void TTimer::TTimerDeleter::operator()(QTimer* Timer) const {
    Timer->stop();
    QObject::disconnect(Timer, nullptr, nullptr, nullptr);
    Timer->deleteLater();
}

void TTimer::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    UpdateTimer();
}

void TTimer::SetInterval(uint32_t Value) {
    if (Value == FInterval) return;
    FInterval = Value;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
    FOnTimer = std::move(Value);
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    if (FTimer) FTimer->stop();
    if (!FEnabled || FInterval == 0 || !FOnTimer) return;
    if (!FTimer) {
        platform::detail::StartWindowLayer();
        FTimer.reset(new QTimer());
        QObject::connect(FTimer.get(), &QTimer::timeout, [this] { Timer(); });
    }
    FTimer->start(static_cast<int>(std::min<uint32_t>(FInterval, INT32_MAX)));
}

void TTimer::Timer() {
    // The handler may free the timer: work on a copy of the event.
    if (TNotifyEvent handler = FOnTimer) handler(this);
}
