// Elevated launch against Wine's real ShellExecuteExW (which starts the program for the
// "RunAs" verb without any prompt), the launch record as the shell receives it, how the
// program's copy is placed and held until it is started, and the system's error text. Every launch
// runs on a thread of its own with a deadline, so a hidden dialog or an endless wait fails
// the test instead of hanging the suite.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <objbase.h>
#include <shellapi.h>
#include <winternl.h>

#include <cstring>
#include <memory>
#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/elevated_launch.h"
#include "sysops/program_copy.h"

using testsupport::BuildDirectory;
using testsupport::FileExists;
using testsupport::ReadWholeFile;

namespace {

const char kUntouched[] = "untouched by a successful launch";

struct LaunchCall {
  std::string file;
  std::wstring wideFile;
  std::string parameters;
  bool nullParameters = false;
  bool wait = false;
  int showCommand = SW_SHOWNORMAL;
  char errorText[2048] = {};
  bool result = false;
};

DWORD WINAPI RunLaunch(LPVOID argument) {
  LaunchCall* call = static_cast<LaunchCall*>(argument);
  call->result = LaunchElevated(call->wideFile.c_str(), call->file.c_str(), call->nullParameters ? nullptr : call->parameters.c_str(),
                                call->wait, call->showCommand, call->errorText);
  return 0;
}

std::unique_ptr<LaunchCall> NewCall(const std::string& file, const std::string& parameters, bool wait) {
  std::unique_ptr<LaunchCall> call(new LaunchCall);
  call->file = file;
  call->wideFile.assign(file.begin(), file.end());
  call->parameters = parameters;
  call->wait = wait;
  return call;
}

// False when LaunchElevated has not returned within timeoutMs; the stuck thread then
// keeps the call record, which is deliberately never freed.
bool LaunchWithin(std::unique_ptr<LaunchCall>& call, DWORD timeoutMs) {
  std::strcpy(call->errorText, kUntouched);
  HANDLE thread = CreateThread(nullptr, 0, &RunLaunch, call.get(), 0, nullptr);
  if (thread == nullptr) return false;
  const bool returned = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  if (!returned) call.release();
  return returned;
}

bool WaitForFile(const std::string& path, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    if (FileExists(path)) return true;
    Sleep(100);
  }
  return FileExists(path);
}

// Each test's echo program writes to a file of the test's own.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BuildDirectory().empty()) << "TESSIVANE_BUILD_DIR is not set";
    echo_ = BuildDirectory() + "\\tests\\echo_arguments.exe";
    output_ = work_ / "echo.txt";
    ASSERT_TRUE(FileExists(echo_)) << echo_;
    SetEnvironmentVariableA("TESSIVANE_ECHO_OUT", output_.c_str());
    SetEnvironmentVariableA("TESSIVANE_ECHO_DELAY_MS", "0");
  }
  void TearDown() override {
    SetEnvironmentVariableA("TESSIVANE_ECHO_OUT", nullptr);
    SetEnvironmentVariableA("TESSIVANE_ECHO_DELAY_MS", nullptr);
    SetEnvironmentVariableA("TESSIVANE_ECHO_HOLD", nullptr);
  }
  void RemoveOutput() { DeleteFileA(output_.c_str()); }
  std::unique_ptr<LaunchCall> Call(const std::string& parameters, bool wait) { return NewCall(echo_, parameters, wait); }

  const testsupport::ScratchFolder work_{"launch_" + testsupport::CurrentTestName()};
  std::string echo_;
  std::string output_;
};

TEST_F(LaunchTest, RunAsStartsProgramWithExactParametersAndWaitReturnsAfterItEnded) {
  SetEnvironmentVariableA("TESSIVANE_ECHO_DELAY_MS", "1500");
  const std::string parameters = "alpha \"two words\" silent zapfiles";
  std::unique_ptr<LaunchCall> call = Call(parameters, true);

  ASSERT_TRUE(LaunchWithin(call, 60000)) << "LaunchElevated did not return within 60 s";
  EXPECT_TRUE(call->result) << call->errorText;
  EXPECT_STREQ(kUntouched, call->errorText);
  EXPECT_TRUE(FileExists(output_)) << "the program had not finished when the call returned";
  EXPECT_EQ(parameters, ReadWholeFile(output_));
}

