#include "sysops/platform_calls.h"

#include <gtest/gtest.h>

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
decltype(&Sleep) realSleep = nullptr;
decltype(&HeapAlloc) realHeapAlloc = nullptr;
decltype(&HeapFree) realHeapFree = nullptr;
decltype(&GetTickCount64) realTickCount = nullptr;
int heapAllocCalls = 0;
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
  if (activeOptions.failServiceWithError != 0) {
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

BOOL WINAPI WatchedQuery(SC_HANDLE service, LPSERVICE_STATUS status) {
  ++activeRecord.queries;
  return realQuery(service, status);
}

BOOL WINAPI WatchedControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  activeRecord.controls.push_back(control);
  if (activeRecord.controls.size() <= activeOptions.refuseControls) {
    activeRecord.controlErrors.push_back(ERROR_INVALID_SERVICE_CONTROL);
    SetLastError(ERROR_INVALID_SERVICE_CONTROL);
    return FALSE;
  }
  const BOOL answer = realControl(service, control, status);
  const DWORD error = GetLastError();
  activeRecord.controlErrors.push_back(answer ? 0 : error);
  SetLastError(error);
  return answer;
}

BOOL WINAPI WatchedDelete(SC_HANDLE service) {
  ++activeRecord.deletions;
  return realDelete(service);
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
  fakeClock = 1000000;
  Watch("advapi32.dll", "OpenSCManagerA", &WatchedOpenManager, &realOpenManager);
  Watch("advapi32.dll", "OpenServiceA", &WatchedOpenService, &realOpenService);
  Watch("advapi32.dll", "CloseServiceHandle", &WatchedClose, &realClose);
  Watch("advapi32.dll", "QueryServiceStatus", &WatchedQuery, &realQuery);
  Watch("advapi32.dll", "ControlService", &WatchedControl, &realControl);
  Watch("advapi32.dll", "DeleteService", &WatchedDelete, &realDelete);
  Watch("kernel32.dll", "Sleep", &WatchedSleep, &realSleep);
  Watch("kernel32.dll", "GetTickCount64", &WatchedTickCount, &realTickCount);
  Watch("kernel32.dll", "HeapAlloc", &WatchedHeapAlloc, &realHeapAlloc);
  Watch("kernel32.dll", "HeapFree", &WatchedHeapFree, &realHeapFree);
}

const Record& Scope::record() const { return activeRecord; }

}  // namespace platformcalls
