// Every run is elevated, and it starts from the two folders where browsers, mail and other
// users' programs drop files: a download folder and the temporary directory. By default the
// loader looks for a library named without a path in the program's own folder first, so a
// "version.dll" or "shcore.dll" planted beside the program would run with administrative
// rights when the shell or the window code asks for it by name. From here on only the
// system folder is searched; shell32 and ole32 are delay-loaded (cmake/delay_load.cmake), so
// they and everything they pull in are found under this rule too.
#include "driver/process_hardening.h"

#include <windows.h>

#include "util/system_functions.h"

void RestrictLibrarySearch() {
  // Windows 7 has the function only with its update KB2533623.
  const auto setDefaultDirectories =
      FindSystemFunction<BOOL(WINAPI*)(DWORD)>("kernel32.dll", "SetDefaultDllDirectories");
  if (setDefaultDirectories != NULL && setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  // Without it, at least the current directory leaves the search; the program's own folder
  // stays in it, which only that update can change.
  SetDllDirectoryA("");
}
