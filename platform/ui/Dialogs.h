// Standard dialogs of the class library and the system's message box.
#pragma once

#include "platform/gfx/Color.h"
#include "platform/ui/Component.h"
#include "platform/ui/Window.h"

#include <cstdint>

// Buttons and icon of a message box; the answer is the button pressed.
constexpr uint32_t MB_OK = 0x00000000;
constexpr uint32_t MB_OKCANCEL = 0x00000001;
constexpr uint32_t MB_YESNO = 0x00000004;
constexpr uint32_t MB_ICONSTOP = 0x00000010;
constexpr uint32_t MB_ICONQUESTION = 0x00000020;
constexpr uint32_t MB_ICONWARNING = 0x00000030;
constexpr uint32_t MB_ICONINFORMATION = 0x00000040;
constexpr int32_t IDOK = 1;
constexpr int32_t IDCANCEL = 2;
constexpr int32_t IDYES = 6;
constexpr int32_t IDNO = 7;

// A modal message box over Owner (nil: over no window).
int32_t MessageBoxW(HWND Owner, const String& Text, const String& Caption, uint32_t Type);

enum TColorDialogOption : uint8_t { cdFullOpen = 1, cdPreventFullOpen = 2, cdAnyColor = 4 };

// Chooses a colour; Execute starts at Color and stores the choice there when confirmed.
class TColorDialog : public TComponent {
public:
    explicit TColorDialog(TComponent* AOwner) : TComponent(AOwner) {}
    bool Execute();
    TColor Color = clBlack;
    uint8_t Options = 0;
};
