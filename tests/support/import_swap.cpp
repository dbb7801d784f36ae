#include "support/import_swap.h"

#include <windows.h>

#include <cstring>

extern "C" {
extern const IMAGE_DELAYLOAD_DESCRIPTOR shell32Descriptor __asm__("__DELAY_IMPORT_DESCRIPTOR_libshell32_delay_a");
extern const IMAGE_DELAYLOAD_DESCRIPTOR ole32Descriptor __asm__("__DELAY_IMPORT_DESCRIPTOR_libole32_delay_a");
FARPROC WINAPI __delayLoadHelper2(const IMAGE_DELAYLOAD_DESCRIPTOR* descriptor, FARPROC* slot);
}

namespace testsupport {

namespace {

void WriteSlot(void** slot, void* value) {
  DWORD previous = 0;
  VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &previous);
  *slot = value;
  VirtualProtect(slot, sizeof(void*), previous, &previous);
}

void** FindImportSlot(const char* dllName, const char* functionName) {
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (const auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       dll->Name != 0; ++dll) {
    if (_stricmp(reinterpret_cast<const char*>(base + dll->Name), dllName) != 0) continue;
    const DWORD namesAt = dll->OriginalFirstThunk != 0 ? dll->OriginalFirstThunk : dll->FirstThunk;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + namesAt);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), functionName) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

// shell32 and ole32 are delay-loaded (cmake/delay_load.cmake). GNU ld leaves the image's
// delay-import directory empty, so their descriptors are found by the names dlltool gives
// them. A slot still holds the resolver's thunk until the first call; it is resolved before
// the swap, or a replacement passing a call on would let the resolver overwrite the swap.
void** FindDelayImportSlot(const char* dllName, const char* functionName) {
  const IMAGE_DELAYLOAD_DESCRIPTOR* descriptors[] = {&shell32Descriptor, &ole32Descriptor};
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  for (const IMAGE_DELAYLOAD_DESCRIPTOR* dll : descriptors) {
    if (_stricmp(reinterpret_cast<const char*>(base + dll->DllNameRVA), dllName) != 0) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->ImportNameTableRVA);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->ImportAddressTableRVA);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), functionName) != 0) continue;
      auto** slot = reinterpret_cast<FARPROC*>(&slots->u1.Function);
      if (__delayLoadHelper2(dll, slot) == nullptr) return nullptr;
      return reinterpret_cast<void**>(slot);
    }
  }
  return nullptr;
}

}  // namespace

ImportSwap::ImportSwap(const char* dllName, const char* functionName, void* replacement) {
  slot_ = FindImportSlot(dllName, functionName);
  if (slot_ == nullptr) slot_ = FindDelayImportSlot(dllName, functionName);
  if (slot_ == nullptr) return;
  original_ = *slot_;
  WriteSlot(slot_, replacement);
}

ImportSwap::~ImportSwap() {
  if (slot_ != nullptr) WriteSlot(slot_, original_);
}

}  // namespace testsupport
