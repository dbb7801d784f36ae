// The home directory lies where standard users may plant links and move folders, and the
// run is elevated: nothing is deleted unless the home path is known, and the deletion walks
// the tree by handle, so that nothing in it or above it can take the deletion elsewhere.
#include "driver/home_directory.h"

#include "driver/log_lines.h"
#include "driver/product_names.h"
#include "util/bounded_text.h"
#include "util/shell_folders.h"

namespace {

const char kHomeUnknownText[] =
    "The home path is not known (no all-users application-data folder, or a path that does not "
    "fit); nothing was deleted.";

}  // namespace

TreeDeletion DeleteHomeDirectory(DriverBuffers* buffers) {
  char appData[kPathCapacity] = {};
  const bool homeKnown = GetFolderPath(kCommonAppDataFolder, appData) &&
                         !TextFailed(CopyText(buffers->homePath, kPathCapacity, appData)) &&
                         !TextFailed(AppendText(buffers->homePath, kPathCapacity, kHomeDirectorySuffix));
  // A cut path, or the suffix alone, would name some other place.
  if (!homeKnown) CopyText(buffers->homePath, kPathCapacity, "");
  LogAction(buffers, "Delete home path: %s", buffers->homePath);

  TreeDeletion result = TreeDeletion::kStays;
  if (!homeKnown) {
    CopyText(buffers->errorText, kErrorTextCapacity, kHomeUnknownText);
  } else {
    result = DeleteTree(appData, kHomeDirectorySuffix, buffers->errorText);
  }
  if (result == TreeDeletion::kDeleted) {
    LogResult(buffers, "Delete success");
  } else {
    LogResult(buffers, "Delete failed.  Error: %s", buffers->errorText);
  }
  return result;
}
