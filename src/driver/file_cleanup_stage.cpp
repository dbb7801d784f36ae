// The next-logon run: deletes the service's home directory with everything in it. It
// comes a logon after the removal run because the service's own program lives in that
// directory and is held for as long as the service's process runs; a service that was
// still stopping at the removal run holds it until it ends, at a restart at the latest.
//
// The home directory lies where standard users may plant links, and this run is elevated:
// nothing is handed to the shell's deletion unless the home path is known and nothing in
// or above the tree would take the deletion elsewhere.
#include "driver/log_lines.h"
#include "driver/process_state.h"
#include "driver/product_names.h"
#include "driver/stages.h"
#include "sysops/link_safety.h"
#include "sysops/shell_files.h"
#include "util/bounded_text.h"
#include "util/shell_folders.h"

namespace {

const char kHomeUnknownText[] =
    "The home path is not known (no all-users application-data folder, or a path that does not "
    "fit); nothing was deleted.";

}  // namespace

void FileCleanup(DriverBuffers* buffers) {
  const bool homeKnown = GetFolderSubpath(kCommonAppDataFolder, kHomeDirectorySuffix, buffers->homePath);
  LogAction(buffers, "Delete home path: %s", buffers->homePath);

  size_t homeLength = 0;
  TextLength(buffers->homePath, kPathCapacity, &homeLength);
  const size_t allUsersLength = homeKnown ? homeLength - (sizeof(kHomeDirectorySuffix) - 1) : 0;
  bool deleted = false;
  if (!homeKnown) {
    CopyText(buffers->errorText, kErrorTextCapacity, kHomeUnknownText);
  } else if (ClearTreeOfLinks(buffers->homePath, allUsersLength, buffers->errorText)) {
    deleted = DeleteWithShell(buffers->homePath, buffers->errorText, silentMode != 0, true);
  }
  if (deleted) {
    LogResult(buffers, "Delete success");
  } else {
    LogResult(buffers, "Delete failed.  Error: %s", buffers->errorText);
  }
}
