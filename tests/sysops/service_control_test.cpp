// Stopping and removing real services in Wine's service manager, with the suite's test
// service program in each of its stop modes. The calls the code makes are watched through
// platform_calls.h, which also stands in for the access checks Wine does not make.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

}  // namespace

TEST(StopService, StopsRunningServiceWithOneControlAndAnswersOnceItHasStopped) {
  ScopedTestService service("TessivaneSvcTestAcceptAtOnce");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  ErrorBuffer error;
  bool stopped = false;
  {
    Scope calls;
    stopped = StopService(service.name().c_str(), error.text);
    const platformcalls::Record& record = calls.record();
    EXPECT_EQ(1u, record.controls.size());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_CONTROL_STOP), record.controls.empty() ? 0 : record.controls[0]);
    ASSERT_EQ(1u, record.managerAccess.size());
    EXPECT_EQ(static_cast<DWORD>(SC_MANAGER_CONNECT), record.managerAccess[0]);
    ASSERT_EQ(1u, record.serviceAccess.size());
    EXPECT_EQ(kStopAndQuery, record.serviceAccess[0]);
    EXPECT_EQ(2, record.heapAllocations) << "a queried status and a stop answer";
    ExpectNothingLeft(record);
  }
  EXPECT_TRUE(stopped) << error.text;
  EXPECT_STREQ("", error.text);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), testsupport::TestServiceState(service.name()));
}

TEST(StopService, StopsAtFirstAcceptedRetryAfterFourRefusals) {
  // The first four stop controls are refused: four pauses of the schedule, then the fifth
  // control stops the service.
  ScopedTestService service("TessivaneSvcTestLate");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  ErrorBuffer error;
  Options options;
  options.refuseControls = 4;
  Scope calls(options);
  const bool stopped = StopService(service.name().c_str(), error.text);
  EXPECT_TRUE(stopped) << error.text;
  EXPECT_STREQ("", error.text);
  EXPECT_EQ(5u, calls.record().controls.size()) << "no control after the accepted one";
  EXPECT_LE(4u, calls.record().pauses.size()) << "a refused control was sent again without a pause";
  ExpectNothingLeft(calls.record());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(service.name(), SERVICE_STOPPED));
}

// 1052 can still change: as the guide tells administrators, the service is asked again at
// least every tenth of a second for about ten seconds. Counted with pauses that last 1 ms.
TEST(StopService, ServiceThatNeverAcceptsIsAskedAgainEveryTenthOfASecondForAboutTenSeconds) {
  ScopedTestService service("TessivaneSvcTestNeverAccepts");
  ASSERT_TRUE(Prepare(service.name(), "never", true));
  ErrorBuffer error;
  Scope calls(ShortPauses());
  EXPECT_FALSE(StopService(service.name().c_str(), error.text));
  EXPECT_EQ("Unable to stop " + service.name() + ".  Error #1052", std::string(error.text));
  DWORD paused = 0;
  for (DWORD pause : calls.record().pauses) {
    EXPECT_LE(pause, 100u) << "a pause longer than a tenth of a second";
    paused += pause;
  }
  EXPECT_GE(paused, 9500u) << "gave up too soon";
  EXPECT_LE(paused, 10500u) << "asked for longer than about ten seconds";
  EXPECT_EQ(calls.record().pauses.size() + 1, calls.record().controls.size()) << "a pause not followed by a control";
  EXPECT_EQ(1, calls.record().queries) << "the service's state is read once, never between retries";
  ExpectNothingLeft(calls.record());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), testsupport::TestServiceState(service.name()));
}

// A control handler that hangs holds each control for the service manager's timeout; the
// stop's own clock, read between pauses, ends the retries, or the wait of a service that
// took the control but stays "stop pending" (state 3), after about 11 s. Here that clock
// moves on by a second at each read.
TEST(StopService, DeadlineEndsRetriesOrWaitForStoppedLongBeforeTheScheduleIsThrough) {
  for (const char* mode : {"never", "stuck"}) {
    const bool takesControl = std::string(mode) == "stuck";
    ScopedTestService service(std::string("TessivaneSvcTestDeadline.") + mode);
    ASSERT_TRUE(Prepare(service.name(), mode, true));
    ErrorBuffer error;
    Options options = ShortPauses();
    options.clockStepMs = 1000;
    Scope calls(options);
    EXPECT_FALSE(StopService(service.name().c_str(), error.text));
    EXPECT_EQ("Unable to stop " + service.name() +
                  (takesControl ? ": it was still stopping when the wait ended (state 3)." : ".  Error #1052"),
              std::string(error.text));
    EXPECT_GE(calls.record().pauses.size(), 9u) << mode;
    EXPECT_LE(calls.record().pauses.size(), 12u) << mode;
    EXPECT_EQ(takesControl ? 1 : calls.record().pauses.size() + 1, calls.record().controls.size()) << mode;
    ExpectNothingLeft(calls.record());
  }
}

