#include "driver/run_once_command.h"

#include <stdio.h>

#include "driver/product_names.h"
#include "util/bounded_text.h"

namespace {

// The longest command that Windows runs from the RunOnce key.
const size_t kRunOnceCommandLimit = 260;

// A path of at most 259 characters always fits the command buffer with the words.
bool FormatCommand(const wchar_t* path, wchar_t* command) {
  _snwprintf(command, kMessageCapacity - 1, kRunOnceCommandFormat, path);
  command[kMessageCapacity - 1] = L'\0';
  return wcsnlen(command, kMessageCapacity) <= kRunOnceCommandLimit;
}

}  // namespace

RunOnceCommand BuildRunOnceCommand(const SpelledPath* own, wchar_t* command, char* text) {
  wchar_t shortPath[kPathCapacity] = {};
  bool fits = FormatCommand(own->spelled, command);
  if (!fits && GetShortForm(own->path, shortPath)) fits = FormatCommand(shortPath, command);
  NameText(command, text, kMessageCapacity);
  if (own->path[0] == L'\0') return RunOnceCommand::kNoPath;
  return fits ? RunOnceCommand::kWritable : RunOnceCommand::kTooLong;
}
