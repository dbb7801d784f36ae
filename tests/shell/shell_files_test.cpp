// The copy against Wine's real shell, plus what exactly the product hands to
// SHFileOperationA (seen by swapping the test program's import of it).
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

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

const char kCopyTail[] = " Rturned from SHFileOperation";

TEST_F(ShellFilesTest, CopyIntoDirectoryKeepsNameReplacesWithoutAskingAndEmptiesErrorText) {
  const std::string source = work_ / "payload.bin";
  const std::string target = Make("target") + "\\";
  ASSERT_TRUE(WriteWholeFile(source, "first"));
  char errorText[2048];
  std::strcpy(errorText, "left over from an earlier step");

  EXPECT_TRUE(CopyWithShell(source.c_str(), target.c_str(), errorText, false, true)) << errorText;
  EXPECT_STREQ("", errorText);
  EXPECT_EQ("first", ReadWholeFile(target + "payload.bin"));

  ASSERT_TRUE(WriteWholeFile(source, "second, longer"));
  std::strcpy(errorText, "left over again");
  EXPECT_TRUE(CopyWithShell(source.c_str(), target.c_str(), errorText, true, true)) << errorText;
  EXPECT_STREQ("", errorText);
  EXPECT_EQ("second, longer", ReadWholeFile(target + "payload.bin"));
}

TEST_F(ShellFilesTest, CopyOfDirectoryBringsNestedContentsAndCreatesMissingDestination) {
  const std::string tree = Make("tree");
  Make("tree\\inner");
  ASSERT_TRUE(WriteWholeFile(tree + "\\top.txt", "top"));
  ASSERT_TRUE(WriteWholeFile(tree + "\\inner\\deep.txt", "deep"));
  const std::string target = work_ / "not\\yet\\there\\";
  char errorText[2048] = "";

  EXPECT_TRUE(CopyWithShell(tree.c_str(), target.c_str(), errorText, true, true)) << errorText;
  EXPECT_EQ("top", ReadWholeFile(target + "tree\\top.txt"));
  EXPECT_EQ("deep", ReadWholeFile(target + "tree\\inner\\deep.txt"));
}

TEST_F(ShellFilesTest, CopyOfMissingSourceFailsWithTheCopyText) {
  const std::string source = work_ / "absent.bin";
  const std::string target = Make("target") + "\\";
  char errorText[2048] = "";
  long number = 0;

  EXPECT_FALSE(CopyWithShell(source.c_str(), target.c_str(), errorText, true, true));
  EXPECT_TRUE(ParseFailure(errorText, kCopyTail, &number)) << "got: " << errorText;
  EXPECT_NE(0, number) << "got: " << errorText;
  EXPECT_FALSE(FileExists(target + "absent.bin"));
}

// 259 characters is the longest path Windows allows; it must reach the shell whole.
TEST_F(ShellFilesTest, PathOf259CharactersIsCopiedWhole) {
  const std::string deep = Make(std::string(120, 'd'));
  const std::string name(259 - deep.size() - 1, 'f');
  const std::string source = deep + "\\" + name;
  ASSERT_EQ(259u, source.size());
  ASSERT_TRUE(WriteWholeFile(source, "long")) << source;
  const std::string target = Make("t") + "\\";
  char errorText[2048] = "";

  EXPECT_TRUE(CopyWithShell(source.c_str(), target.c_str(), errorText, true, true)) << errorText;
  EXPECT_EQ("long", ReadWholeFile(target + name));
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

TEST_F(ShellRecordTest, CopyPassesFixedFlagsNoOwnerAndOnePathLists) {
  struct Case { bool silent; bool recursive; FILEOP_FLAGS flags; };
  const Case cases[] = {{false, true, 0x0610}, {true, true, 0x0614}, {false, false, 0x1610}, {true, false, 0x1614}};
  char errorText[2048] = "";
  for (const Case& c : cases) {
    g_seen = SeenOperation();
    EXPECT_TRUE(CopyWithShell("C:\\from\\file.exe", "C:\\to\\", errorText, c.silent, c.recursive));
    EXPECT_EQ(1, g_seen.calls);
    EXPECT_EQ(static_cast<UINT>(FO_COPY), g_seen.record.wFunc);
    EXPECT_EQ(c.flags, g_seen.record.fFlags) << "copy, silent " << c.silent << " recursive " << c.recursive;
    EXPECT_EQ(nullptr, g_seen.record.hwnd);
    EXPECT_EQ("C:\\from\\file.exe", g_seen.from);
    EXPECT_TRUE(g_seen.fromClosed) << "source list not closed by a second NUL";
    EXPECT_EQ("C:\\to\\", g_seen.to);
    EXPECT_TRUE(g_seen.toClosed) << "destination list not closed by a second NUL";
    EXPECT_EQ(FALSE, g_seen.record.fAnyOperationsAborted);
    EXPECT_EQ(nullptr, g_seen.record.hNameMappings);
    EXPECT_EQ(nullptr, g_seen.record.lpszProgressTitle);
  }
}

TEST_F(ShellRecordTest, ResultWithTopBitSetIsPrintedAsNegativeNumber) {
  g_shellAnswer = static_cast<int>(0x80004005u);
  char errorText[2048] = "";
  EXPECT_FALSE(CopyWithShell("C:\\a", "C:\\b\\", errorText, true, true));
  EXPECT_STREQ("Error: -2147467259 Rturned from SHFileOperation", errorText);
}

// The shell answers 0 for an operation that was cancelled or stopped part way; only its
// aborted flag tells, and a copy that did not finish must never count as made.
TEST_F(ShellRecordTest, AbortedOperationAnsweredZeroIsAFailure) {
  g_shellAborts = true;
  char errorText[2048] = "";
  EXPECT_FALSE(CopyWithShell("C:\\a", "C:\\b\\", errorText, true, true));
  EXPECT_NE(nullptr, std::strstr(errorText, "cancelled or partly aborted")) << errorText;
}

TEST_F(ShellRecordTest, PathOf260OrMoreCharactersIsRefusedNeverCut) {
  const std::string tooLong = "C:\\" + std::string(257, 'p');
  ASSERT_EQ(260u, tooLong.size());
  const std::string muchTooLong = "C:\\" + std::string(1000, 'p');
  char errorText[2048] = "";
  const std::string refusal = "Error: path of 260 or more characters not handed to SHFileOperation";

  EXPECT_FALSE(CopyWithShell(muchTooLong.c_str(), "C:\\to\\", errorText, true, true));
  EXPECT_EQ(refusal, errorText);
  EXPECT_FALSE(CopyWithShell("C:\\from", tooLong.c_str(), errorText, true, true));
  EXPECT_EQ(refusal, errorText);
  EXPECT_EQ(0, g_seen.calls) << "the shell was called with a path it could only get cut";
}

}  // namespace
