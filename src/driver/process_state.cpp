#include "driver/process_state.h"

unsigned char silentMode = 0;
char logPath[kPathCapacity] = {};
HWND mainWindow = nullptr;
HWND statusWindow = nullptr;
