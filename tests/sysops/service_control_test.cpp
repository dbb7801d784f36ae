// Stopping and removing real services in Wine's service manager, with the suite's test
// service program in each of its stop modes. The calls the code makes are watched through
// platform_calls.h, which also stands in for the access checks Wine does not make.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sysops/platform_calls.h"
#include "support/test_process.h"
#include "support/test_service.h"
#include "sysops/service_control.h"
#include "util/bounded_text.h"

using platformcalls::Options;
using platformcalls::Scope;
using testsupport::ScopedTestService;

namespace {

const DWORD kStopAndQuery = SERVICE_STOP | SERVICE_QUERY_STATUS;

// Registers the test service in the given mode and, when asked, starts it.
::testing::AssertionResult Prepare(const std::string& name, const std::string& mode, bool start) {
  std::string why;
  const std::string program = testsupport::TestServiceProgramPath();
  if (!testsupport::FileExists(program)) {
    return ::testing::AssertionFailure() << "no test service program at " << program;
  }
  if (!testsupport::RegisterTestService(name, testsupport::TestServiceCommand(program, mode), &why)) {
    return ::testing::AssertionFailure() << "registering " << name << ": " << why;
  }
  if (start && !testsupport::StartTestService(name, 10000, &why)) {
    return ::testing::AssertionFailure() << "starting " << name << ": " << why;
  }
  return ::testing::AssertionSuccess();
}

// Waits a little for the service to reach the state; answers the last state seen.
DWORD WaitForState(const std::string& name, DWORD wanted) {
  DWORD state = 0;
  for (int i = 0; i < 250 && (state = testsupport::TestServiceState(name)) != wanted; ++i) Sleep(20);
  return state;
}

Options ShortPauses() {
  Options options;
  options.shortenPauses = true;
  return options;
}

// A filled failure buffer, so that a test sees whether the operation emptied it.
struct ErrorBuffer {
  char text[kErrorTextCapacity];
  ErrorBuffer() {
    std::memset(text, 'x', sizeof(text) - 1);
    text[sizeof(text) - 1] = '\0';
  }
};

// The checks every call must pass, whatever it answered: nothing left open or allocated.
void ExpectNothingLeft(const platformcalls::Record& record) {
  EXPECT_EQ(0u, record.openHandles.size()) << "service handles left open";
  EXPECT_EQ(0, record.badCloses) << "closes of handles that were not open";
  EXPECT_EQ(0u, record.liveBlocks.size()) << "status records not freed";
}

// RemoveService under the options: marked, no error, the number of controls of its inner
// stop, one deletion, nothing left.
void ExpectMarked(const std::string& name, const Options& options, size_t controls) {
  Scope calls(options);
  DWORD removalError = 1;
  EXPECT_TRUE(RemoveService(name.c_str(), &removalError));
  EXPECT_EQ(0u, removalError);
  EXPECT_EQ(controls, calls.record().controls.size());
  EXPECT_EQ(1, calls.record().deletions);
  ExpectNothingLeft(calls.record());
}

// OpenServiceA's error for the name once the manager has let go of it (or after about 5 s).
DWORD ErrorOnceGone(const std::string& name) {
  DWORD error = 0;
  for (int i = 0; i < 250 && (error = testsupport::OpenServiceError(name)) == 0; ++i) Sleep(20);
  return error;
}

}  // namespace

// How the stop goes for each answer a service can give. Refusals that may change (1052)
// are asked again at least every tenth of a second for about ten seconds, as the guide
// tells administrators; every other refusal ends the stop at once, read afresh after each
// control. Once the service takes the control, the wait follows its checkpoint, within its
// wait hint (at least ten seconds) and about thirty seconds in all. Rows with a clock step
// run on a clock of their own that moves on at every read; the others on the real clock,
// with 1 ms pauses where they are marked short. Wine lists no dependents, so the swap
// lists two.
struct StopCase {
  const char* title;
  const char* mode;      // the test service's mode
  bool start;            // started before the stop
  size_t refusals;       // controls refused by the swap, with refusalError
  DWORD refusalError;
  bool shortPauses;
  DWORD clockStepMs;
  int pendingAnswers;    // status answers made "stop pending" by the swap
  bool checkPointAdvances;
  const char* text;      // errorText after the stop, "%s" standing for the service's name
  size_t controls;       // 0: one after every pause
  DWORD minPausedMs;     // the pauses' requested total
  DWORD maxPausedMs;
  int queries;           // QueryServiceStatus calls; -1: not counted
};

