// The creation dates of the PostScript and PDF writers: one clock, which tests may fix, and the
// two date texts, with English day and month names whatever the locale.
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

using TVLDocumentClock = TDateTime (*)();

// The clock the writers read; nil puts back the local time (Now).
void SetDocumentClock(TVLDocumentClock Clock);
TDateTime DocumentNow();
// "ddd mmm dd hh:nn:ss yyyy", e.g. "Fri Dec 11 09:05:03 2026".
AnsiString PSDateText(TDateTime Value);
// "yyyymmddhhmmss".
AnsiString PDFDateText(TDateTime Value);
