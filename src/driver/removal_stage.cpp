// The removal run: the elevated copy in the temporary directory registers a next-logon
// cleanup first, then stops and deletes the service, removes the product's autostart
// value and configuration key, and deletes the home directory, handing what is still in
// use to the next restart. Once nothing is left for the cleanup, the run-once value is
// withdrawn: it names a copy in a folder that the user who ran the program can change, and
// Windows would start whatever stands there with an administrator's rights. Every step runs
// whatever the ones before it answered, and each leaves an action line and an indented
// result line.
#include <windows.h>

#include "driver/home_directory.h"
#include "driver/log_lines.h"
#include "driver/process_state.h"
#include "driver/product_names.h"
#include "driver/run_once_command.h"
#include "driver/stages.h"
#include "sysops/registry.h"
#include "sysops/service_control.h"
#include "util/bounded_text.h"
#include "util/shell_folders.h"

namespace {

// RemoveService explains nothing but its error, so the line says which service could not be
// removed and passes on what the stop step found: for a service that is not installed that
// is the service manager's "does not exist" number, the one thing a reader needs to know.
// After a stop that went well, the removal's own error is the only clue left.
void DescribeRemovalFailure(const char* stopText, DWORD removalError, char* removalText) {
  if (stopText[0] == '\0') {
    FormatText(removalText, kErrorTextCapacity,
               "Unable to remove %s: it stopped, but the service manager would not open it "
               "for deletion or mark it for deletion.  Error #%i",
               kServiceName, static_cast<int>(removalError));
  } else {
    FormatText(removalText, kErrorTextCapacity, "Unable to remove %s.  Stop step: %s",
               kServiceName, stopText);
  }
}

}  // namespace

void Removal(DriverBuffers* buffers) {
  wchar_t command[kMessageCapacity] = {};
  char runOnceCommand[kMessageCapacity] = {};
  char removalText[kErrorTextCapacity] = {};

  // The cleanup is registered before anything is removed, so that even a run cut short
  // later still gets rid of the home directory at the next logon.
  bool registered = false;
  // A path that did not fit is not registered: a cut path would start some other file.
  const RunOnceCommand made = BuildRunOnceCommand(&buffers->ownPath, command, runOnceCommand);
  LogAction(buffers, "Add %s to the RunOnce key", runOnceCommand);
  if (made == RunOnceCommand::kTooLong) {
    LogResult(buffers, "registry item add failed.  Error: The command has more than the 260 characters that "
                       "Windows runs from RunOnce, even with the short form of the copy's path; it was not written.");
  } else {
    registered = made == RunOnceCommand::kWritable &&
                 SetRegistryString(HKEY_LOCAL_MACHINE, kRunOnceKey, kRunOnceValueName, command);
    LogResult(buffers, registered ? "registry item added" : "registry item add failed.");
  }

  LogAction(buffers, "Remove service");
  GetFolderSubpath(kCommonAppDataFolder, kHomeDirectorySuffix, buffers->homePath);
  LogAction(buffers, "Home path: %s", buffers->homePath);

  LogAction(buffers, "Stop the %s service", kServiceName);
  if (StopService(kServiceName, buffers->errorText)) {
    LogResult(buffers, "Service stopped");
  } else {
    LogResult(buffers, "Stop failed.  Error: %s", buffers->errorText);
  }

  LogAction(buffers, "Remove the %s service", kServiceName);
  DWORD removalError = 0;
  if (RemoveService(kServiceName, &removalError)) {
    LogResult(buffers, "Service removed");
  } else if (removalError == ERROR_SERVICE_MARKED_FOR_DELETE ||
             (removalError == ERROR_SERVICE_DOES_NOT_EXIST && buffers->errorText[0] == '\0')) {
    // An earlier run (or another program) marked it: the goal is reached, not failed. A
    // marked service that this run's stop stopped is gone as soon as the stop lets go of it.
    LogResult(buffers, "Service already marked for deletion: it goes once it has stopped and nothing holds it, "
                       "at the next restart at the latest");
  } else {
    DescribeRemovalFailure(buffers->errorText, removalError, removalText);
    LogResult(buffers, "Removal failed.  Error: %s", removalText);
  }

  LogAction(buffers, "Remove notification app from the registry");
  LogAction(buffers, "Remove the notification app from the registry");
  const bool valueDeleted = DeleteRegistryValue(HKEY_LOCAL_MACHINE, kAutostartKey, kAutostartValueName);
  LogResult(buffers, valueDeleted ? "registry item removed" : "removal failed.");

  LogAction(buffers, "Remove the service registry path");
  const bool keyDeleted = DeleteRegistryKey(HKEY_LOCAL_MACHINE, kConfigurationKey, true);
  LogResult(buffers, keyDeleted ? "registry item removed" : "removal failed.");

  // The stop has waited for the service's process to end, so its program is free now.
  // What is handed to the next restart needs no cleanup run either.
  if (DeleteHomeDirectory(buffers) == TreeDeletion::kStays || !registered) return;
  LogAction(buffers, "Remove %ls from the RunOnce key", kRunOnceValueName);
  const bool withdrawn = DeleteRegistryValue(HKEY_LOCAL_MACHINE, kRunOnceKey, kRunOnceValueName);
  LogResult(buffers, withdrawn ? "registry item removed" : "removal failed.");
}