const char kDependentsText[] =
    "Unable to stop %s: services that depend on it are running (TessivaneDependentA, TessivaneDependentB), and "
    "this program stops none of them.  Error #1051";
const char kStillStopping[] = "Unable to stop %s: it was still stopping when the wait ended (state 3).";

const StopCase kStopCases[] = {
    {"takes the control at once", "accept", true, 0, 0, false, 0, 0, false, "", 1, 0, 10000, -1},
    {"four refusals, then takes it", "accept", true, 4, ERROR_INVALID_SERVICE_CONTROL, false, 0, 0, false, "", 5,
     400, 10400, -1},
    {"never takes it: about ten seconds of retries", "never", true, 0, 0, true, 0, 0, false,
     "Unable to stop %s.  Error #1052", 0, 9500, 10500, 1},
    {"never takes it, the clock running fast", "never", true, 0, 0, true, 1000, 0, false,
     "Unable to stop %s.  Error #1052", 0, 900, 1200, 1},
    {"takes it but stays stop pending", "stuck", true, 0, 0, true, 1000, 0, false, kStillStopping, 1, 900, 1200, -1},
    {"not running: 1062 is final", "accept", false, 0, 0, true, 0, 0, false, "Unable to stop %s.  Error #1062", 1, 0,
     0, 1},
    {"1052, then stopped by itself: the new answer counts", "accept", false, 1, ERROR_INVALID_SERVICE_CONTROL, true,
     0, 0, false, "Unable to stop %s.  Error #1062", 2, 100, 100, 1},
    {"dependents running: 1051 is final and names them", "accept", true, 1000, ERROR_DEPENDENT_SERVICES_RUNNING,
     true, 0, 0, false, kDependentsText, 1, 0, 0, 1},
    {"access denied is final", "accept", true, 1000, ERROR_ACCESS_DENIED, true, 0, 0, false,
     "Unable to stop %s.  Error #5", 1, 0, 0, 1},
    {"checkpoint advancing past ten seconds", "accept", true, 0, 0, true, 100, 150, true, "", 1, 14000, 15500, -1},
    {"checkpoint standing still", "accept", true, 0, 0, true, 100, 150, false, kStillStopping, 1, 9500, 10500, -1},
    {"checkpoint advancing for ever: about thirty seconds", "accept", true, 0, 0, true, 100, 1000, true,
     kStillStopping, 1, 29000, 30500, -1},
};

std::string WithName(std::string text, const std::string& name) {
  for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + name.size())) {
    text.replace(at, 2, name);
  }
  return text;
}

TEST(StopService, EachAnswerEndsOrKeepsTheStopAsItCan) {
  for (const StopCase& row : kStopCases) {
    SCOPED_TRACE(row.title);
    const std::string name = std::string("TessivaneSvcTestStop.") + row.mode + (row.start ? ".r" : ".s");
    ScopedTestService service(name);
    ASSERT_TRUE(Prepare(service.name(), row.mode, row.start));
    Options options;
    options.refuseControls = row.refusals;
    options.refusalError = row.refusalError;
    options.shortenPauses = row.shortPauses;
    options.clockStepMs = row.clockStepMs;
    options.pendingAnswers = row.pendingAnswers;
    options.checkPointAdvances = row.checkPointAdvances;
    options.dependents = {L"TessivaneDependentA", L"TessivaneDependentB"};
    ErrorBuffer error;
    bool stopped = false;
    {
      Scope calls(options);
      stopped = StopService(service.name().c_str(), error.text);
      const platformcalls::Record& record = calls.record();
      DWORD paused = 0;
      for (DWORD pause : record.pauses) {
        EXPECT_LE(pause, 100u) << "a pause longer than a tenth of a second";
        paused += pause;
      }
      EXPECT_GE(paused, row.minPausedMs);
      EXPECT_LE(paused, row.maxPausedMs);
      EXPECT_EQ(row.controls != 0 ? row.controls : record.pauses.size() + 1, record.controls.size());
      if (row.queries >= 0) {
        EXPECT_EQ(row.queries, record.queries) << "the state is read once, not between retries";
      }
      ASSERT_LE(1u, record.serviceAccess.size());
      EXPECT_EQ(kStopAndQuery, record.serviceAccess[0]);
      EXPECT_EQ(std::vector<DWORD>{SC_MANAGER_CONNECT}, record.managerAccess);
      for (const std::string& opened : record.serviceNames) EXPECT_EQ(service.name(), opened) << "another service";
      ExpectNothingLeft(record);
    }
    EXPECT_EQ(row.text[0] == '\0', stopped);
    EXPECT_EQ(WithName(row.text, service.name()), std::string(error.text));
  }
}

