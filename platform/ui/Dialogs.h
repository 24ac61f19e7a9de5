// The class library's standard file dialogs.
#pragma once

#include "platform/ui/Component.h"

#include <vector>

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

    // Shows the dialog modally, starting in InitialDir (else FileName's folder) with FileName
    // chosen. True when an existing file was confirmed: FileName is its full path and
    // FilterIndex the filter shown. False when cancelled; nothing changes then.
    bool Execute();

private:
    String FFilter;
    int32_t FFilterIndex = 1;
    String FFileName;
    String FInitialDir;
    String FTitle;
};

// The dialog's filter pairs as the desktop's dialogs list them: "description (*.a *.b)", the
// patterns in the parentheses separated by spaces. A description ending in its own parenthesised
// pattern list loses that list.
std::vector<String> DialogNameFilters(const String& Filter);
