#include "driver/stages.h"

void Removal(DriverBuffers*) {}
