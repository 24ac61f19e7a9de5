// The library's debug log. It belongs to the I/O unit, whose settings name the log; it sits in
// the core because the canvas output writes its trace texts through it.
#pragma once

#include "platform/rtl/System.h"

// File the log lines are appended to; empty (the default) writes no file.
extern String DebugLogFileName;
// The debug switch: log lines also go to standard error. Off by default.
extern bool DebugLogToStdErr;

// Writes one line, the local date and time then Msg, to the log file and to standard error as
// the two settings ask; nothing when neither is set. Never raises; safe from several threads.
void DebugLog(const String& Msg);
