// The main window's title and status line.
#include "app/SVLangManager.h"
#include "app/TitleLine.h"
#include "app/formMain.h"
#include "components/SVAALabel.h"
#include "components/SVLabel.h"
#include "platform/shell/PathText.h"

void TfMain::UpdateTitle() {
    if (CurrentIndex == -1) {
        lStatus->SetCaption(LangStr(u"SVSTR_HELP_DBLCLICK"));
        lTitle->SetCaption(IdleTitle);
        return;
    }
    const String path = (*FileList)[CurrentIndex];
    const String folder = PathFindFileNameW(CurrentDir);
    const String name = PathFindFileNameW(path);
    const String size = StrFormatByteSizeW(GetFileSize64(path));
    TCanvas* canvas = lTitle->Canvas();
    canvas->Font()->Assign(*lTitle->Font());
    const auto measure = [canvas](const String& Text) { return canvas->TextWidth(Text); };
    if (LoadFailed) {
        lTitle->SetCaption(UnreadTitleText(folder, name, size, measure, lTitle->Width()));
    } else {
        TVLBitmap* bitmap = View->GetVLBitmap();
        lTitle->SetCaption(TitleText(folder, name, bitmap->GetWidth(), bitmap->GetHeight(), size,
                                     measure, lTitle->Width()));
    }
    UpdateStatus();
}

void TfMain::UpdateStatus() {
    lStatus->SetCaption(
        LoadFailed ? UnreadStatusText(CurrentIndex, FileList->Count(), LangStr(u"SVSTR_CANNOTREAD"))
                   : StatusText(CurrentIndex, FileList->Count(), View->ZoomX()));
}
