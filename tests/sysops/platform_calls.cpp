#include "sysops/platform_calls.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace platformcalls {

namespace {

Options activeOptions;
Record activeRecord;

decltype(&OpenSCManagerA) realOpenManager = nullptr;
decltype(&OpenServiceA) realOpenService = nullptr;
decltype(&CloseServiceHandle) realClose = nullptr;
decltype(&QueryServiceStatus) realQuery = nullptr;
decltype(&ControlService) realControl = nullptr;
decltype(&DeleteService) realDelete = nullptr;
decltype(&EnumDependentServicesW) realEnumDependents = nullptr;
decltype(&Sleep) realSleep = nullptr;
decltype(&HeapAlloc) realHeapAlloc = nullptr;
decltype(&HeapFree) realHeapFree = nullptr;
decltype(&GetTickCount64) realTickCount = nullptr;
int heapAllocCalls = 0;
int statusAnswers = 0;
ULONGLONG fakeClock = 0;

SC_HANDLE WINAPI WatchedOpenManager(LPCSTR machine, LPCSTR database, DWORD access) {
  activeRecord.managerAccess.push_back(access);
  if (activeOptions.failManagerWithError != 0 &&
      (access & ~activeOptions.managerAccessAllowed) != 0) {
    SetLastError(activeOptions.failManagerWithError);
    return nullptr;
  }
  SC_HANDLE handle = realOpenManager(machine, database, access);
  if (handle != nullptr) activeRecord.openHandles.insert(handle);
  return handle;
}

SC_HANDLE WINAPI WatchedOpenService(SC_HANDLE manager, LPCSTR name, DWORD access) {
  activeRecord.serviceAccess.push_back(access);
  activeRecord.serviceNames.push_back(name != nullptr ? name : "<null>");
  if (activeOptions.failServiceWithError != 0 && (access & ~activeOptions.serviceAccessAllowed) != 0) {
    SetLastError(activeOptions.failServiceWithError);
    return nullptr;
  }
  SC_HANDLE handle = realOpenService(manager, name, access);
  if (handle != nullptr) activeRecord.openHandles.insert(handle);
  return handle;
}

BOOL WINAPI WatchedClose(SC_HANDLE handle) {
  if (activeRecord.openHandles.erase(handle) == 0) ++activeRecord.badCloses;
  return realClose(handle);
}

// Overwrites a status answer with "stop pending" while pendingAnswers lasts.
void StandInPending(LPSERVICE_STATUS status) {
  if (++statusAnswers > activeOptions.pendingAnswers) return;
  status->dwCurrentState = SERVICE_STOP_PENDING;
  status->dwWaitHint = 2000;
  status->dwCheckPoint = activeOptions.checkPointAdvances ? statusAnswers : 1;
}

BOOL WINAPI WatchedQuery(SC_HANDLE service, LPSERVICE_STATUS status) {
  ++activeRecord.queries;
  const BOOL answer = realQuery(service, status);
  if (answer) StandInPending(status);
  return answer;
}

BOOL WINAPI WatchedControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  activeRecord.controls.push_back(control);
  if (activeRecord.controls.size() <= activeOptions.refuseControls) {
    activeRecord.controlErrors.push_back(activeOptions.refusalError);
    SetLastError(activeOptions.refusalError);
    return FALSE;
  }
  const BOOL answer = realControl(service, control, status);
  const DWORD error = GetLastError();
  if (answer) StandInPending(status);
  activeRecord.controlErrors.push_back(answer ? 0 : error);
  SetLastError(error);
  return answer;
}

BOOL WINAPI WatchedDelete(SC_HANDLE service) {
  ++activeRecord.deletions;
  if (activeOptions.failDeleteWithError != 0) {
    SetLastError(activeOptions.failDeleteWithError);
    return FALSE;
  }
  return realDelete(service);
}

