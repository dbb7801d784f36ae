// Service control: the removal stage stops the product's service and then marks it for
// deletion through these four operations. Each one opens the service manager and the
// service itself and gives every handle and status record back before it returns, so a
// failure anywhere leaves nothing behind in this short-lived process or in the manager.
#include "sysops/service_control.h"

#include "util/bounded_text.h"
#include "util/path_spelling.h"
#include "util/release.h"
#include "util/text_helpers.h"

namespace {

// A refused stop control is asked again at this fixed pace for about ten seconds, for a
// service still busy with an earlier control.
const int kStopRetries = 100;
const DWORD kStopRetryPauseMs = 100;
const ULONGLONG kRetryWindowMs = 11000;
// Once the service has taken the control, it says through its checkpoint and wait hint how
// long its next step may take; one that names less, or nothing, is still given this long
// between two steps.
const ULONGLONG kStopPatienceMs = 10000;
// The whole stop, retries and waits, ends after about as long as Windows Installer waits
// for a service. A control handler that hangs holds every ControlService call for the
// service manager's own timeout, so only a clock read between calls bounds the stop.
const ULONGLONG kStopDeadlineMs = 30000;

// Answers that waiting may change: a service still starting or busy with another control
// may take the stop later. Every other refusal (not running, no such service, access
// denied, dependents running) stands, and asking again would only delay the removal.
bool StopRefusalMayChange(DWORD error) {
  return error == ERROR_INVALID_SERVICE_CONTROL || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
}

const DWORD kControlAccess = SERVICE_STOP | SERVICE_QUERY_STATUS;
// The deletion marks the service; nothing else is asked of it.
const DWORD kDeleteAccess = DELETE;

// The name as the service manager is asked for it and the texts name it: without the blanks
// around it, in a name-sized buffer (kNameCapacity).
void TrimServiceName(const char* serviceName, char* trimmed) {
  CopyText(trimmed, kNameCapacity, serviceName);
  TrimText(trimmed);
}

SERVICE_STATUS* NewStatusRecord() {
  return static_cast<SERVICE_STATUS*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(SERVICE_STATUS)));
}

// The running services that depend on the named one, as the log names them, separated by
// commas, into names (kErrorTextCapacity); "unknown" when they cannot be listed. The
// program stops none of them: they are other products' services.
void NameRunningDependents(SC_HANDLE manager, const char* serviceName, char* names) {
  SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_ENUMERATE_DEPENDENTS);
  ENUM_SERVICE_STATUSW* dependents = nullptr;
  DWORD needed = 0;
  DWORD count = 0;
  CopyText(names, kErrorTextCapacity, "unknown");
  if (service != nullptr && !EnumDependentServicesW(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count) &&
      GetLastError() == ERROR_MORE_DATA) {
    dependents = static_cast<ENUM_SERVICE_STATUSW*>(HeapAlloc(GetProcessHeap(), 0, needed));
  }
  if (dependents != nullptr && EnumDependentServicesW(service, SERVICE_ACTIVE, dependents, needed, &needed, &count)) {
    CopyText(names, kErrorTextCapacity, "");
    for (DWORD index = 0; index < count; ++index) {
      char name[kNameCapacity];
      NameText(dependents[index].lpServiceName, name, kNameCapacity);
      if (index > 0) AppendText(names, kErrorTextCapacity, ", ");
      AppendText(names, kErrorTextCapacity, name);
    }
  }
  ReleaseHeap(&dependents);
  ReleaseServiceHandle(&service);
}

// The service's own process, opened only to see it end, while the service still reports
// it as its own: a process the service shares with others runs on after it stops, and a
// number read once may name another process by the time it is opened. Null otherwise.
HANDLE OpenServiceProcess(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS before = {};
  SERVICE_STATUS_PROCESS after = {};
  DWORD needed = 0;
  HANDLE process = nullptr;
  if (QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&before), sizeof(before),
                           &needed) &&
      before.dwProcessId != 0 && (before.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) == 0 &&
      (before.dwServiceFlags & SERVICE_RUNS_IN_SYSTEM_PROCESS) == 0) {
    process = OpenProcess(SYNCHRONIZE, FALSE, before.dwProcessId);
  }
  const bool confirmed = process != nullptr &&
                         QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&after),
                                              sizeof(after), &needed) &&
                         after.dwProcessId == before.dwProcessId;
  if (!confirmed) ReleaseHandle(&process);
  return confirmed ? process : nullptr;
}

