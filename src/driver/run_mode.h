// Which of the three runs this start of the program is. Decided afresh at every start
// from where the executable runs and from the "zapfiles" word; nothing is stored.
#pragma once

enum class RunMode { Relaunch, Removal, FileCleanup };

// Relaunch when sourceDirectory does not occur (letters in any case) within
// tempDirectory's text; otherwise FileCleanup with zapFiles, Removal without.
RunMode ChooseRunMode(const char* tempDirectory, const char* sourceDirectory, bool zapFiles);
