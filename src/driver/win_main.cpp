// The program's entry: reads the two command-line words, puts up the status window unless
// the run is silent, opens the removal log, records where the run starts from, and hands
// over to the one run mode that applies. Every path ends with exit code 0; what happened is
// told by the log alone.
#include <windows.h>

#include "driver/log_lines.h"
#include "driver/process_hardening.h"
#include "driver/process_state.h"
#include "driver/product_names.h"
#include "driver/run_mode.h"
#include "driver/stages.h"
#include "driver/status_window.h"
#include "log/removal_log.h"
#include "sysops/final_path.h"
#include "sysops/link_safety.h"
#include "sysops/own_program.h"
#include "util/bounded_text.h"
#include "util/path_spelling.h"
#include "util/paths.h"
#include "util/shell_folders.h"
#include "util/text_helpers.h"

namespace {

// Where this run is: its own file, that file's folder and the temporary directory, each in
// the form the platform finally reaches it by and spelled for the log. A junction the user
// made to move Downloads or the temporary directory elsewhere is followed here, once, before
// the process refuses such junctions; from then on the run works on the folders themselves,
// and the copy it starts, named by its final path, finds itself in the same final form of
// the temporary directory.
void FindWhereTheRunIs(DriverBuffers* buffers) {
  if (GetModulePath(buffers->ownPath.path)) ResolveFinalPath(buffers->ownPath.path);
  CopyPath(buffers->sourceDirectory.path, buffers->ownPath.path);
  SourceDirectoryOf(buffers->sourceDirectory.path);
  GetTempDirectory(buffers->tempDirectory.path);
  ResolveFinalPath(buffers->tempDirectory.path);
  SpellPath(&buffers->ownPath);
  SpellPath(&buffers->sourceDirectory);
  SpellPath(&buffers->tempDirectory);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  DriverBuffers buffers = {};
  OwnProgram own = {};
  RestrictLibrarySearch();
  // First of all, before any step that takes time: the file that the copy is made from.
  HoldOwnProgram(&own);
  FindWhereTheRunIs(&buffers);
  RefuseUntrustedJunctions();
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

  GetFolderPath(kCommonAppDataFolder, logPath);
  AppendText(logPath, kPathCapacity, kLogFileSuffix);
  CreateDirectoryChain(logPath);

  LogAction(&buffers, "================= KESP Uninstaller Start =================");
  LogAction(&buffers, "Command line: %s", words);
  LogAction(&buffers, "My path: %s", buffers.ownPath.text);
  LogAction(&buffers, "Source directory: %s", buffers.sourceDirectory.text);
  LogAction(&buffers, "Temp directory: %s", buffers.tempDirectory.text);

  switch (ChooseRunMode(buffers.tempDirectory.path, buffers.sourceDirectory.path, zapFiles)) {
    case RunMode::Relaunch:
      Relaunch(&buffers, &own, zapFiles);
      break;
    case RunMode::Removal:
      Removal(&buffers);
      break;
    case RunMode::FileCleanup:
      FileCleanup(&buffers);
      break;
  }
  ReleaseOwnProgram(&own);
  return 0;
}
