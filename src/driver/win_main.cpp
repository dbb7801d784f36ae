// The program's entry: reads the two command-line words, puts up the status window unless
// the run is silent, opens the removal log, records where the run starts from, and hands
// over to the one run mode that applies. Every path ends with exit code 0; what happened is
// told by the log alone.
#include <windows.h>

#include "driver/log_lines.h"
#include "driver/process_hardening.h"
#include "driver/process_state.h"
#include "driver/run_mode.h"
#include "driver/stages.h"
#include "driver/status_window.h"
#include "log/removal_log.h"
#include "sysops/link_safety.h"
#include "util/bounded_text.h"
#include "util/paths.h"
#include "util/shell_folders.h"
#include "util/text_helpers.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  RestrictLibrarySearch();
  RefuseUntrustedJunctions();
  DriverBuffers buffers = {};
  const char* words = commandLine != nullptr ? commandLine : "";

  const bool zapFiles = FindNoCase(words, "zapfiles") != 0;
  if (FindNoCase(words, "silent") != 0) {
    silentMode = 1;
  } else {
    silentMode = 0;
    ShowMainWindow(instance);
    FormatText(buffers.messageBuffer, kMessageCapacity,
               "  Removing Halvorne Tessivane, please wait...");
    ShowStatusText(instance, buffers.messageBuffer);
  }

  GetFolderPath("Common AppData", logPath);
  AppendText(logPath, kPathCapacity, "\\Halvorne\\Logs\\KESPremoval.log");
  CreateDirectoryChain(logPath);

  LogAction(&buffers, "================= KESP Uninstaller Start =================");
  LogAction(&buffers, "Command line: %s", words);
  GetModulePath(buffers.exePath);
  LogAction(&buffers, "My path: %s", buffers.exePath);
  SourceDirectoryOf(buffers.exePath);
  LogAction(&buffers, "Source directory: %s", buffers.exePath);
  GetTempDirectory(buffers.tempDirectory);
  LogAction(&buffers, "Temp directory: %s", buffers.tempDirectory);

  switch (ChooseRunMode(buffers.tempDirectory, buffers.exePath, zapFiles)) {
    case RunMode::Relaunch:
      Relaunch(&buffers, zapFiles);
      break;
    case RunMode::Removal:
      Removal(&buffers);
      break;
    case RunMode::FileCleanup:
      FileCleanup(&buffers);
      break;
  }
  return 0;
}
