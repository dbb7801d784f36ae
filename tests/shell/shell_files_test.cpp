// Copy and delete against Wine's real shell, plus what exactly the product hands to
// SHFileOperationA (seen by swapping the test program's import of it).
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/shell_files.h"

using testsupport::BuildDirectory;
using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

namespace {

void RemoveTree(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0) {
        RemoveTree(path + "\\" + found.cFileName);
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

// A directory of the test's own under the build tree, empty at the start and gone after.
class ShellFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    work_ = BuildDirectory() + "\\tests\\shellwork_" + info->name();
    ASSERT_FALSE(BuildDirectory().empty()) << "TESSIVANE_BUILD_DIR is not set";
    RemoveTree(work_);
    ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr)) << "could not create " << work_;
  }
  void TearDown() override { RemoveTree(work_); }

  std::string Make(const std::string& relative) {
    const std::string path = work_ + "\\" + relative;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
  }

  std::string work_;
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
const char kDeleteTail[] = " Returned from SHFileOperation";

TEST_F(ShellFilesTest, CopyIntoDirectoryKeepsNameReplacesWithoutAskingAndEmptiesErrorText) {
  const std::string source = work_ + "\\payload.bin";
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
  const std::string target = work_ + "\\not\\yet\\there\\";
  char errorText[2048] = "";

  EXPECT_TRUE(CopyWithShell(tree.c_str(), target.c_str(), errorText, true, true)) << errorText;
  EXPECT_EQ("top", ReadWholeFile(target + "tree\\top.txt"));
  EXPECT_EQ("deep", ReadWholeFile(target + "tree\\inner\\deep.txt"));
}

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

TEST_F(ShellFilesTest, CopyOfMissingSourceFailsWithTheCopyText) {
  const std::string source = work_ + "\\absent.bin";
  const std::string target = Make("target") + "\\";
  char errorText[2048] = "";
  long number = 0;

  EXPECT_FALSE(CopyWithShell(source.c_str(), target.c_str(), errorText, true, true));
  EXPECT_TRUE(ParseFailure(errorText, kCopyTail, &number)) << "got: " << errorText;
  EXPECT_NE(0, number) << "got: " << errorText;
  EXPECT_FALSE(FileExists(target + "absent.bin"));
}

// 259 characters is the longest path Windows allows; it must reach the shell whole.
TEST_F(ShellFilesTest, PathOf259CharactersIsCopiedAndDeletedWhole) {
  const std::string deep = Make(std::string(120, 'd'));
  const size_t nameLength = 259 - deep.size() - 1;
  ASSERT_GT(nameLength, 10u) << "build directory too deep for this test: " << deep;
  ASSERT_LT(nameLength, 250u);
  const std::string name(nameLength, 'f');
  const std::string source = deep + "\\" + name;
  ASSERT_EQ(259u, source.size());
  ASSERT_TRUE(WriteWholeFile(source, "long")) << source;
  const std::string target = Make("t") + "\\";
  char errorText[2048] = "";

  EXPECT_TRUE(CopyWithShell(source.c_str(), target.c_str(), errorText, true, true)) << errorText;
  EXPECT_EQ("long", ReadWholeFile(target + name));
  EXPECT_TRUE(DeleteWithShell(source.c_str(), errorText, true, true)) << errorText;
  EXPECT_FALSE(FileExists(source));
}

// What the product handed to SHFileOperationA on its last call.
struct SeenOperation {
  int calls = 0;
  HWND hwnd = nullptr;
  UINT function = 0;
  FILEOP_FLAGS flags = 0;
  std::string from;
  bool fromClosed = false;
  bool toNull = true;
  std::string to;
  bool toClosed = false;
  BOOL aborted = TRUE;
  LPVOID mappings = nullptr;
  LPCSTR title = nullptr;
};
SeenOperation g_seen;
int g_shellAnswer = 0;

// The one path in a list and whether the list is closed right after it.
std::string OnePath(const char* list, bool* closed) {
  const size_t length = std::strlen(list);
  *closed = list[length + 1] == '\0';
  return std::string(list, length);
}

int WINAPI SpyFileOperation(LPSHFILEOPSTRUCTA operation) {
  ++g_seen.calls;
  g_seen.hwnd = operation->hwnd;
  g_seen.function = operation->wFunc;
  g_seen.flags = operation->fFlags;
  g_seen.from = OnePath(operation->pFrom, &g_seen.fromClosed);
  g_seen.toNull = operation->pTo == nullptr;
  if (!g_seen.toNull) g_seen.to = OnePath(operation->pTo, &g_seen.toClosed);
  g_seen.aborted = operation->fAnyOperationsAborted;
  g_seen.mappings = operation->hNameMappings;
  g_seen.title = operation->lpszProgressTitle;
  return g_shellAnswer;
}

class ShellRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen = SeenOperation();
    g_shellAnswer = 0;
    ASSERT_TRUE(swap_.Active()) << "the test program does not import SHFileOperationA";
  }
  testsupport::ImportSwap swap_{"shell32.dll", "SHFileOperationA", reinterpret_cast<void*>(&SpyFileOperation)};
};

TEST_F(ShellRecordTest, BothOperationsPassFixedFlagsNoOwnerAndOnePathLists) {
  struct Case { bool silent; bool recursive; FILEOP_FLAGS flags; };
  const Case cases[] = {{false, true, 0x0610}, {true, true, 0x0614}, {false, false, 0x1610}, {true, false, 0x1614}};
  char errorText[2048] = "";
  for (const Case& c : cases) {
    g_seen = SeenOperation();
    EXPECT_TRUE(CopyWithShell("C:\\from\\file.exe", "C:\\to\\", errorText, c.silent, c.recursive));
    EXPECT_EQ(1, g_seen.calls);
    EXPECT_EQ(static_cast<UINT>(FO_COPY), g_seen.function);
    EXPECT_EQ(c.flags, g_seen.flags) << "copy, silent " << c.silent << " recursive " << c.recursive;
    EXPECT_EQ(nullptr, g_seen.hwnd);
    EXPECT_EQ("C:\\from\\file.exe", g_seen.from);
    EXPECT_TRUE(g_seen.fromClosed) << "source list not closed by a second NUL";
    EXPECT_EQ("C:\\to\\", g_seen.to);
    EXPECT_TRUE(g_seen.toClosed) << "destination list not closed by a second NUL";
    EXPECT_EQ(FALSE, g_seen.aborted);
    EXPECT_EQ(nullptr, g_seen.mappings);
    EXPECT_EQ(nullptr, g_seen.title);

    g_seen = SeenOperation();
    EXPECT_TRUE(DeleteWithShell("C:\\home", errorText, c.silent, c.recursive));
    EXPECT_EQ(1, g_seen.calls);
    EXPECT_EQ(static_cast<UINT>(FO_DELETE), g_seen.function);
    EXPECT_EQ(c.flags, g_seen.flags) << "delete, silent " << c.silent << " recursive " << c.recursive;
    EXPECT_EQ("C:\\home", g_seen.from);
    EXPECT_TRUE(g_seen.fromClosed);
    EXPECT_TRUE(g_seen.toNull) << "delete handed a destination: " << g_seen.to;
  }
}

TEST_F(ShellRecordTest, ResultWithTopBitSetIsPrintedAsNegativeNumber) {
  g_shellAnswer = static_cast<int>(0x80004005u);
  char errorText[2048] = "";
  EXPECT_FALSE(DeleteWithShell("C:\\home", errorText, true, true));
  EXPECT_STREQ("Error: -2147467259 Returned from SHFileOperation", errorText);
  EXPECT_FALSE(CopyWithShell("C:\\a", "C:\\b\\", errorText, true, true));
  EXPECT_STREQ("Error: -2147467259 Rturned from SHFileOperation", errorText);
}

TEST_F(ShellRecordTest, PathOf260OrMoreCharactersIsRefusedNeverCut) {
  const std::string tooLong = "C:\\" + std::string(257, 'p');
  ASSERT_EQ(260u, tooLong.size());
  const std::string muchTooLong = "C:\\" + std::string(1000, 'p');
  char errorText[2048] = "";
  const std::string refusal = "Error: path of 260 or more characters not handed to SHFileOperation";

  EXPECT_FALSE(DeleteWithShell(tooLong.c_str(), errorText, true, true));
  EXPECT_EQ(refusal, errorText);
  EXPECT_FALSE(CopyWithShell(muchTooLong.c_str(), "C:\\to\\", errorText, true, true));
  EXPECT_EQ(refusal, errorText);
  EXPECT_FALSE(CopyWithShell("C:\\from", tooLong.c_str(), errorText, true, true));
  EXPECT_EQ(refusal, errorText);
  EXPECT_EQ(0, g_seen.calls) << "the shell was called with a path it could only get cut";
}

}  // namespace
