// Elevated launch against Wine's real ShellExecuteExW (which starts the program for the
// "RunAs" verb without any prompt), the launch record as the shell receives it, and the
// system's error text. Every launch runs on a thread of its own with a deadline, so a hidden
// dialog or an endless wait fails the test instead of hanging the suite.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "support/test_process.h"
#include "sysops/elevated_launch.h"
#include "sysops/launch_spy.h"

using testsupport::BuildDirectory;
using testsupport::FileExists;
using testsupport::ReadWholeFile;

namespace {

using namespace launchspy;

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
  HANDLE process = nullptr;
  call->result = LaunchElevated(call->wideFile.c_str(), call->file.c_str(), call->nullParameters ? nullptr : call->parameters.c_str(),
                                call->wait ? &process : nullptr, call->showCommand, call->errorText);
  if (process != nullptr) WaitForSingleObject(process, INFINITE);
  if (process != nullptr) CloseHandle(process);
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