// Sends the stop control, and again at the retry pace while the refusal may change; the
// refusal is read afresh after every control. Answers whether the service took it, with
// the last refusal in *refusal.
bool SendStopControl(SC_HANDLE service, SERVICE_STATUS* answer, ULONGLONG started, DWORD* refusal) {
  int pauses = 0;
  bool accepted = ControlService(service, SERVICE_CONTROL_STOP, answer) != FALSE;
  *refusal = accepted ? 0 : GetLastError();
  while (!accepted && StopRefusalMayChange(*refusal) && pauses < kStopRetries &&
         GetTickCount64() - started < kRetryWindowMs) {
    Sleep(kStopRetryPauseMs);
    ++pauses;
    accepted = ControlService(service, SERVICE_CONTROL_STOP, answer) != FALSE;
    *refusal = accepted ? 0 : GetLastError();
  }
  return accepted;
}

// Taking the control is only the start of stopping: until the service reports stopped its
// process runs on and holds its files. Waits while the service keeps advancing its
// checkpoint (or its state) within its wait hint, and within the stop's deadline.
void WaitForStopped(SC_HANDLE service, SERVICE_STATUS* status, ULONGLONG started) {
  DWORD lastState = status->dwCurrentState;
  DWORD lastCheckPoint = status->dwCheckPoint;
  ULONGLONG lastStep = GetTickCount64();
  while (status->dwCurrentState != SERVICE_STOPPED) {
    const ULONGLONG now = GetTickCount64();
    if (now - started >= kStopDeadlineMs) break;
    if (status->dwCurrentState != lastState || status->dwCheckPoint != lastCheckPoint) {
      lastState = status->dwCurrentState;
      lastCheckPoint = status->dwCheckPoint;
      lastStep = now;
    } else if (now - lastStep >= (status->dwWaitHint > kStopPatienceMs ? status->dwWaitHint : kStopPatienceMs)) {
      break;
    }
    Sleep(kStopRetryPauseMs);
    if (!QueryServiceStatus(service, status)) break;
  }
}

// Waits, within what is left of the stop's deadline, for the stopped service's process to
// end, so that its program's file is free when the stop answers. True when it has ended.
bool WaitForProcessEnd(HANDLE process, ULONGLONG started) {
  const ULONGLONG elapsed = GetTickCount64() - started;
  const DWORD left = elapsed < kStopDeadlineMs ? static_cast<DWORD>(kStopDeadlineMs - elapsed) : 0;
  return process == nullptr || WaitForSingleObject(process, left) == WAIT_OBJECT_0;
}

}  // namespace

bool QueryServiceState(SC_HANDLE service, SERVICE_STATUS** statusSlot) {
  if (service == nullptr || statusSlot == nullptr) return false;
  ReleaseHeap(statusSlot);
  *statusSlot = NewStatusRecord();
  if (*statusSlot == nullptr) return false;
  return QueryServiceStatus(service, *statusSlot) != FALSE;
}

