// The JPEG quality dialog and its rules.
#include "app/formJPEG.h"

#include "app/SVLangManager.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/StdCtrls.h"

#include <algorithm>
#include <memory>

TfJPEGOption* fJPEGOption = nullptr;

namespace {

// Text of 1 to 9 decimal digits (so it fits 32 bits) as a number; false otherwise.
bool DecimalNumber(const String& Text, int32_t& Value) {
    if (Text.empty() || Text.size() > 9) return false;
    int32_t value = 0;
    for (char16_t c : Text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    Value = value;
    return true;
}

} // namespace

bool QualityKeyAllowed(char16_t Key) {
    return (Key >= u'0' && Key <= u'9') || Key == u'\b';
}

bool TrackPositionFromText(const String& Text, int32_t& Position) {
    int32_t value = 0;
    // Longer digit runs are above 9 too, and land on the top of the scale.
    const bool digits = !Text.empty() && std::all_of(Text.begin(), Text.end(), [](char16_t c) {
        return c >= u'0' && c <= u'9';
    });
    if (!digits) return false;
    if (!DecimalNumber(Text, value)) value = MaxJpegQuality;
    if (value < MinJpegQuality) return false;
    Position = std::min(value, MaxJpegQuality);
    return true;
}

bool QualityFromText(const String& Text, int32_t& Quality) {
    int32_t value = 0;
    if (!DecimalNumber(Text, value) || value < MinJpegQuality || value > MaxJpegQuality)
        return false;
    Quality = value;
    return true;
}

// ---- TfJPEGOption --------------------------------------------------------------------------

namespace {

void SetTahoma(TFont* Font) {
    Font->SetName(u"Tahoma");
    Font->SetHeight(-11);
}

template <class ControlT>
ControlT* MakeControl(TForm* Owner, TWinControl* Parent, const char16_t* Name, int32_t Left,
                      int32_t Top, int32_t Width, int32_t Height) {
    auto* control = new ControlT(Owner);
    control->SetName(Name);
    control->SetBounds(Left, Top, Width, Height);
    control->SetParent(Parent);
    return control;
}

} // namespace

TfJPEGOption::TfJPEGOption(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsDialog);
    SetCaption(u"JPEG Option");
    SetClientSize(312, 159);
    Position = poOwnerFormCenter;

    gbImageQuality = MakeControl<TGroupBox>(this, this, u"gbImageQuality", 8, 8, 293, 99);
    gbImageQuality->SetCaption(u"Image Quality");
    SetTahoma(gbImageQuality->Font());
    lLow = MakeControl<TLabel>(this, gbImageQuality, u"lLow", 15, 79, 20, 13);
    lLow->SetCaption(u"Low");
    lHigh = MakeControl<TLabel>(this, gbImageQuality, u"lHigh", 257, 79, 22, 13);
    lHigh->SetCaption(u"High");
    for (TLabel* label : {lLow, lHigh}) {
        label->SetColor(Color());
        SetTahoma(label->Font());
    }
    trkQuality = MakeControl<TTrackBar>(this, gbImageQuality, u"trkQuality", 15, 47, 263, 32);
    trkQuality->SetMax(100);
    trkQuality->SetMin(10);
    trkQuality->SetPageSize(5);
    trkQuality->SetFrequency(5);
    trkQuality->SetPosition(90);
    eQuality = MakeControl<TEdit>(this, gbImageQuality, u"eQuality", 20, 26, 43, 21);
    eQuality->SetText(u"90");
    SetTahoma(eQuality->Font());

    btnOk = MakeControl<TButton>(this, this, u"btnOk", 148, 122, 75, 25);
    btnOk->SetCaption(u"OK");
    btnOk->Default = true;
    btnOk->ModalResult = mrOk;
    btnCancel = MakeControl<TButton>(this, this, u"btnCancel", 229, 122, 75, 25);
    btnCancel->SetCaption(u"Cancel");
    btnCancel->Cancel = true;
    btnCancel->ModalResult = mrCancel;
    for (TButton* button : {btnOk, btnCancel})
        SetTahoma(button->Font());

    trkQuality->OnChange = [this](TObject* Sender) { trkQualityChange(Sender); };
    eQuality->OnChange = [this](TObject* Sender) { eQualityChange(Sender); };
    eQuality->OnExit = [this](TObject* Sender) { eQualityExit(Sender); };
    eQuality->OnKeyPress = [this](TObject* Sender, char16_t& Key) {
        eQualityKeyPress(Sender, Key);
    };
    btnOk->OnClick = [this](TObject* Sender) { btnOkClick(Sender); };
    ActiveControl = eQuality;

    if (LangManager != nullptr) LangManager->TranslateForm(u"formJPEGOption", this);
}

TModalResult TfJPEGOption::Execute(int32_t AQuality) {
    trkQuality->SetPosition(AQuality);
    eQuality->SetText(IntToStr(trkQuality->Position()));
    return ShowModal();
}

void TfJPEGOption::eQualityKeyPress(TObject*, char16_t& Key) {
    if (!QualityKeyAllowed(Key)) Key = 0;
}

void TfJPEGOption::eQualityChange(TObject*) {
    int32_t position = 0;
    if (TrackPositionFromText(eQuality->Text(), position)) trkQuality->SetPosition(position);
}

void TfJPEGOption::trkQualityChange(TObject*) {
    eQuality->SetText(IntToStr(trkQuality->Position()));
}

void TfJPEGOption::eQualityExit(TObject*) {
    // Leaving the field for Cancel checks nothing: the dialog can always be left.
    if (btnCancel->Focused()) return;
    int32_t position = 0;
    if (!TrackPositionFromText(eQuality->Text(), position)) RejectQuality();
}

void TfJPEGOption::btnOkClick(TObject*) {
    // Only a quality of 10 to 100 is taken; anything else keeps the dialog open.
    int32_t quality = 0;
    if (!QualityFromText(eQuality->Text(), quality)) {
        SetModalResult(mrNone);
        RejectQuality();
        return;
    }
    Quality = quality;
    SetModalResult(mrOk);
}

void TfJPEGOption::RejectQuality() {
    MessageBoxW(Handle(), LangStr(u"SVSTR_INVALIDQUALITY"), Application->Title,
                MB_OK | MB_ICONWARNING);
    eQuality->SetFocus();
    eQuality->SelectAll();
}

bool AskJpegQuality(TComponent* Owner, int32_t& Quality) {
    // The dialog lives for this call only, and so does fJPEGOption on every way out.
    const auto forget = [](TfJPEGOption* Dialog) {
        fJPEGOption = nullptr;
        delete Dialog;
    };
    std::unique_ptr<TfJPEGOption, decltype(forget)> dialog(new TfJPEGOption(Owner), forget);
    fJPEGOption = dialog.get();
    if (dialog->Execute(Quality) != mrOk) return false;
    Quality = dialog->Quality;
    return true;
}
