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
    const String size = StrFormatByteSizeW(GetFileSize64(path));
    TVLBitmap* bitmap = View->GetVLBitmap();
    TCanvas* canvas = lTitle->Canvas();
    canvas->Font()->Assign(*lTitle->Font());
    lTitle->SetCaption(TitleText(
        PathFindFileNameW(CurrentDir), PathFindFileNameW(path), bitmap->GetWidth(), bitmap->GetHeight(),
        size, [canvas](const String& Text) { return canvas->TextWidth(Text); }, lTitle->Width()));
    UpdateStatus();
}

void TfMain::UpdateStatus() {
    lStatus->SetCaption(StatusText(CurrentIndex, FileList->Count(), View->ZoomX()));
}