// A service reports "stopped" while its process still runs, and holds the program's file:
// the stop answers only once that process has ended.
TEST(StopService, AnswersOnlyOnceTheStoppedServicesProcessHasEnded) {
  ScopedTestService service("TessivaneSvcTestLinger");
  ASSERT_TRUE(Prepare(service.name(), "linger 3000", true));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE handle = manager != nullptr ? OpenServiceA(manager, service.name().c_str(), SERVICE_QUERY_STATUS) : nullptr;
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  ASSERT_TRUE(handle != nullptr && QueryServiceStatusEx(handle, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                                        sizeof(status), &needed));
  CloseServiceHandle(handle);
  CloseServiceHandle(manager);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId);
  ASSERT_NE(nullptr, process) << "error " << GetLastError();
  ErrorBuffer error;
  const bool stopped = StopService(service.name().c_str(), error.text);
  const DWORD processState = WaitForSingleObject(process, 0);
  CloseHandle(process);
  EXPECT_TRUE(stopped) << error.text;
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), processState) << "the service's process still runs";
}

TEST(StopService, MissingServiceReportsOpenServiceErrorAndLeavesNothingOpen) {
  const std::string name = "TessivaneSvcTestMissing";
  testsupport::RemoveTestService(name, 5000);
  ErrorBuffer error;
  Scope calls;
  EXPECT_FALSE(StopService(name.c_str(), error.text));
  EXPECT_EQ("Unable to stop " + name + " (OpenService Error).  Error #1060", std::string(error.text));
  EXPECT_EQ(1u, calls.record().managerAccess.size());
  EXPECT_EQ(0u, calls.record().controls.size());
  EXPECT_EQ(0, calls.record().heapAllocations);
  ExpectNothingLeft(calls.record());
}

TEST(OpenServiceForControl, FailureLeavesNoHandleForCallerToClose) {
  const std::string name = "TessivaneSvcTestMissing";
  testsupport::RemoveTestService(name, 5000);
  ErrorBuffer error;
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  SERVICE_STATUS* status = nullptr;
  Scope calls;
  EXPECT_FALSE(OpenServiceForControl(name.c_str(), error.text, kStopAndQuery, &manager, &service, &status));
  EXPECT_EQ(nullptr, manager) << "a closed manager handle left in the slot invites a second close";
  EXPECT_EQ(nullptr, service);
  EXPECT_EQ(nullptr, status);
  ExpectNothingLeft(calls.record());
}

TEST(OpenServiceForControl, BlankNameNeverContactsServiceManager) {
  // The slots hold markers: a call that reached OpenSCManagerA or OpenServiceA would have
  // overwritten them, and the watched import table counts every call that was made.
  SC_HANDLE const managerMarker = reinterpret_cast<SC_HANDLE>(0x1111);
  SC_HANDLE const serviceMarker = reinterpret_cast<SC_HANDLE>(0x2222);
  SERVICE_STATUS* const statusMarker = reinterpret_cast<SERVICE_STATUS*>(0x3333);
  const char* const blanks[] = {"", "   ", " \t\r\n ", "\x01\x1f\xa0\xff", nullptr};
  for (const char* name : blanks) {
    SCOPED_TRACE(name == nullptr ? "null name" : "name of " + std::to_string(std::strlen(name)) + " blanks");
    ErrorBuffer openError;
    ErrorBuffer stopError;
    SC_HANDLE manager = managerMarker;
    SC_HANDLE service = serviceMarker;
    SERVICE_STATUS* status = statusMarker;
    Scope calls;
    EXPECT_FALSE(OpenServiceForControl(name, openError.text, kStopAndQuery, &manager, &service, &status));
    EXPECT_FALSE(StopService(name, stopError.text));
    DWORD removalError = 0;
    EXPECT_FALSE(RemoveService(name, &removalError));
    EXPECT_NE(0u, removalError);
    EXPECT_STREQ("The service name cannot be blank.", openError.text);
    EXPECT_STREQ("The service name cannot be blank.", stopError.text);
    EXPECT_EQ(managerMarker, manager);
    EXPECT_EQ(serviceMarker, service);
    EXPECT_EQ(statusMarker, status);
    // Only RemoveService's own open of the manager, none from the two stop attempts.
    EXPECT_EQ(1u, calls.record().managerAccess.size());
    EXPECT_EQ(name != nullptr ? 1u : 0u, calls.record().serviceAccess.size());
    ExpectNothingLeft(calls.record());
  }
}

