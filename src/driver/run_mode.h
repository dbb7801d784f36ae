// Which of the three runs this start of the program is. Decided afresh at every start
// from where the executable runs and from the "zapfiles" word; nothing is stored.
#pragma once

#include <wchar.h>

enum class RunMode { Relaunch, Removal, FileCleanup };

// Removal, or FileCleanup with zapFiles, when sourceDirectory is tempDirectory: the same name
// but for letter case, as the file system compares names, a trailing backslash aside;
// Relaunch otherwise, and when either is empty or longer than a path. Both are final paths,
// compared as the UTF-16 paths they are, never as their code-page texts: "C:\users\Lukasz"
// is not "C:\users\Łukasz".
RunMode ChooseRunMode(const wchar_t* tempDirectory, const wchar_t* sourceDirectory, bool zapFiles);
