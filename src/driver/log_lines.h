// The driver's two kinds of log line. An action is written, unindented, before its step is
// taken; the step's result follows, indented by four spaces, so that a reader sees each
// run as its list of steps and what became of each. Both go through the message buffer.
#pragma once

#include "driver/stages.h"

void LogAction(DriverBuffers* buffers, const char* format, ...) __attribute__((format(ms_printf, 2, 3)));

// The indent is added here; format is the result's own text.
void LogResult(DriverBuffers* buffers, const char* format, ...) __attribute__((format(ms_printf, 2, 3)));
