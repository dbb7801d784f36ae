// Service control: the removal stage stops the product's service and then marks it for
// deletion through these four operations. Each one opens the service manager and the
// service itself and gives every handle and status record back before it returns, so a
// failure anywhere leaves nothing behind in this short-lived process or in the manager.
#include "sysops/service_control.h"

#include "util/bounded_text.h"
#include "util/release.h"
#include "util/text_helpers.h"

namespace {

// A stop control is sent once, then retried at this fixed pace: a service that is busy
// finishing a control gets about ten seconds to take the stop and finish stopping before
// we give up. The pauses before and after the service takes the control count together.
const int kStopRetries = 100;
const DWORD kStopRetryPauseMs = 100;
// The schedule's ten seconds plus a margin for the controls themselves. A service whose
// control handler hangs holds every ControlService call for the service manager's own
// timeout, so the schedule alone could stretch a stop to most of an hour.
const ULONGLONG kStopDeadlineMs = 11000;

// Answers after which waiting cannot change anything: the service is not running, or it
// does not exist. A busy service (1061) or one not accepting the stop yet (1052) may still
// take it, and so may anything we cannot classify.
bool StopAnswerIsFinal(DWORD error) {
  return error == ERROR_SERVICE_NOT_ACTIVE || error == ERROR_SERVICE_DOES_NOT_EXIST;
}

const DWORD kControlAccess = SERVICE_STOP | SERVICE_QUERY_STATUS;

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
  char trimmedName[kNameCapacity] = {};
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
    // The service may still be busy with an earlier control: keep asking at a steady pace
    // while its answer can still change and the deadline has not passed.
    const ULONGLONG started = GetTickCount64();
    int pauses = 0;
    bool accepted = ControlService(service, SERVICE_CONTROL_STOP, stopAnswer) != FALSE;
    DWORD lastError = accepted ? 0 : GetLastError();
    while (!accepted && !StopAnswerIsFinal(lastError) && pauses < kStopRetries &&
           GetTickCount64() - started < kStopDeadlineMs) {
      Sleep(kStopRetryPauseMs);
      ++pauses;
      accepted = ControlService(service, SERVICE_CONTROL_STOP, stopAnswer) != FALSE;
      lastError = GetLastError();
    }
    // Taking the control is only the start of stopping: until the service reports stopped
    // its process runs on and holds its files. The wait shares the schedule and the
    // deadline with the retries, so a stop never blocks longer than before.
    while (accepted && stopAnswer->dwCurrentState != SERVICE_STOPPED && pauses < kStopRetries &&
           GetTickCount64() - started < kStopDeadlineMs) {
      Sleep(kStopRetryPauseMs);
      ++pauses;
      QueryServiceStatus(service, stopAnswer);
    }
    if (!accepted) {
      FormatText(errorText, kErrorTextCapacity, "Unable to stop %s.  Error #%i", trimmedName,
                 static_cast<int>(lastError));
    } else if (stopAnswer->dwCurrentState != SERVICE_STOPPED) {
      FormatText(errorText, kErrorTextCapacity,
                 "Unable to stop %s: it was still stopping when the wait ended (state %i).",
                 trimmedName, static_cast<int>(stopAnswer->dwCurrentState));
    } else {
      stopped = true;
    }
  }

  ReleaseServiceHandle(&service);
  ReleaseServiceHandle(&manager);
  ReleaseHeap(&stopAnswer);
  ReleaseHeap(&queriedStatus);
  return stopped;
}

bool RemoveService(const char* serviceName) {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  char privateErrorText[kErrorTextCapacity] = {};
  bool removed = false;

  // A second, private stop attempt: whatever it says, the deletion is tried afterwards.
  StopService(serviceName, privateErrorText);

  manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager != nullptr && serviceName != nullptr) {
    service = OpenServiceA(manager, serviceName, SERVICE_ALL_ACCESS);
    if (service != nullptr) removed = DeleteService(service) != FALSE;
  }

  ReleaseServiceHandle(&manager);
  ReleaseServiceHandle(&service);
  return removed;
}