TEST_F(LaunchTest, WithoutWaitReturnsWhileProgramStillRuns) {
  // The program can only end after the call has returned: it waits for the release file.
  const std::string release = work_ / "release";
  SetEnvironmentVariableA("TESSIVANE_ECHO_HOLD", release.c_str());
  std::unique_ptr<LaunchCall> call = Call("silent", false);

  const bool returned = LaunchWithin(call, 60000);
  testsupport::WriteWholeFile(release, "go");
  ASSERT_TRUE(returned) << "LaunchElevated did not return within 60 s: it waited for the program";
  EXPECT_TRUE(call->result) << call->errorText;
  EXPECT_TRUE(WaitForFile(output_, 60000)) << "the program never ran";
  EXPECT_EQ("silent", ReadWholeFile(output_));
}

TEST_F(LaunchTest, EmptyOrNullParametersStartProgramWithoutArguments) {
  for (bool nullParameters : {false, true}) {
    RemoveOutput();
    std::unique_ptr<LaunchCall> call = Call("", true);
    call->nullParameters = nullParameters;
    ASSERT_TRUE(LaunchWithin(call, 60000)) << "no return, null parameters " << nullParameters;
    EXPECT_TRUE(call->result) << call->errorText;
    EXPECT_TRUE(FileExists(output_)) << "program did not run, null parameters " << nullParameters;
    EXPECT_EQ("", ReadWholeFile(output_)) << "null parameters " << nullParameters;
  }
}

// Parameters reach the shell whole up to the 4095 characters the wide buffer holds.
TEST_F(LaunchTest, ParametersLongerThanAPathArriveWhole) {
  std::string parameters;
  while (parameters.size() < 4095) parameters += "word" + std::to_string(parameters.size()) + " ";
  parameters.resize(4095, 'x');
  parameters.back() = 'z';
  std::unique_ptr<LaunchCall> call = Call(parameters, true);

  ASSERT_TRUE(LaunchWithin(call, 60000)) << "LaunchElevated did not return within 60 s";
  EXPECT_TRUE(call->result) << call->errorText;
  const std::string got = ReadWholeFile(output_);
  EXPECT_EQ(parameters.size(), got.size());
  EXPECT_EQ(parameters, got);
}

TEST_F(LaunchTest, MissingProgramFailsPromptlyWithSentenceAndNoDialog) {
  const std::string missing = BuildDirectory() + "\\tests\\no_such_program.exe";
  std::unique_ptr<LaunchCall> call = NewCall(missing, "silent", false);

  ASSERT_TRUE(LaunchWithin(call, 20000)) << "no return within 20 s: the shell is showing a dialog";
  EXPECT_FALSE(call->result);
  SetLastError(ERROR_FILE_NOT_FOUND);
  char notFound[2048];
  GetLastErrorText(notFound);
  EXPECT_EQ("Unable to run the program: " + missing + " Error Message: " + notFound, call->errorText);
}

// What the product handed to ShellExecuteExW, and what the fake shell answers.
struct SeenLaunch {
  int calls = 0;
  SHELLEXECUTEINFOW record = {};
  std::wstring verb, file, parameters, directory;
  // What another process trying to rewrite or delete the file met while the shell was
  // starting it.
  DWORD writeError = 0;
  DWORD deleteError = 0;
};
SeenLaunch g_launch;
DWORD g_launchError = 0;
// The COM calls around the launch, and the launch, in order; and what CoInitializeEx answers.
std::string g_comAndLaunch;
HRESULT g_comAnswer = S_OK;

HRESULT WINAPI FakeCoInitializeEx(LPVOID, DWORD model) {
  g_comAndLaunch += "init(" + std::to_string(model) + ") ";
  return g_comAnswer;
}

// Shutting COM down may change the last error: the failure text must be read before.
void WINAPI FakeCoUninitialize() {
  g_comAndLaunch += "uninit ";
  SetLastError(ERROR_SUCCESS);
}

