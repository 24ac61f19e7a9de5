// Standard dialogs of the class library (file open, colour) and the system's message box.
#pragma once

#include "platform/gfx/Color.h"
#include "platform/ui/Component.h"
#include "platform/ui/Window.h"

#include <cstdint>
#include <vector>

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

// A modal message box over Owner (nil: over no window); the program's windows take no input
// until it is answered.
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

// Options of the file dialogs. Resizing is always possible and no read-only box is shown, so
// ofHideReadOnly and ofEnableSizing only state what holds anyway.
enum TOpenOption : uint32_t {
    ofOverwritePrompt = 1u << 1,
    ofHideReadOnly = 1u << 2,
    ofEnableSizing = 1u << 23,
};
using TOpenOptions = uint32_t;

// The file-open dialog. Filter holds pairs "description|patterns" separated by "|", the
// patterns of one pair separated by ";" ("All Images (*.jpg;*.png)|*.jpg;*.png"); patterns match
// without regard to case. FilterIndex counts the pairs from 1.
class TOpenDialog : public TComponent {
public:
    explicit TOpenDialog(TComponent* AOwner);

    const String& Filter() const { return FFilter; }
    void SetFilter(const String& Value) { FFilter = Value; }
    int32_t FilterIndex() const { return FFilterIndex; }
    void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
    const String& FileName() const { return FFileName; }
    void SetFileName(const String& Value) { FFileName = Value; }
    const String& InitialDir() const { return FInitialDir; }
    void SetInitialDir(const String& Value) { FInitialDir = Value; }
    const String& Title() const { return FTitle; }
    void SetTitle(const String& Value) { FTitle = Value; }
    // The extension (without the dot) a saved name without one gets when the chosen filter
    // does not name a single extension.
    const String& DefaultExt() const { return FDefaultExt; }
    void SetDefaultExt(const String& Value) { FDefaultExt = Value; }
    TOpenOptions Options = ofHideReadOnly | ofEnableSizing;

    // Shows the dialog modally, starting in InitialDir (else FileName's folder) with FileName
    // chosen. True when an existing file was confirmed: FileName is its full path and
    // FilterIndex the filter shown. False when cancelled; nothing changes then.
    virtual bool Execute();

protected:
    bool RunDialog(bool Save);

private:
    String FFilter;
    int32_t FFilterIndex = 1;
    String FFileName;
    String FInitialDir;
    String FTitle;
    String FDefaultExt;
};

// The file-save dialog: as the open dialog, but any name may be given. A name without an
// extension gets the chosen filter's extension (when the filter names exactly one, "*.png"),
// else DefaultExt. With ofOverwritePrompt an existing file is replaced only after the user
// agreed.
class TSaveDialog : public TOpenDialog {
public:
    using TOpenDialog::TOpenDialog;
    // True when a name was confirmed: FileName is its full path (with the extension added) and
    // FilterIndex the filter chosen. False when cancelled; nothing changes then.
    bool Execute() override;
};

// The dialog's filter pairs as the desktop's dialogs list them: "description (*.a *.b)", the
// patterns in the parentheses separated by spaces. A description ending in its own parenthesised
// pattern list loses that list.
std::vector<String> DialogNameFilters(const String& Filter);
