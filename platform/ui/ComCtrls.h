// Common controls of the class library: the track bar.
#pragma once

#include "platform/ui/Controls.h"

class QSlider;

// A horizontal slider over Min..Max with a tick every Frequency positions; Page Up and Page Down
// move it by PageSize. Position is always kept inside Min..Max, and every change of it, by the
// user or the code, runs OnChange.
class TTrackBar : public TWinControl {
public:
    explicit TTrackBar(TComponent* AOwner);

    int32_t Min() const { return FMin; }
    void SetMin(int32_t Value);
    int32_t Max() const { return FMax; }
    void SetMax(int32_t Value);
    int32_t Position() const { return FPosition; }
    void SetPosition(int32_t Value);
    int32_t PageSize() const { return FPageSize; }
    void SetPageSize(int32_t Value);
    int32_t Frequency() const { return FFrequency; }
    void SetFrequency(int32_t Value);
    TNotifyEvent OnChange;

protected:
    void CreateWnd() override;
    void DestroyWnd() override;

private:
    // The range changed: Position is clamped into it and the slider follows.
    void RangeChanged();
    void ShowState();

    int32_t FMin = 0;
    int32_t FMax = 10;
    int32_t FPosition = 0;
    int32_t FPageSize = 2;
    int32_t FFrequency = 1;
    QSlider* FSlider = nullptr;
};
