// Delete against Wine's real shell, plus what exactly the product hands to SHFileOperationA
// (seen by swapping the test program's import of it).
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "driver/stages.h"
#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/shell_files.h"

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

namespace {

class ShellFilesTest : public ::testing::Test {
 protected:
  std::string Make(const std::string& relative) {
    CreateDirectoryA((work_ / relative).c_str(), nullptr);
    return work_ / relative;
  }
  const ScratchFolder work_{"shellwork_" + testsupport::CurrentTestName()};
};

// Splits "Error: <n><tail>" into n; false when the text has another shape.
bool ParseFailure(const std::string& text, const std::string& tail, long* number) {
  const std::string head = "Error: ";
  if (text.compare(0, head.size(), head) != 0) return false;
  char* end = nullptr;
  *number = std::strtol(text.c_str() + head.size(), &end, 10);
  return end != text.c_str() + head.size() && std::string(end) == tail;
}

const char kDeleteTail[] = " Returned from SHFileOperation";

TEST_F(ShellFilesTest, DeleteRemovesWholeTreeAndMissingPathFailsWithShellNumber) {
  const std::string home = Make("home");
  Make("home\\a");
  Make("home\\a\\b");
  ASSERT_TRUE(WriteWholeFile(home + "\\one.log", "1"));
  ASSERT_TRUE(WriteWholeFile(home + "\\a\\two.log", "2"));
  ASSERT_TRUE(WriteWholeFile(home + "\\a\\b\\three.log", "3"));
  char errorText[2048];
  std::strcpy(errorText, "stale");

  EXPECT_TRUE(DeleteWithShell(home.c_str(), errorText, true, true)) << errorText;
  EXPECT_STREQ("", errorText);
  EXPECT_FALSE(FileExists(home)) << home << " is still there";

  long number = 0;
  EXPECT_FALSE(DeleteWithShell(home.c_str(), errorText, false, true));
  EXPECT_TRUE(ParseFailure(errorText, kDeleteTail, &number)) << "got: " << errorText;
  EXPECT_NE(0, number) << "got: " << errorText;
}

// 259 characters is the longest path Windows allows; it must reach the shell whole.
TEST_F(ShellFilesTest, PathOf259CharactersIsDeletedWhole) {
  const std::string deep = Make(std::string(120, 'd'));
  const std::string name(259 - deep.size() - 1, 'f');
  const std::string source = deep + "\\" + name;
  ASSERT_EQ(259u, source.size());
  ASSERT_TRUE(WriteWholeFile(source, "long")) << source;
  char errorText[2048] = "";

  EXPECT_TRUE(DeleteWithShell(source.c_str(), errorText, true, true)) << errorText;
  EXPECT_FALSE(FileExists(source));
}

// What the product handed to SHFileOperationA on its last call; the path lists are copied
// out, with whether each was closed right after its one path by a second NUL.
struct SeenOperation {
  int calls = 0;
  SHFILEOPSTRUCTA record = {};
  std::string from, to;
  bool fromClosed = false, toClosed = false;
};
SeenOperation g_seen;
int g_shellAnswer = 0;
bool g_shellAborts = false;

std::string OnePath(const char* list, bool* closed) {
  const size_t length = std::strlen(list);
  *closed = list[length + 1] == '\0';
  return std::string(list, length);
}

int WINAPI SpyFileOperation(LPSHFILEOPSTRUCTA operation) {
  ++g_seen.calls;
  g_seen.record = *operation;
  g_seen.from = OnePath(operation->pFrom, &g_seen.fromClosed);
  if (operation->pTo != nullptr) g_seen.to = OnePath(operation->pTo, &g_seen.toClosed);
  if (g_shellAborts) operation->fAnyOperationsAborted = TRUE;
  return g_shellAnswer;
}

class ShellRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen = SeenOperation();
    g_shellAnswer = 0;
    g_shellAborts = false;
    ASSERT_TRUE(swap_.Active()) << "the test program does not import SHFileOperationA";
  }
  testsupport::ImportSwap swap_{"shell32.dll", "SHFileOperationA", reinterpret_cast<void*>(&SpyFileOperation)};
};

