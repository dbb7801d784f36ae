// The program's entry: reads the two command-line words, puts up the status window unless
// the run is silent, opens the removal log, records where the run starts from, and hands
// over to the one run mode that applies. Every path ends with exit code 0; what happened is
// told by the log alone.
#include <windows.h>

#include "driver/process_state.h"
#include "driver/run_mode.h"
#include "driver/stages.h"
#include "driver/status_window.h"
#include "log/removal_log.h"
#include "util/bounded_text.h"
#include "util/paths.h"
#include "util/shell_folders.h"
#include "util/text_helpers.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
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

  FormatText(buffers.messageBuffer, kMessageCapacity,
             "================= KESP Uninstaller Start =================");
  WriteLogLine(buffers.messageBuffer, logPath, true);
  FormatText(buffers.messageBuffer, kMessageCapacity, "Command line: %s", words);
  WriteLogLine(buffers.messageBuffer, logPath, true);
  GetModulePath(buffers.exePath);
  FormatText(buffers.messageBuffer, kMessageCapacity, "My path: %s", buffers.exePath);
  WriteLogLine(buffers.messageBuffer, logPath, true);
  SourceDirectoryOf(buffers.exePath);
  FormatText(buffers.messageBuffer, kMessageCapacity, "Source directory: %s", buffers.exePath);
  WriteLogLine(buffers.messageBuffer, logPath, true);
  GetTempDirectory(buffers.tempDirectory);
  FormatText(buffers.messageBuffer, kMessageCapacity, "Temp directory: %s",
             buffers.tempDirectory);
  WriteLogLine(buffers.messageBuffer, logPath, true);

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