// 1062 cannot change by waiting: one control, no pause, and the manager's own number.
TEST(StopService, StoppedServiceEndsAfterOneControlWithTheManagersError) {
  ScopedTestService service("TessivaneSvcTestNotStarted");
  ASSERT_TRUE(Prepare(service.name(), "accept", false));
  ErrorBuffer error;
  Scope calls(ShortPauses());
  const ULONGLONG started = GetTickCount64();
  EXPECT_FALSE(StopService(service.name().c_str(), error.text));
  EXPECT_LT(GetTickCount64() - started, 60000u) << "hang deadline only";
  EXPECT_EQ("Unable to stop " + service.name() + ".  Error #1062", std::string(error.text));
  EXPECT_EQ(1u, calls.record().controls.size());
  EXPECT_EQ(0u, calls.record().pauses.size());
  EXPECT_EQ(1, calls.record().queries) << "the service's state is read once, never between retries";
  ExpectNothingLeft(calls.record());
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
    EXPECT_FALSE(RemoveService(name));
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
    EXPECT_FALSE(RemoveService(padded.c_str())) << "no service carries the blanks in its name";
    ASSERT_EQ(2u, calls.record().serviceNames.size());
    EXPECT_EQ(service.name(), calls.record().serviceNames[0]) << "the inner stop";
    EXPECT_EQ(padded, calls.record().serviceNames[1]) << "the deletion";
    EXPECT_EQ(static_cast<DWORD>(SC_MANAGER_ALL_ACCESS), calls.record().managerAccess.back());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ALL_ACCESS), calls.record().serviceAccess.back());
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
  EXPECT_FALSE(RemoveService(name300.c_str()));
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

TEST(RemoveService, WithoutFullManagerAccessAnswersFalseAfterInnerStop) {
  ScopedTestService service("TessivaneSvcTestNoFullAccess");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  Options options;
  options.failManagerWithError = ERROR_ACCESS_DENIED;
  options.managerAccessAllowed = SC_MANAGER_CONNECT;
  {
    Scope calls(options);
    EXPECT_FALSE(RemoveService(service.name().c_str()));
    EXPECT_EQ(1u, calls.record().controls.size()) << "the inner stop ran and succeeded";
    EXPECT_EQ(2u, calls.record().managerAccess.size());
    EXPECT_EQ(0, calls.record().deletions);
    ExpectNothingLeft(calls.record());
  }
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(service.name(), SERVICE_STOPPED));
  EXPECT_EQ(0u, testsupport::OpenServiceError(service.name())) << "the service must still exist";
}

TEST(RemoveService, DeletesStoppedServiceAfterOneRefusedInnerStopControl) {
  ScopedTestService service("TessivaneSvcTestRemove");
  ASSERT_TRUE(Prepare(service.name(), "accept", true));
  ErrorBuffer error;
  ASSERT_TRUE(StopService(service.name().c_str(), error.text)) << error.text;
  ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), WaitForState(service.name(), SERVICE_STOPPED));
  {
    Scope calls(ShortPauses());
    EXPECT_TRUE(RemoveService(service.name().c_str()));
    EXPECT_EQ(1u, calls.record().controls.size()) << "a stopped service's 1062 is final";
    EXPECT_EQ(0u, calls.record().pauses.size());
    EXPECT_EQ(1, calls.record().deletions);
    ExpectNothingLeft(calls.record());
  }
  DWORD error1060 = 0;
  for (int i = 0; i < 250 && (error1060 = testsupport::OpenServiceError(service.name())) == 0; ++i) Sleep(20);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), error1060);
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
