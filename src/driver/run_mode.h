// Which of the three runs this start of the program is. Decided afresh at every start
// from where the executable runs and from the "zapfiles" word; nothing is stored.
#pragma once

#include <wchar.h>

enum class RunMode { Relaunch, Removal, FileCleanup };

// Relaunch when sourceDirectory does not occur (letters in any case) within tempDirectory;
// otherwise FileCleanup with zapFiles, Removal without. Both are compared as the UTF-16
// paths they are, never as their code-page texts: "C:\users\Lukasz" is not "C:\users\Łukasz".
RunMode ChooseRunMode(const wchar_t* tempDirectory, const wchar_t* sourceDirectory, bool zapFiles);
