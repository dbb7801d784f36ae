#include "driver/stages.h"

void FileCleanup(DriverBuffers*) {}
