// The desktop clipboard, opened and closed around each use as Windows programs do.
#pragma once

// Opens the clipboard for the calling thread, without an owner window. False while another
// thread has it open, or when the process has no GUI application to reach the desktop's
// clipboard through (one is created on first use when a display platform is configured).
// Opening it again from the thread that holds it succeeds.
bool OpenClipboard();
// Closes the clipboard; false when the calling thread does not hold it open.
bool CloseClipboard();
