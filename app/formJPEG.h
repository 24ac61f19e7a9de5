// The JPEG quality dialog of Save As, and its rules: which keys the quality field takes, where
// its text moves the track bar, and the quality OK accepts.
#pragma once

#include "platform/rtl/System.h"
#include "platform/ui/Forms.h"

class TGroupBox;
class TLabel;
class TTrackBar;
class TEdit;
class TButton;

constexpr int32_t MinJpegQuality = 10;
constexpr int32_t MaxJpegQuality = 100;

// Digits and backspace are typed into the field; every other character is dropped.
bool QualityKeyAllowed(char16_t Key);
// The track bar position the field's text moves it to: a decimal number above 9, clamped to
// 10..100 (so "150" moves it to 100 and the field then reads "100"). False, moving nothing,
// for any other text.
bool TrackPositionFromText(const String& Text, int32_t& Position);
// The quality OK takes: the field's text as a decimal number from 10 to 100. False for anything
// else ("", "5", "150", letters, a number too long for 32 bits); the dialog then stays open with
// the invalid-quality message.
bool QualityFromText(const String& Text, int32_t& Quality);

// The dialog: a track bar and a field for the quality, kept in step, with OK and Cancel.
class TfJPEGOption : public TForm {
public:
    explicit TfJPEGOption(TComponent* AOwner);

    // Sets the track bar to Quality (clamped to 10..100) and shows the dialog modally; with
    // mrOk, Quality holds the quality taken.
    TModalResult Execute(int32_t AQuality);

    int32_t Quality = 0;

    TGroupBox* gbImageQuality;
    TLabel* lLow;
    TLabel* lHigh;
    TTrackBar* trkQuality;
    TEdit* eQuality;
    TButton* btnOk;
    TButton* btnCancel;

    // Handlers, public so that tests can drive them as the controls do.
    void eQualityKeyPress(TObject* Sender, char16_t& Key);
    void eQualityChange(TObject* Sender);
    void eQualityExit(TObject* Sender);
    void trkQualityChange(TObject* Sender);
    void btnOkClick(TObject* Sender);

private:
    // The invalid-quality message, then the field again with its whole text selected.
    void RejectQuality();
};

// The dialog while it is open (created on demand), nil otherwise.
extern TfJPEGOption* fJPEGOption;

// The quality step of Save As: the dialog over Owner offers Quality; true with the chosen one
// in Quality when confirmed, false (Quality unchanged) when cancelled.
bool AskJpegQuality(TComponent* Owner, int32_t& Quality);
