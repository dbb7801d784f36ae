// The next-logon run: deletes the service's home directory with everything in it. It
// comes a logon after the removal run because the service's own program lives in that
// directory and may still be held by a process that ends only with the session.
#include "driver/process_state.h"
#include "driver/product_names.h"
#include "driver/stages.h"
#include "log/removal_log.h"
#include "sysops/shell_files.h"
#include "util/bounded_text.h"
#include "util/shell_folders.h"

void FileCleanup(DriverBuffers* buffers) {
  GetFolderPath(kCommonAppDataFolder, buffers->homePath);
  AppendText(buffers->homePath, kPathCapacity, kHomeDirectorySuffix);
  FormatText(buffers->messageBuffer, kMessageCapacity, "Delete home path: %s", buffers->homePath);
  WriteLogLine(buffers->messageBuffer, logPath, true);

  if (DeleteWithShell(buffers->homePath, buffers->errorText, silentMode != 0, true)) {
    FormatText(buffers->messageBuffer, kMessageCapacity, "    Delete success");
  } else {
    FormatText(buffers->messageBuffer, kMessageCapacity, "    Delete failed.  Error: %s", buffers->errorText);
  }
  WriteLogLine(buffers->messageBuffer, logPath, true);
}
