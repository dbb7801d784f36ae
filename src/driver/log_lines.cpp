#include "driver/log_lines.h"

#include <stdarg.h>

#include "driver/process_state.h"
#include "log/removal_log.h"
#include "util/bounded_text.h"

namespace {

const char kResultIndent[] = "    ";
const size_t kResultIndentLength = sizeof(kResultIndent) - 1;

}  // namespace

void LogAction(DriverBuffers* buffers, const char* format, ...) {
  va_list values;
  va_start(values, format);
  FormatTextList(buffers->messageBuffer, kMessageCapacity, format, values);
  va_end(values);
  WriteLogLine(buffers->messageBuffer, logPath, true);
}

void LogResult(DriverBuffers* buffers, const char* format, ...) {
  va_list values;
  va_start(values, format);
  CopyText(buffers->messageBuffer, kMessageCapacity, kResultIndent);
  FormatTextList(buffers->messageBuffer + kResultIndentLength, kMessageCapacity - kResultIndentLength,
                 format, values);
  va_end(values);
  WriteLogLine(buffers->messageBuffer, logPath, true);
}
