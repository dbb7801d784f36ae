// The removal run: the elevated copy in the temporary directory arranges its own
// next-logon cleanup first, then stops and deletes the service and removes the
// product's autostart value and configuration key. Every step runs whatever the ones
// before it answered, and each leaves an action line and an indented result line.
#include <windows.h>

#include "driver/process_state.h"
#include "driver/product_names.h"
#include "driver/stages.h"
#include "log/removal_log.h"
#include "sysops/registry.h"
#include "sysops/service_control.h"
#include "util/bounded_text.h"
#include "util/paths.h"
#include "util/shell_folders.h"

namespace {

void LogMessage(DriverBuffers* buffers) { WriteLogLine(buffers->messageBuffer, logPath, true); }

// Most lines of this run are fixed texts; they pass through the message buffer like the rest.
void LogText(DriverBuffers* buffers, const char* text) {
  FormatText(buffers->messageBuffer, kMessageCapacity, "%s", text);
  LogMessage(buffers);
}

void LogOutcome(DriverBuffers* buffers, bool succeeded, const char* success, const char* failure) {
  LogText(buffers, succeeded ? success : failure);
}

// RemoveService explains nothing, so the line says which service could not be removed
// and passes on what the stop step found: for a service that is not installed that is
// the service manager's "does not exist" number, the one thing a reader needs to know.
void DescribeRemovalFailure(const char* stopText, char* removalText) {
  if (stopText[0] == '\0') {
    FormatText(removalText, kErrorTextCapacity,
               "Unable to remove %s: it stopped, but the service manager would not open it "
               "with full access or mark it for deletion.",
               kServiceName);
  } else {
    FormatText(removalText, kErrorTextCapacity, "Unable to remove %s.  Stop step: %s",
               kServiceName, stopText);
  }
}

}  // namespace

void Removal(DriverBuffers* buffers) {
  char runOnceCommand[kMessageCapacity] = {};
  char ownPath[kPathCapacity] = {};
  char removalText[kErrorTextCapacity] = {};

  // The cleanup is registered before anything is removed, so that even a run cut short
  // later still gets rid of the home directory at the next logon.
  // A path that did not fit is not registered: a cut path would start some other file.
  const bool ownPathKnown = GetModulePath(ownPath);
  FormatText(runOnceCommand, kMessageCapacity, kRunOnceCommandFormat, ownPath);
  FormatText(buffers->messageBuffer, kMessageCapacity, "Add %s to the RunOnce key", runOnceCommand);
  LogMessage(buffers);
  LogOutcome(buffers,
             ownPathKnown && SetRegistryString(HKEY_LOCAL_MACHINE, kRunOnceKey, kRunOnceValueName, runOnceCommand),
             "    registry item added", "    registry item add failed.");

  LogText(buffers, "Remove service");
  GetFolderPath(kCommonAppDataFolder, buffers->homePath);
  AppendText(buffers->homePath, kPathCapacity, kHomeDirectorySuffix);
  FormatText(buffers->messageBuffer, kMessageCapacity, "Home path: %s", buffers->homePath);
  LogMessage(buffers);

  FormatText(buffers->messageBuffer, kMessageCapacity, "Stop the %s service", kServiceName);
  LogMessage(buffers);
  if (StopService(kServiceName, buffers->errorText)) {
    FormatText(buffers->messageBuffer, kMessageCapacity, "    Service stopped");
  } else {
    FormatText(buffers->messageBuffer, kMessageCapacity, "    Stop failed.  Error: %s", buffers->errorText);
  }
  LogMessage(buffers);

  FormatText(buffers->messageBuffer, kMessageCapacity, "Remove the %s service", kServiceName);
  LogMessage(buffers);
  if (RemoveService(kServiceName)) {
    FormatText(buffers->messageBuffer, kMessageCapacity, "    Service removed");
  } else {
    DescribeRemovalFailure(buffers->errorText, removalText);
    FormatText(buffers->messageBuffer, kMessageCapacity, "    Removal failed.  Error: %s", removalText);
  }
  LogMessage(buffers);

  LogText(buffers, "Remove notification app from the registry");
  LogText(buffers, "Remove the notification app from the registry");
  LogOutcome(buffers, DeleteRegistryValue(HKEY_LOCAL_MACHINE, kAutostartKey, kAutostartValueName),
             "    registry item removed", "    removal failed.");

  LogText(buffers, "Remove the service registry path");
  LogOutcome(buffers, DeleteRegistryKey(HKEY_LOCAL_MACHINE, kConfigurationKey, true),
             "    registry item removed", "    removal failed.");
}