BOOL WINAPI SpyShellExecute(SHELLEXECUTEINFOW* record) {
  g_comAndLaunch += "launch ";
  ++g_launch.calls;
  g_launch.record = *record;
  g_launch.verb = record->lpVerb ? record->lpVerb : L"<null>";
  g_launch.file = record->lpFile ? record->lpFile : L"<null>";
  g_launch.parameters = record->lpParameters ? record->lpParameters : L"<null>";
  g_launch.directory = record->lpDirectory ? record->lpDirectory : L"<null>";
  HANDLE writer = CreateFileW(g_launch.file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  g_launch.writeError = writer == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  HANDLE deleter = CreateFileW(g_launch.file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  g_launch.deleteError = deleter == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (deleter != INVALID_HANDLE_VALUE) CloseHandle(deleter);
  record->hProcess = nullptr;
  if (g_launchError == 0) return TRUE;
  SetLastError(g_launchError);
  return FALSE;
}

std::string Narrow(const std::wstring& wide) { return std::string(wide.begin(), wide.end()); }

class LaunchRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_launch = SeenLaunch();
    g_launchError = 0;
    g_comAndLaunch.clear();
    g_comAnswer = S_OK;
    ASSERT_TRUE(swap_.Active()) << "the test program does not import ShellExecuteExW";
    ASSERT_TRUE(init_.Active() && uninit_.Active()) << "the test program does not import CoInitializeEx and CoUninitialize";
  }
  testsupport::ImportSwap swap_{"shell32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&SpyShellExecute)};
  testsupport::ImportSwap init_{"ole32.dll", "CoInitializeEx", reinterpret_cast<void*>(&FakeCoInitializeEx)};
  testsupport::ImportSwap uninit_{"ole32.dll", "CoUninitialize", reinterpret_cast<void*>(&FakeCoUninitialize)};
  // The shell wants apartment-threaded COM without OLE1 DDE on the launching thread.
  const std::string apartment_ = "init(" + std::to_string(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) + ") ";
};

TEST_F(LaunchRecordTest, AsksForRunAsWithoutAnyShellDialogAndSurvivesMissingProcessHandle) {
  std::unique_ptr<LaunchCall> call = NewCall("C:\\Temp\\VuzavoRURIvezarov.exe", "silent zapfiles", true);
  call->showCommand = SW_SHOWMINNOACTIVE;
  g_comAnswer = RPC_E_CHANGED_MODE;  // the thread's COM is someone else's: not ours to undo

  ASSERT_TRUE(LaunchWithin(call, 10000)) << "waited although the shell gave no process handle";
  EXPECT_TRUE(call->result) << call->errorText;
  EXPECT_EQ(1, g_launch.calls);
  EXPECT_EQ(sizeof(SHELLEXECUTEINFOW), g_launch.record.cbSize);
  EXPECT_EQ(static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOZONECHECKS),
            g_launch.record.fMask)
      << std::hex << "mask 0x" << g_launch.record.fMask;
  EXPECT_EQ(nullptr, g_launch.record.hwnd);
  EXPECT_EQ("RunAs", Narrow(g_launch.verb));
  EXPECT_EQ(call->file, Narrow(g_launch.file));
  EXPECT_EQ("silent zapfiles", Narrow(g_launch.parameters));
  EXPECT_EQ("", Narrow(g_launch.directory));
  EXPECT_EQ(SW_SHOWMINNOACTIVE, g_launch.record.nShow);
  EXPECT_EQ(apartment_ + "launch ", g_comAndLaunch);
}

TEST_F(LaunchRecordTest, DeclinedElevationGivesOneLineWithTheCancelledText) {
  g_launchError = ERROR_CANCELLED;
  std::unique_ptr<LaunchCall> call = NewCall("C:\\Users\\Me\\AppData\\Local\\Temp\\VuzavoRURIvezarov.exe", "", false);

  ASSERT_TRUE(LaunchWithin(call, 10000));
  EXPECT_FALSE(call->result);
  const std::string head = "Unable to run the program: " + call->file + " Error Message: ";
  const std::string text = call->errorText;
  ASSERT_EQ(head, text.substr(0, head.size())) << "got: " << text;
  const std::string systemText = text.substr(head.size());
  EXPECT_NE(std::string::npos, systemText.find("cancel")) << "got: " << systemText;
  EXPECT_EQ(std::string::npos, text.find_first_of("\r\n")) << "got: " << text;
  EXPECT_EQ(apartment_ + "launch uninit ", g_comAndLaunch);
}

