// Elevated launch against Wine's real ShellExecuteExW (which starts the program for the
// "RunAs" verb without any prompt), the launch record as the shell receives it, the checks
// on the program's copy before it is started, and the system's error text. Every launch
// runs on a thread of its own with a deadline, so a hidden dialog or an endless wait fails
// the test instead of hanging the suite.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <objbase.h>
#include <shellapi.h>

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
  std::string parameters;
  bool nullParameters = false;
  bool wait = false;
  int showCommand = SW_SHOWNORMAL;
  char errorText[2048] = {};
  bool result = false;
};

DWORD WINAPI RunLaunch(LPVOID argument) {
  LaunchCall* call = static_cast<LaunchCall*>(argument);
  call->result = LaunchElevated(call->file.c_str(), call->nullParameters ? nullptr : call->parameters.c_str(),
                                call->wait, call->showCommand, call->errorText);
  return 0;
}

std::unique_ptr<LaunchCall> NewCall(const std::string& file, const std::string& parameters, bool wait) {
  std::unique_ptr<LaunchCall> call(new LaunchCall);
  call->file = file;
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
    echo_ = BuildDirectory() + "\\tests\\shell_echo_arguments.exe";
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
  const std::string missing = BuildDirectory() + "\\tests\\shell_no_such_program.exe";
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
  // What another process trying to rewrite the file met while the shell was starting it.
  DWORD writeError = 0;
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
  EXPECT_EQ(static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC), g_launch.record.fMask)
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

// What the product asked SetSecurityInfo to set, as SDDL: Wine keeps neither the owner nor
// the DACL of a file, so they cannot be read back. The fake answers g_securityError.
std::string g_securitySet;
DWORD g_securityError = 0;

DWORD WINAPI SpySetSecurityInfo(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION what, PSID owner, PSID, PACL dacl, PACL) {
  SECURITY_DESCRIPTOR asked;
  InitializeSecurityDescriptor(&asked, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&asked, owner, FALSE);
  SetSecurityDescriptorDacl(&asked, TRUE, dacl, FALSE);
  if (what & PROTECTED_DACL_SECURITY_INFORMATION) SetSecurityDescriptorControl(&asked, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  char* sddl = nullptr;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorA(&asked, SDDL_REVISION_1, what & 0xffff, &sddl, nullptr)) {
    g_securitySet = sddl;
    LocalFree(sddl);
  }
  return g_securityError;
}

// The copy of the program started from the temporary directory: this test program stands
// in for it, copied into a scratch folder.
class CheckedCopyTest : public LaunchRecordTest {
 protected:
  void SetUp() override {
    LaunchRecordTest::SetUp();
    g_securitySet.clear();
    g_securityError = 0;
    ASSERT_TRUE(securitySwap_.Active()) << "the test program does not import SetSecurityInfo";
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    own_ = own;
    ASSERT_TRUE(CopyFileA(own, copy_.c_str(), FALSE)) << GetLastError();
  }
  bool Launch() { return LaunchCheckedCopy(copy_.c_str(), own_.c_str(), "silent", errorText_); }
  std::string Refusal(const std::string& why) { return "Unable to run the program: " + copy_ + " Error Message: " + why; }

  testsupport::ImportSwap securitySwap_{"advapi32.dll", "SetSecurityInfo", reinterpret_cast<void*>(&SpySetSecurityInfo)};
  testsupport::ScratchFolder folder_{"checked_copy"};
  std::string own_, copy_ = folder_ / "VuzavoRURIvezarov.exe";
  char errorText_[2048] = {};
};

TEST_F(CheckedCopyTest, StartedWhileHeldAgainstWritersOwnedByAdministratorsWithProtectedDacl) {
  ASSERT_TRUE(Launch()) << errorText_;
  EXPECT_EQ(1, g_launch.calls);
  EXPECT_EQ(copy_, Narrow(g_launch.file));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), g_launch.writeError) << "the copy could be rewritten while being started";
  EXPECT_EQ("O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", g_securitySet);
  EXPECT_TRUE(DeleteFileA(copy_.c_str())) << "the copy was left held: " << GetLastError();
}

TEST_F(CheckedCopyTest, NotStartedWhenItDiffersIsHeldByAWriterOrCannotBeProtected) {
  std::string bytes = ReadWholeFile(copy_);
  bytes[bytes.size() / 2] ^= 1;
  ASSERT_TRUE(testsupport::WriteWholeFile(copy_, bytes));
  EXPECT_FALSE(Launch());
  EXPECT_EQ(Refusal("The copy's bytes differ from this program's own; nothing was started."), errorText_);

  ASSERT_TRUE(CopyFileA(own_.c_str(), copy_.c_str(), FALSE));
  HANDLE writer = CreateFileA(copy_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_FALSE(Launch());
  CloseHandle(writer);
  EXPECT_EQ(Refusal("The copy could not be opened against other writers: Sharing violation. Nothing was started."),
            errorText_);

  g_securityError = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(Launch());
  EXPECT_EQ(Refusal("The copy's owner and access rights could not be set to Administrators only: Access denied. "
                    "Nothing was started."),
            errorText_);
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