TEST_F(ShellRecordTest, DeletePassesFixedFlagsNoOwnerAndOnePathList) {
  struct Case { bool silent; bool recursive; FILEOP_FLAGS flags; };
  const Case cases[] = {{false, true, 0x0610}, {true, true, 0x0614}, {false, false, 0x1610}, {true, false, 0x1614}};
  char errorText[2048] = "";
  for (const Case& c : cases) {
    g_seen = SeenOperation();
    EXPECT_TRUE(DeleteWithShell("C:\\home", errorText, c.silent, c.recursive));
    EXPECT_EQ(1, g_seen.calls);
    EXPECT_EQ(static_cast<UINT>(FO_DELETE), g_seen.record.wFunc);
    EXPECT_EQ(c.flags, g_seen.record.fFlags) << "delete, silent " << c.silent << " recursive " << c.recursive;
    EXPECT_EQ(nullptr, g_seen.record.hwnd);
    EXPECT_EQ("C:\\home", g_seen.from);
    EXPECT_TRUE(g_seen.fromClosed) << "path list not closed by a second NUL";
    EXPECT_EQ(nullptr, g_seen.record.pTo) << "delete handed a destination: " << g_seen.to;
    EXPECT_EQ(FALSE, g_seen.record.fAnyOperationsAborted);
    EXPECT_EQ(nullptr, g_seen.record.hNameMappings);
    EXPECT_EQ(nullptr, g_seen.record.lpszProgressTitle);
  }
}

TEST_F(ShellRecordTest, ResultWithTopBitSetIsPrintedAsNegativeNumber) {
  g_shellAnswer = static_cast<int>(0x80004005u);
  char errorText[2048] = "";
  EXPECT_FALSE(DeleteWithShell("C:\\home", errorText, true, true));
  EXPECT_STREQ("Error: -2147467259 Returned from SHFileOperation", errorText);
}

// The shell answers 0 for an operation that was cancelled or stopped part way; only its
// aborted flag tells, and a deletion that did not finish must never count as done.
TEST_F(ShellRecordTest, AbortedOperationAnsweredZeroIsAFailure) {
  g_shellAborts = true;
  char errorText[2048] = "";
  EXPECT_FALSE(DeleteWithShell("C:\\home", errorText, true, true));
  EXPECT_NE(nullptr, std::strstr(errorText, "cancelled or partly aborted")) << errorText;
}

TEST_F(ShellRecordTest, PathOf260OrMoreCharactersIsRefusedNeverCut) {
  const std::string tooLong = "C:\\" + std::string(257, 'p');
  ASSERT_EQ(260u, tooLong.size());
  const std::string muchTooLong = "C:\\" + std::string(1000, 'p');
  char errorText[2048] = "";
  const std::string refusal = "Error: path of 260 or more characters not handed to SHFileOperation";

  EXPECT_FALSE(DeleteWithShell(tooLong.c_str(), errorText, true, true));
  EXPECT_EQ(refusal, errorText);
  EXPECT_FALSE(DeleteWithShell(muchTooLong.c_str(), errorText, true, true));
  EXPECT_EQ(refusal, errorText);
  EXPECT_EQ(0, g_seen.calls) << "the shell was called with a path it could only get cut";
}

HRESULT WINAPI NoFolderLocation(HWND, int, HANDLE, DWORD, PIDLIST_ABSOLUTE* location) {
  *location = nullptr;
  return E_FAIL;
}
BOOL WINAPI LongFolderPath(PCIDLIST_ABSOLUTE, LPWSTR path) {
  std::wcscpy(path, (L"C:\\" + std::wstring(240, L'x')).c_str());
  return TRUE;
}

// A failed lookup would leave the suffix alone, a path from the current drive's root, and a
// long all-users folder a cut path: neither may reach the shell's deletion.
TEST_F(ShellRecordTest, CleanupHandsNothingToTheShellWhenTheHomePathIsNotKnown) {
  const std::pair<const char*, void*> lookups[] = {{"SHGetFolderLocation", reinterpret_cast<void*>(&NoFolderLocation)},
                                                   {"SHGetPathFromIDListW", reinterpret_cast<void*>(&LongFolderPath)}};
  for (const auto& lookup : lookups) {
    testsupport::ImportSwap swap("shell32.dll", lookup.first, lookup.second);
    ASSERT_TRUE(swap.Active()) << lookup.first;
    DriverBuffers buffers = {};
    FileCleanup(&buffers);
    EXPECT_EQ(0, g_seen.calls) << lookup.first << " failing: the shell was handed " << g_seen.from;
    EXPECT_STREQ("", buffers.homePath) << lookup.first;
    EXPECT_EQ(0, std::strncmp("The home path is not known", buffers.errorText, 26)) << buffers.errorText;
  }
}

}  // namespace
