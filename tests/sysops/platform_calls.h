// Watches the service-manager, heap and Sleep calls that the code under test makes, by
// redirecting this test program's own import table entries for the length of a scope.
// It lets a test see what Wine cannot show from the outside (how many controls were sent,
// how long each pause was, whether every handle and record was given back), and make a
// call fail the way Windows would where Wine never fails it (access checks). Nothing in
// the product code knows about it.
#pragma once

#include <windows.h>

#include <list>
#include <set>
#include <string>
#include <vector>

#include "support/import_swap.h"

namespace platformcalls {

struct Options {
  // Non-zero: OpenSCManagerA fails with this last error instead of being called, unless
  // the access asked for lies within managerAccessAllowed.
  DWORD failManagerWithError = 0;
  DWORD managerAccessAllowed = 0;
  // Non-zero: OpenServiceA fails with this last error instead of being called, unless the
  // access asked for lies within serviceAccessAllowed.
  DWORD failServiceWithError = 0;
  DWORD serviceAccessAllowed = 0;
  // Non-zero: DeleteService fails with this last error instead of being called.
  DWORD failDeleteWithError = 0;
  // Non-zero: the n-th HeapAlloc call (1-based) answers null.
  int failHeapAllocNumber = 0;
  // Pauses are recorded but last 1 ms, so that a full retry schedule runs quickly.
  bool shortenPauses = false;
  // Non-zero: GetTickCount64 answers a clock of its own that moves on by this much at
  // every read, so a test can run past the stop's deadline without waiting for it.
  DWORD clockStepMs = 0;
  // Non-zero: the first n ControlService calls fail with refusalError without reaching the
  // service; ERROR_INVALID_SERVICE_CONTROL is what Wine's manager answers for a service that
  // does not take the stop control yet. The count, unlike a service's own delay, is the same
  // on any machine load, and the error may be one Wine never gives (1051, 5).
  size_t refuseControls = 0;
  DWORD refusalError = ERROR_INVALID_SERVICE_CONTROL;
  // Non-zero: the first n status answers (of QueryServiceStatus and of a ControlService
  // that succeeds) say "stop pending" with a wait hint of 2 s, their checkpoint advancing
  // at each answer or standing still; the real status follows.
  int pendingAnswers = 0;
  bool checkPointAdvances = false;
  // Not empty: EnumDependentServicesW lists these running services, which Wine never does.
  std::vector<std::wstring> dependents;
};

struct Record {
  std::vector<DWORD> managerAccess;       // one entry per OpenSCManagerA
  std::vector<DWORD> serviceAccess;       // one entry per OpenServiceA
  std::vector<std::string> serviceNames;  // the name given to each OpenServiceA
  std::vector<DWORD> controls;            // one entry per ControlService
  std::vector<DWORD> pauses;              // one entry per Sleep
  std::vector<DWORD> controlErrors;       // the last error after each ControlService
  int clockReads = 0;                     // GetTickCount64 calls
  int queries = 0;                        // QueryServiceStatus calls
  int deletions = 0;                      // DeleteService calls
  int heapAllocations = 0;                // successful HeapAlloc calls
  int heapReleases = 0;                   // HeapFree calls of blocks allocated in the scope
  int badCloses = 0;                      // closes of handles that were not open
  std::set<SC_HANDLE> openHandles;        // opened in the scope and not closed yet
  std::set<void*> liveBlocks;             // allocated in the scope and not freed yet
};

// Installs the redirections; they are removed when the scope ends. An import that cannot
// be found fails the running test, which would otherwise pass on an empty record.
class Scope {
 public:
  explicit Scope(const Options& options = Options());
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  const Record& record() const;

 private:
  template <typename Fn>
  void Watch(const char* dllName, const char* functionName, Fn watcher, Fn* real);
  std::list<testsupport::ImportSwap> swaps_;
};

}  // namespace platformcalls
