// The status window: a captioned top-level window centred on the screen with one line of
// text in it, for runs that are not silent. The program has no message loop, so what these
// calls paint stays on screen unchanged until the process ends.
#pragma once

#include <windows.h>

// Creates mainWindow (600x80, centred, caption "  Tessivane") and shows it.
void ShowMainWindow(HINSTANCE instance);

// Replaces the text in the status window; nothing in a silent run or for an empty text.
void ShowStatusText(HINSTANCE instance, const char* text);
