// Swaps one entry of the test program's import table (or delay-import table, for the
// delay-loaded shell32 and ole32) for as long as the object lives, so a test can see exactly
// what the product code hands to a platform function, or make the platform answer something
// Wine never would (a refused access, a declined elevation). The product code is linked into
// the test program and calls through that table, so it needs no hook of its own. Test-only.
#pragma once

namespace testsupport {

class ImportSwap {
 public:
  ImportSwap(const char* dllName, const char* functionName, void* replacement);
  ~ImportSwap();
  ImportSwap(const ImportSwap&) = delete;
  ImportSwap& operator=(const ImportSwap&) = delete;

  // False when the test program does not import the function (the swap did nothing).
  bool Active() const { return slot_ != nullptr; }

  // The function the slot held before, for a replacement that passes calls on.
  template <typename Fn>
  Fn Original() const { return reinterpret_cast<Fn>(original_); }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace testsupport
