// The next-logon run: deletes the service's home directory with everything in it. It
// comes a logon after the removal run because the service's own program lives in that
// directory and is held for as long as the service's process runs; a service that was
// still stopping at the removal run holds it until it ends, at a restart at the latest.
//
// The home directory lies where standard users may plant links and move folders, and this
// run is elevated: nothing is deleted unless the home path is known, and the deletion walks
// the tree by handle, so that nothing in it or above it can take the deletion elsewhere.
#include "driver/log_lines.h"
#include "driver/product_names.h"
#include "driver/stages.h"
#include "sysops/tree_delete.h"
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
  bool deleted = false;
  if (!homeKnown) {
    CopyText(buffers->errorText, kErrorTextCapacity, kHomeUnknownText);
  } else {
    deleted = DeleteTree(buffers->homePath, homeLength - (sizeof(kHomeDirectorySuffix) - 1), buffers->errorText);
  }
  if (deleted) {
    LogResult(buffers, "Delete success");
  } else {
    LogResult(buffers, "Delete failed.  Error: %s", buffers->errorText);
  }
}
