// The command the next logon runs: the copy's path, quoted, and the words "silent zapfiles".
// Windows runs a RunOnce command of at most 260 characters, so a longer one is made with the
// short form of the path, and one that is still too long is not made at all: a cut command
// would start some other file, or nothing.
#pragma once

#include <wchar.h>

#include "util/path_spelling.h"

enum class RunOnceCommand { kWritable, kTooLong, kNoPath };

// Builds the command for the program at own into command (4096 wide characters), with own's
// path as the log names it; text (4096 characters) receives the command as the log shows it.
// kNoPath when own's path is not known.
RunOnceCommand BuildRunOnceCommand(const SpelledPath* own, wchar_t* command, char* text);