TEST_F(LaunchRecordTest, OverlongFileOrParametersAreRefusedWithTextBeforeTheShell) {
  std::unique_ptr<LaunchCall> call = NewCall("C:\\" + std::string(257, 'f'), "", false);
  ASSERT_TRUE(LaunchWithin(call, 10000));
  EXPECT_FALSE(call->result);
  EXPECT_STREQ("Unable to run the program: its path is missing or has 260 or more characters", call->errorText);

  call = NewCall("C:\\" + std::string(255, 'f'), std::string(4096, 'p'), false);
  ASSERT_TRUE(LaunchWithin(call, 10000));
  EXPECT_FALSE(call->result);
  EXPECT_EQ("Unable to run the program: " + call->file +
                " Error Message: its parameters have 4096 or more characters",
            call->errorText);
  EXPECT_EQ(0, g_launch.calls) << "the shell was asked to start a cut path or command line";
}

// What the product handed to NtCreateFile when it created a file: the security descriptor,
// as SDDL (Wine keeps neither the owner nor the DACL of a file, so they cannot be read back).
// With g_takeNameFirst another user makes the same name just before, as anyone may in a
// temporary directory that every user can write to.
typedef NTSTATUS(NTAPI* NtCreateFileFunction)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                              PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
NtCreateFileFunction g_createFile;
std::string g_createdSecurity;
bool g_takeNameFirst = false;
std::string g_copyPath;

NTSTATUS NTAPI SpyCreateFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK status,
                             PLARGE_INTEGER size, ULONG fileAttributes, ULONG share, ULONG disposition, ULONG options,
                             PVOID extended, ULONG extendedLength) {
  char* sddl = nullptr;
  if (disposition == FILE_CREATE && attributes->SecurityDescriptor != nullptr &&
      ConvertSecurityDescriptorToStringSecurityDescriptorA(attributes->SecurityDescriptor, SDDL_REVISION_1,
                                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                           &sddl, nullptr)) {
    g_createdSecurity = sddl;
    LocalFree(sddl);
  }
  if (disposition == FILE_CREATE && g_takeNameFirst) testsupport::WriteWholeFile(g_copyPath, "someone else's");
  return g_createFile(handle, access, attributes, status, size, fileAttributes, share, disposition, options, extended,
                      extendedLength);
}

// Windows shows a file link as a reparse point on a handle opened as itself; Wine follows
// the link even then. With g_showLinks a file of the copy's name shows what Windows would.
decltype(&GetFileInformationByHandle) g_fileInformation;
bool g_showLinks = false;

BOOL WINAPI LinkShowingInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
  const BOOL answered = g_fileInformation(file, information);
  wchar_t path[MAX_PATH] = {};
  GetFinalPathNameByHandleW(file, path, MAX_PATH, FILE_NAME_NORMALIZED);
  if (answered && g_showLinks && wcsstr(path, L"sysops_tests.exe") != nullptr) {
    information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return answered;
}

// The temporary directory is a scratch folder, and this test program stands in for the
// program that copies itself there: the copy is "sysops_tests.exe".
class PlaceCopyTest : public LaunchRecordTest {
 protected:
  void SetUp() override {
    LaunchRecordTest::SetUp();
    g_createdSecurity.clear();
    g_takeNameFirst = false;
    g_showLinks = false;
    g_copyPath = copy_;
    ASSERT_TRUE(createSwap_.Active() && informationSwap_.Active())
        << "the test program does not import NtCreateFile and GetFileInformationByHandle";
    g_createFile = createSwap_.Original<NtCreateFileFunction>();
    g_fileInformation = informationSwap_.Original<decltype(&GetFileInformationByHandle)>();
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    own_ = own;
    ownBytes_ = ReadWholeFile(Narrow(own_));
    ASSERT_TRUE(testsupport::WriteWholeFile(copy_, "left there before")) << copy_;
  }
  // What became of the copy: "not copied", "not started" or "started".
  std::string Place() {
    const std::wstring temp = std::wstring(folder_.path().begin(), folder_.path().end()) + L"\\";
    PlacedCopy placed = {};
    std::string outcome = "not copied";
    if (PlaceCopy(own_.c_str(), temp.c_str(), &placed, copyText_, errorText_)) {
      outcome = StartPlacedCopy(&placed, "silent", errorText_) ? "started" : "not started";
    }
    ReleasePlacedCopy(&placed);
    return outcome;
  }

