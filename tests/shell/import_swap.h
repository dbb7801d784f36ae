// Swaps one entry of the test program's import table, so a test can see exactly what the
// product code hands to a shell function, or make the shell answer something Wine never
// would (a result with the top bit set, a declined elevation). The product code is linked
// into the test program and calls through that table, so it needs no hook of its own.
#pragma once

class ImportSwap {
 public:
  ImportSwap(const char* dllName, const char* functionName, void* replacement);
  ~ImportSwap();
  ImportSwap(const ImportSwap&) = delete;
  ImportSwap& operator=(const ImportSwap&) = delete;

  // False when the test program does not import the function (the swap did nothing).
  bool Active() const { return slot_ != nullptr; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};