TEST(StopService, OpensTrimmedNameWhileRemoveServiceOpensNameAsGiven) {
  ScopedTestService service("TessivaneSvcTestTrim");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  const std::string padded = "  \t" + service.name() + " \r\n";
  ErrorBuffer error;
  {
    Scope calls;
    EXPECT_TRUE(StopService(padded.c_str(), error.text)) << error.text;
    EXPECT_STREQ("", error.text);
    ASSERT_EQ(1u, calls.record().serviceNames.size());
    EXPECT_EQ(service.name(), calls.record().serviceNames[0]);
  }
  ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(service.name(), SERVICE_STOPPED));
  {
    Scope calls(ShortPauses());
    DWORD removalError = 0;
    EXPECT_FALSE(RemoveService(padded.c_str(), &removalError)) << "no service carries the blanks in its name";
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), removalError);
    ASSERT_EQ(2u, calls.record().serviceNames.size());
    EXPECT_EQ(service.name(), calls.record().serviceNames[0]) << "the inner stop";
    EXPECT_EQ(padded, calls.record().serviceNames[1]) << "the deletion";
    EXPECT_EQ(static_cast<DWORD>(SC_MANAGER_CONNECT), calls.record().managerAccess.back());
    EXPECT_EQ(static_cast<DWORD>(DELETE), calls.record().serviceAccess.back());
    EXPECT_EQ(0, calls.record().deletions);
    ExpectNothingLeft(calls.record());
  }
  EXPECT_EQ(0u, testsupport::OpenServiceError(service.name())) << "the service must still exist";

  const std::string missing = " TessivaneSvcTestMissing ";
  testsupport::RemoveTestService("TessivaneSvcTestMissing", 5000);
  EXPECT_FALSE(StopService(missing.c_str(), error.text));
  EXPECT_EQ("Unable to stop TessivaneSvcTestMissing (OpenService Error).  Error #1060",
            std::string(error.text));
}

TEST(StopService, LongNameIsCutTo254CharactersWhileRemoveServicePassesAll) {
  std::string name300;
  for (int i = 0; i < 300; ++i) name300 += static_cast<char>('a' + i % 26);
  const std::string name254 = name300.substr(0, 254);
  const DWORD platformError = testsupport::OpenServiceError(name254);
  ErrorBuffer error;
  Scope calls(ShortPauses());
  EXPECT_FALSE(StopService(name300.c_str(), error.text));
  EXPECT_EQ("Unable to stop " + name254 + " (OpenService Error).  Error #" + std::to_string(platformError),
            std::string(error.text));
  DWORD removalError = 0;
  EXPECT_FALSE(RemoveService(name300.c_str(), &removalError));
  ASSERT_EQ(3u, calls.record().serviceNames.size());
  EXPECT_EQ(254u, calls.record().serviceNames[0].size());
  EXPECT_EQ(254u, calls.record().serviceNames[1].size()) << "the inner stop";
  EXPECT_EQ(name300, calls.record().serviceNames[2]) << "the deletion";
  ExpectNothingLeft(calls.record());
}

// Wine's service manager grants every access that is asked for, so a refusal is produced
// by letting the watched import fail with the error Windows gives.
TEST(StopService, RefusedAccessGivesTheAccessDeniedTexts) {
  const std::string name = "TessivaneSvcTestDenied";
  {
    Options options;
    options.failServiceWithError = ERROR_ACCESS_DENIED;
    Scope calls(options);
    ErrorBuffer error;
    EXPECT_FALSE(StopService((" " + name).c_str(), error.text));
    EXPECT_EQ("Unable to stop " + name + " (OpenService Error).  Error: Access is denied (5).",
              std::string(error.text));
    ExpectNothingLeft(calls.record());
  }
  {
    Options options;
    options.failManagerWithError = ERROR_ACCESS_DENIED;
    Scope calls(options);
    ErrorBuffer error;
    EXPECT_FALSE(StopService(name.c_str(), error.text));
    EXPECT_STREQ("Unable to access the services database.", error.text);
    EXPECT_EQ(0u, calls.record().serviceAccess.size());
    ExpectNothingLeft(calls.record());
  }
}

