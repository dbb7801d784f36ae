// The four values that live for the whole run; everything else is on WinMain's stack.
#pragma once

#include <windows.h>

#include "util/bounded_text.h"

extern unsigned char silentMode;
extern char logPath[kPathCapacity];
extern HWND mainWindow;
extern HWND statusWindow;