bool OpenServiceForControl(const char* serviceName, char* errorText, DWORD desiredAccess,
                           SC_HANDLE* managerSlot, SC_HANDLE* serviceSlot,
                           SERVICE_STATUS** statusSlot) {
  char workingName[kNameCapacity] = {};
  CopyText(errorText, kErrorTextCapacity, "");
  TrimServiceName(serviceName, workingName);
  if (workingName[0] == '\0') {
    CopyText(errorText, kErrorTextCapacity, "The service name cannot be blank.");
    return false;
  }

  *managerSlot = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (*managerSlot == nullptr) {
    CopyText(errorText, kErrorTextCapacity, "Unable to access the services database.");
    return false;
  }

  *serviceSlot = OpenServiceA(*managerSlot, workingName, desiredAccess);
  if (*serviceSlot == nullptr) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
      FormatText(errorText, kErrorTextCapacity,
                 "Unable to stop %s (OpenService Error).  Error: Access is denied (%i).",
                 workingName, static_cast<int>(error));
    } else {
      FormatText(errorText, kErrorTextCapacity, "Unable to stop %s (OpenService Error).  Error #%i",
                 workingName, static_cast<int>(error));
    }
    // The slot is emptied as well, so that a caller cannot close the handle a second time.
    ReleaseServiceHandle(managerSlot);
    return false;
  }

  // The status only documents what the service was doing; stopping does not depend on it.
  QueryServiceState(*serviceSlot, statusSlot);
  return true;
}

bool StopService(const char* serviceName, char* errorText) {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  SERVICE_STATUS* queriedStatus = nullptr;
  SERVICE_STATUS* stopAnswer = nullptr;
  HANDLE process = nullptr;
  char trimmedName[kNameCapacity] = {};
  char dependents[kErrorTextCapacity] = {};
  bool stopped = false;

  if (!OpenServiceForControl(serviceName, errorText, kControlAccess, &manager, &service,
                             &queriedStatus)) {
    return false;
  }
  TrimServiceName(serviceName, trimmedName);

  stopAnswer = NewStatusRecord();
  if (stopAnswer == nullptr) {
    FormatText(errorText, kErrorTextCapacity, "Unable to stop %s.  Error #%i", trimmedName,
               static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
  } else {
    const ULONGLONG started = GetTickCount64();
    DWORD refusal = 0;
    process = OpenServiceProcess(service);
    const bool accepted = SendStopControl(service, stopAnswer, started, &refusal);
    if (accepted) WaitForStopped(service, stopAnswer, started);
    if (refusal == ERROR_DEPENDENT_SERVICES_RUNNING) {
      NameRunningDependents(manager, trimmedName, dependents);
      FormatText(errorText, kErrorTextCapacity,
                 "Unable to stop %s: services that depend on it are running (%s), and this program stops "
                 "none of them.  Error #%i",
                 trimmedName, dependents, static_cast<int>(refusal));
    } else if (!accepted) {
      FormatText(errorText, kErrorTextCapacity, "Unable to stop %s.  Error #%i", trimmedName,
                 static_cast<int>(refusal));
    } else if (stopAnswer->dwCurrentState != SERVICE_STOPPED) {
      FormatText(errorText, kErrorTextCapacity,
                 "Unable to stop %s: it was still stopping when the wait ended (state %i).",
                 trimmedName, static_cast<int>(stopAnswer->dwCurrentState));
    } else if (!WaitForProcessEnd(process, started)) {
      FormatText(errorText, kErrorTextCapacity,
                 "Unable to stop %s: it reported stopped, but its process was still running when the wait ended.",
                 trimmedName);
    } else {
      stopped = true;
    }
  }

  ReleaseHandle(&process);
  ReleaseServiceHandle(&service);
  ReleaseServiceHandle(&manager);
  ReleaseHeap(&stopAnswer);
  ReleaseHeap(&queriedStatus);
  return stopped;
}

bool RemoveService(const char* serviceName, DWORD* removalError) {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  char privateErrorText[kErrorTextCapacity] = {};
  bool removed = false;

  // A second, private stop attempt: whatever it says, the deletion is tried afterwards.
  StopService(serviceName, privateErrorText);

  manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager != nullptr && serviceName != nullptr) {
    service = OpenServiceA(manager, serviceName, kDeleteAccess);
    if (service != nullptr) removed = DeleteService(service) != FALSE;
  }
  *removalError = removed ? 0 : serviceName == nullptr ? ERROR_INVALID_PARAMETER : GetLastError();

  ReleaseServiceHandle(&manager);
  ReleaseServiceHandle(&service);
  return removed;
}
