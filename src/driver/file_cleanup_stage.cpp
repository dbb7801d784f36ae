// The next-logon run: deletes the service's home directory with everything in it. It
// comes a logon after the removal run because the service's own program lives in that
// directory and is held for as long as the service's process runs; a service that was
// still stopping at the removal run holds it until it ends, at a restart at the latest.
#include "driver/log_lines.h"
#include "driver/process_state.h"
#include "driver/product_names.h"
#include "driver/stages.h"
#include "sysops/shell_files.h"
#include "util/bounded_text.h"
#include "util/shell_folders.h"

void FileCleanup(DriverBuffers* buffers) {
  GetFolderPath(kCommonAppDataFolder, buffers->homePath);
  AppendText(buffers->homePath, kPathCapacity, kHomeDirectorySuffix);
  LogAction(buffers, "Delete home path: %s", buffers->homePath);

  if (DeleteWithShell(buffers->homePath, buffers->errorText, silentMode != 0, true)) {
    LogResult(buffers, "Delete success");
  } else {
    LogResult(buffers, "Delete failed.  Error: %s", buffers->errorText);
  }
}
