// What the process does before anything else, so that an elevated run started from a
// download folder or the temporary directory loads no library that was dropped there.
#pragma once

// Limits the loader's search for libraries named without a path to the system folder.
// Call it first thing in WinMain, before any other library is loaded.
void RestrictLibrarySearch();