  testsupport::ImportSwap createSwap_{"ntdll.dll", "NtCreateFile", reinterpret_cast<void*>(&SpyCreateFile)};
  testsupport::ImportSwap informationSwap_{"kernel32.dll", "GetFileInformationByHandle",
                                           reinterpret_cast<void*>(&LinkShowingInformation)};
  testsupport::ScratchFolder folder_{"place_copy"};
  std::wstring own_;
  std::string ownBytes_, copy_ = folder_ / "sysops_tests.exe";
  char copyText_[260] = {};
  char errorText_[2048] = {};
};

TEST_F(PlaceCopyTest, OldFileGoesAndTheCopyIsMadeNewForAdministratorsAndStartedHeldWithoutZoneCheck) {
  ASSERT_TRUE(SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ("started", Place()) << errorText_;
  EXPECT_EQ(copy_, copyText_);
  EXPECT_EQ("O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", g_createdSecurity) << "rights given at creation";
  EXPECT_EQ(1, g_launch.calls);
  EXPECT_EQ(copy_, Narrow(g_launch.file));
  EXPECT_NE(0ul, g_launch.record.fMask & SEE_MASK_NOZONECHECKS) << std::hex << "mask 0x" << g_launch.record.fMask;
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), g_launch.writeError) << "the copy could be rewritten while started";
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), g_launch.deleteError) << "the copy could be replaced while started";
  const std::string placed = ReadWholeFile(copy_);
  EXPECT_TRUE(placed == ownBytes_) << "the copy has " << placed.size() << " bytes, the program " << ownBytes_.size();
  EXPECT_TRUE(DeleteFileA(copy_.c_str())) << "the copy was left held: " << GetLastError();
}

TEST_F(PlaceCopyTest, FileLinkThatShowsAsReparsePointIsLeftAndNothingIsCopiedOrStarted) {
  g_showLinks = true;
  EXPECT_EQ("not copied", Place());
  EXPECT_EQ("The file already at " + copy_ + " is a link, left as it is so that what it points to is not deleted. "
                "Nothing was copied.",
            errorText_);
  EXPECT_EQ("left there before", ReadWholeFile(copy_));
  EXPECT_EQ("", g_createdSecurity) << "a copy was created";
  EXPECT_EQ(0, g_launch.calls);
}

TEST_F(PlaceCopyTest, NameTakenBetweenTheDeletionAndTheCreationMeansNoCopyAndNoStart) {
  g_takeNameFirst = true;
  EXPECT_EQ("not copied", Place());
  char taken[2048];
  SetLastError(ERROR_FILE_EXISTS);
  GetLastErrorText(taken);
  EXPECT_EQ("The copy could not be created at " + copy_ + ": " + taken + " Nothing was copied.", errorText_);
  EXPECT_EQ("someone else's", ReadWholeFile(copy_));
  EXPECT_EQ(0, g_launch.calls);
}

// text gets one byte more than GetLastErrorText may use, to see that it stays in bounds.
std::string ErrorTextFor(DWORD code, char* marker) {
  char text[2049];
  std::memset(text, 'Z', sizeof(text));
  SetLastError(code);
  GetLastErrorText(text);
  *marker = text[2048];
  return text;
}

TEST(GetLastErrorText, CodeWithMessageGivesPrintableSystemTextWithoutLineBreak) {
  char marker = 0;
  const std::string text = ErrorTextFor(ERROR_FILE_NOT_FOUND, &marker);
  EXPECT_EQ('Z', marker);
  EXPECT_FALSE(text.empty());
  EXPECT_NE("2", text) << "the system's text was not used";
  for (unsigned char c : text) EXPECT_TRUE(c >= 32 && c <= 126) << "character " << int(c) << " in: " << text;
  EXPECT_NE(std::string::npos, text.find("not found")) << "got: " << text;
}

TEST(GetLastErrorText, CodeWithoutMessageGivesItsSignedDecimalNumber) {
  char marker = 0;
  EXPECT_EQ("536875572", ErrorTextFor(0x20001234u, &marker));
  EXPECT_EQ("-536866252", ErrorTextFor(0xE0001234u, &marker));
  EXPECT_EQ('Z', marker);
}

}  // namespace
