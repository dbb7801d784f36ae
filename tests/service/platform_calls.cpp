#include "service/platform_calls.h"

#include <cstring>

namespace platformcalls {

namespace {

Options activeOptions;
Record activeRecord;

using OpenManagerFn = SC_HANDLE(WINAPI*)(LPCSTR, LPCSTR, DWORD);
using OpenServiceFn = SC_HANDLE(WINAPI*)(SC_HANDLE, LPCSTR, DWORD);
using CloseFn = BOOL(WINAPI*)(SC_HANDLE);
using QueryFn = BOOL(WINAPI*)(SC_HANDLE, LPSERVICE_STATUS);
using ControlFn = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPSERVICE_STATUS);
using DeleteFn = BOOL(WINAPI*)(SC_HANDLE);
using SleepFn = VOID(WINAPI*)(DWORD);
using HeapAllocFn = LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T);
using HeapFreeFn = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID);

OpenManagerFn realOpenManager = nullptr;
OpenServiceFn realOpenService = nullptr;
CloseFn realClose = nullptr;
QueryFn realQuery = nullptr;
ControlFn realControl = nullptr;
DeleteFn realDelete = nullptr;
SleepFn realSleep = nullptr;
HeapAllocFn realHeapAlloc = nullptr;
HeapFreeFn realHeapFree = nullptr;
int heapAllocCalls = 0;

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
  return realControl(service, control, status);
}

BOOL WINAPI WatchedDelete(SC_HANDLE service) {
  ++activeRecord.deletions;
  return realDelete(service);
}

VOID WINAPI WatchedSleep(DWORD pause) {
  activeRecord.pauses.push_back(pause);
  realSleep(activeOptions.shortenPauses ? 1 : pause);
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

// The import table slot through which this program calls the named function.
void** FindImportSlot(const char* functionName) {
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    if (library->OriginalFirstThunk == 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), functionName) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

// Puts replacement into the slot and answers what was there (null when not found).
void* Redirect(const char* functionName, void* replacement) {
  void** slot = FindImportSlot(functionName);
  if (slot == nullptr) return nullptr;
  DWORD oldProtection = 0;
  VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtection);
  void* previous = *slot;
  *slot = replacement;
  VirtualProtect(slot, sizeof(void*), oldProtection, &oldProtection);
  return previous;
}

template <typename Fn>
bool Install(const char* functionName, Fn replacement, Fn* real) {
  *real = reinterpret_cast<Fn>(Redirect(functionName, reinterpret_cast<void*>(replacement)));
  return *real != nullptr;
}

template <typename Fn>
void Uninstall(const char* functionName, Fn* real) {
  if (*real != nullptr) Redirect(functionName, reinterpret_cast<void*>(*real));
  *real = nullptr;
}

}  // namespace

Scope::Scope(const Options& options) {
  activeOptions = options;
  activeRecord = Record();
  heapAllocCalls = 0;
  installed_ = Install("OpenSCManagerA", &WatchedOpenManager, &realOpenManager);
  installed_ = Install("OpenServiceA", &WatchedOpenService, &realOpenService) && installed_;
  installed_ = Install("CloseServiceHandle", &WatchedClose, &realClose) && installed_;
  installed_ = Install("QueryServiceStatus", &WatchedQuery, &realQuery) && installed_;
  installed_ = Install("ControlService", &WatchedControl, &realControl) && installed_;
  installed_ = Install("DeleteService", &WatchedDelete, &realDelete) && installed_;
  installed_ = Install("Sleep", &WatchedSleep, &realSleep) && installed_;
  installed_ = Install("HeapAlloc", &WatchedHeapAlloc, &realHeapAlloc) && installed_;
  installed_ = Install("HeapFree", &WatchedHeapFree, &realHeapFree) && installed_;
}

Scope::~Scope() {
  Uninstall("OpenSCManagerA", &realOpenManager);
  Uninstall("OpenServiceA", &realOpenService);
  Uninstall("CloseServiceHandle", &realClose);
  Uninstall("QueryServiceStatus", &realQuery);
  Uninstall("ControlService", &realControl);
  Uninstall("DeleteService", &realDelete);
  Uninstall("Sleep", &realSleep);
  Uninstall("HeapAlloc", &realHeapAlloc);
  Uninstall("HeapFree", &realHeapFree);
}

const Record& Scope::record() const { return activeRecord; }

}  // namespace platformcalls