// Self-protecting products grant Administrators DELETE but not everything. Wine grants
// every access, so the swap refuses any open that asks for more than the removal needs.
TEST(RemoveService, StopsAndMarksTheServiceWithNoMoreThanConnectAndDeleteRights) {
  ScopedTestService service("TessivaneSvcTestLeastAccess");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  Options options;
  options.failManagerWithError = ERROR_ACCESS_DENIED;
  options.managerAccessAllowed = SC_MANAGER_CONNECT;
  options.failServiceWithError = ERROR_ACCESS_DENIED;
  options.serviceAccessAllowed = kStopAndQuery | DELETE;
  ExpectMarked(service.name(), options, 1);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), ErrorOnceGone(service.name()));
}

// A final refusal ends the inner stop as it ended the first (no second wait), and the
// service is marked all the same; one marked before answers 1072, which the caller tells.
TEST(RemoveService, MarksAfterAFinalRefusalWithoutWaitingAndPassesOn1072) {
  ScopedTestService service("TessivaneSvcTestFinalRefusal");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  Options options = ShortPauses();
  options.refuseControls = 1000;
  options.refusalError = ERROR_DEPENDENT_SERVICES_RUNNING;
  options.failDeleteWithError = ERROR_SERVICE_MARKED_FOR_DELETE;
  DWORD removalError = 0;
  {
    Scope calls(options);
    EXPECT_FALSE(RemoveService(service.name().c_str(), &removalError));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE), removalError);
    EXPECT_EQ(1u, calls.record().controls.size());
    EXPECT_EQ(0u, calls.record().pauses.size());
    ExpectNothingLeft(calls.record());
  }
  options.failDeleteWithError = 0;
  ExpectMarked(service.name(), options, 1);
}

TEST(RemoveService, DeletesStoppedServiceAfterOneRefusedInnerStopControl) {
  ScopedTestService service("TessivaneSvcTestRemove");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  ErrorBuffer error;
  ASSERT_TRUE(StopService(service.name().c_str(), error.text)) << error.text;
  ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(service.name(), SERVICE_STOPPED));
  // A stopped service's 1062 is final: one control, no pause.
  ExpectMarked(service.name(), ShortPauses(), 1);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), ErrorOnceGone(service.name()));
}

TEST(StopService, FailsCleanlyWhenStatusRecordsCannotBeAllocated) {
  ScopedTestService service("TessivaneSvcTestNoMemory");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  {
    // The second record is the stop answer: without it no control can be sent.
    Options options;
    options.failHeapAllocNumber = 2;
    Scope calls(options);
    ErrorBuffer error;
    EXPECT_FALSE(StopService(service.name().c_str(), error.text));
    EXPECT_EQ("Unable to stop " + service.name() + ".  Error #8", std::string(error.text));
    EXPECT_EQ(0u, calls.record().controls.size());
    ExpectNothingLeft(calls.record());
  }
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), testsupport::TestServiceState(service.name()));
  {
    // The first is the queried status, which the stop does not depend on.
    Options options;
    options.failHeapAllocNumber = 1;
    Scope calls(options);
    ErrorBuffer error;
    EXPECT_TRUE(StopService(service.name().c_str(), error.text)) << error.text;
    EXPECT_STREQ("", error.text);
    ExpectNothingLeft(calls.record());
  }
}

TEST(QueryServiceState, ReplacesRecordInSlotAndLeavesSlotAloneForNullHandle) {
  ScopedTestService service("TessivaneSvcTestQuery");
  ASSERT_TRUE(Prepare(service.name(), "accept", false));
  SERVICE_STATUS* const marker = reinterpret_cast<SERVICE_STATUS*>(0x4444);
  SERVICE_STATUS* slot = marker;
  EXPECT_FALSE(QueryServiceState(nullptr, &slot));
  EXPECT_EQ(marker, slot);

  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE handle = manager != nullptr ? OpenServiceA(manager, service.name().c_str(), SERVICE_QUERY_STATUS) : nullptr;
  ASSERT_NE(nullptr, handle) << "error " << GetLastError();
  {
    Scope calls;
    slot = static_cast<SERVICE_STATUS*>(HeapAlloc(GetProcessHeap(), 0, sizeof(SERVICE_STATUS)));
    EXPECT_TRUE(QueryServiceState(handle, &slot));
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(1, calls.record().heapReleases) << "the earlier record must be freed";
    EXPECT_EQ(2, calls.record().heapAllocations);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), slot->dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), slot->dwServiceType);
    HeapFree(GetProcessHeap(), 0, slot);
    ExpectNothingLeft(calls.record());
  }
  CloseServiceHandle(handle);
  CloseServiceHandle(manager);
}