// The entries first, then their names, as the platform lays them out.
BOOL WINAPI WatchedEnumDependents(SC_HANDLE service, DWORD state, LPENUM_SERVICE_STATUSW list, DWORD size,
                                  LPDWORD needed, LPDWORD returned) {
  const std::vector<std::wstring>& names = activeOptions.dependents;
  if (names.empty()) return realEnumDependents(service, state, list, size, needed, returned);
  DWORD bytes = static_cast<DWORD>(names.size() * sizeof(ENUM_SERVICE_STATUSW));
  for (const std::wstring& name : names) bytes += static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
  *needed = bytes;
  *returned = 0;
  if (list == nullptr || size < bytes) {
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  wchar_t* text = reinterpret_cast<wchar_t*>(list + names.size());
  for (const std::wstring& name : names) {
    ENUM_SERVICE_STATUSW& entry = list[(*returned)++];
    entry = ENUM_SERVICE_STATUSW();
    entry.lpServiceName = entry.lpDisplayName = text;
    entry.ServiceStatus.dwCurrentState = SERVICE_RUNNING;
    text = std::copy(name.begin(), name.end(), text);
    *text++ = L'\0';
  }
  return TRUE;
}

VOID WINAPI WatchedSleep(DWORD pause) {
  activeRecord.pauses.push_back(pause);
  realSleep(activeOptions.shortenPauses ? 1 : pause);
}

ULONGLONG WINAPI WatchedTickCount() {
  ++activeRecord.clockReads;
  if (activeOptions.clockStepMs == 0) return realTickCount();
  fakeClock += activeOptions.clockStepMs;
  return fakeClock;
}

LPVOID WINAPI WatchedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  if (++heapAllocCalls == activeOptions.failHeapAllocNumber) return nullptr;
  LPVOID block = realHeapAlloc(heap, flags, size);
  if (block != nullptr) {
    ++activeRecord.heapAllocations;
    activeRecord.liveBlocks.insert(block);
  }
  return block;
}

BOOL WINAPI WatchedHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
  if (activeRecord.liveBlocks.erase(block) != 0) ++activeRecord.heapReleases;
  return realHeapFree(heap, flags, block);
}

}  // namespace

template <typename Fn>
void Scope::Watch(const char* dllName, const char* functionName, Fn watcher, Fn* real) {
  swaps_.emplace_back(dllName, functionName, reinterpret_cast<void*>(watcher));
  *real = swaps_.back().Original<Fn>();
  if (!swaps_.back().Active()) ADD_FAILURE() << "the test program does not import " << functionName;
}

Scope::Scope(const Options& options) {
  activeOptions = options;
  activeRecord = Record();
  heapAllocCalls = 0;
  statusAnswers = 0;
  fakeClock = 1000000;
  Watch("advapi32.dll", "OpenSCManagerA", &WatchedOpenManager, &realOpenManager);
  Watch("advapi32.dll", "OpenServiceA", &WatchedOpenService, &realOpenService);
  Watch("advapi32.dll", "CloseServiceHandle", &WatchedClose, &realClose);
  Watch("advapi32.dll", "QueryServiceStatus", &WatchedQuery, &realQuery);
  Watch("advapi32.dll", "ControlService", &WatchedControl, &realControl);
  Watch("advapi32.dll", "DeleteService", &WatchedDelete, &realDelete);
  Watch("advapi32.dll", "EnumDependentServicesW", &WatchedEnumDependents, &realEnumDependents);
  Watch("kernel32.dll", "Sleep", &WatchedSleep, &realSleep);
  Watch("kernel32.dll", "GetTickCount64", &WatchedTickCount, &realTickCount);
  Watch("kernel32.dll", "HeapAlloc", &WatchedHeapAlloc, &realHeapAlloc);
  Watch("kernel32.dll", "HeapFree", &WatchedHeapFree, &realHeapFree);
}

const Record& Scope::record() const { return activeRecord; }

}  // namespace platformcalls
