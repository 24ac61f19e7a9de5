// The track bar on the toolkit's slider.
#include "platform/ui/ComCtrls.h"

#include "platform/ui/NativeWindow.h"

#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
    SetBounds(Left(), Top(), 150, 45);
    TabStop = true;
}

void TTrackBar::SetMin(int32_t Value) {
    if (Value == FMin) return;
    FMin = Value;
    FMax = std::max(FMax, FMin);
    RangeChanged();
}

void TTrackBar::SetMax(int32_t Value) {
    if (Value == FMax) return;
    FMax = Value;
    FMin = std::min(FMin, FMax);
    RangeChanged();
}

void TTrackBar::SetPosition(int32_t Value) {
    const int32_t position = std::clamp(Value, FMin, FMax);
    if (position == FPosition) return;
    FPosition = position;
    ShowState();
    if (OnChange) OnChange(this);
}

void TTrackBar::SetPageSize(int32_t Value) {
    FPageSize = std::max(0, Value);
    ShowState();
}

void TTrackBar::SetFrequency(int32_t Value) {
    FFrequency = std::max(1, Value);
    ShowState();
}

void TTrackBar::RangeChanged() {
    ShowState();
    SetPosition(FPosition);
}

void TTrackBar::ShowState() {
    if (FSlider == nullptr) return;
    const QSignalBlocker quiet(FSlider);
    FSlider->setRange(FMin, FMax);
    FSlider->setPageStep(FPageSize);
    FSlider->setTickInterval(FFrequency);
    FSlider->setValue(FPosition);
}

void TTrackBar::CreateWnd() {
    TWinControl::CreateWnd();
    QWidget* client = NativeWindow()->ClientWidget();
    FSlider = new QSlider(Qt::Horizontal, client);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FSlider);
    FSlider->setTickPosition(QSlider::TicksBelow);
    ShowState();
    platform::detail::TakeFocusFor(FSlider, this);
    QObject::connect(FSlider, &QSlider::valueChanged, FSlider,
                     [this](int Value) { SetPosition(Value); });
}

void TTrackBar::DestroyWnd() {
    FSlider = nullptr; // deleted with the client widget
    TWinControl::DestroyWnd();
}
