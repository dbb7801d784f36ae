// The tree deletion by handle, where Wine cannot show what Windows does: the test program's
// imports make a handle report a reparse point (as Windows shows a junction, or a file link
// opened as itself, where Wine follows the link) or be reached elsewhere than where its
// entry was listed (an entry swapped after the listing, or a link the platform followed).
// Real planted links are the end-to-end scenarios' part.
#include <gtest/gtest.h>

#include <windows.h>

#include <winternl.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/elevated_launch.h"
#include "sysops/files_by_handle.h"
#include "sysops/tree_delete.h"

using testsupport::FileExists;
using testsupport::ImportSwap;
using testsupport::ScratchFolder;
using testsupport::WriteWholeFile;

namespace {

decltype(&GetFileInformationByHandle) g_information;
decltype(&GetFileInformationByHandleEx) g_informationEx;

// The name at the end of the path at which the platform really reaches the handle.
std::wstring ReachedName(HANDLE handle) {
  alignas(FILE_NAME_INFO) char buffer[2048] = {};
  FILE_NAME_INFO* name = reinterpret_cast<FILE_NAME_INFO*>(buffer);
  if (!g_informationEx(handle, FileNameInfo, name, sizeof(buffer))) return std::wstring();
  const std::wstring reached(name->FileName, name->FileNameLength / sizeof(wchar_t));
  return reached.substr(reached.rfind(L'\\') + 1);
}

// An entry named "link..." shows a reparse point through its handle.
BOOL WINAPI InformationShowingLinks(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
  const BOOL got = g_information(handle, information);
  if (got && ReachedName(handle).compare(0, 4, L"link") == 0) information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return got;
}

// Where InformationMovingSome reaches what it moves: \elsewhere unless this names a folder.
std::wstring g_siblingOf;

// An entry whose name holds "moved" is reached in \elsewhere on its volume.
BOOL WINAPI InformationMovingSome(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size) {
  const std::wstring name = kind == FileNameInfo ? ReachedName(handle) : std::wstring();
  if (name.find(L"moved") == std::wstring::npos) return g_informationEx(handle, kind, information, size);
  const std::wstring moved = (g_siblingOf.empty() ? L"\\elsewhere" : g_siblingOf) + L"\\" + name;
  FILE_NAME_INFO* reached = static_cast<FILE_NAME_INFO*>(information);
  reached->FileNameLength = static_cast<DWORD>(moved.size() * sizeof(wchar_t));
  std::wmemcpy(reached->FileName, moved.data(), moved.size());
  return TRUE;
}

const char kLinkStays[] = " is a link that could not be removed without following it; it was left, with the folders above it.";

}  // namespace

TEST(DeleteTree, RemovesWhatShowsAsALinkOnlyAsItselfAndNeverEntersOrDeletesWhatIsReachedElsewhere) {
  ImportSwap information("kernel32.dll", "GetFileInformationByHandle", reinterpret_cast<void*>(&InformationShowingLinks));
  ImportSwap informationEx("kernel32.dll", "GetFileInformationByHandleEx", reinterpret_cast<void*>(&InformationMovingSome));
  ASSERT_TRUE(information.Active() && informationEx.Active());
  g_information = information.Original<decltype(&GetFileInformationByHandle)>();
  g_informationEx = informationEx.Original<decltype(&GetFileInformationByHandleEx)>();
  enum Kind { kFile, kEmptyFolder, kFullFolder };
  struct Case {
    const char* entry;
    Kind kind;
    const char* outcome;  // after the entry's path; empty: deleted
  };
  const Case cases[] = {
      // A junction, or a file link as Windows shows it opened as itself: removed as itself.
      {"link_junction", kEmptyFolder, ""},
      {"link_file", kFile, ""},
      // A junction is never entered: Wine's stand-in for it, a full folder, cannot be removed.
      {"link_junction_full", kFullFolder, " could not be deleted: Directory is not empty."},
      // A link the platform followed, a file swapped after the listing, a folder moved away:
      // they stay, and nothing in them is touched.
      {"link_moved", kFile, kLinkStays},
      {"moved.txt", kFile, kLinkStays},
      {"moved_folder", kFullFolder, kLinkStays},
  };
  int number = 0;
  for (const Case& c : cases) {
    // Named so that no swap takes the folders above the entry for one.
    const ScratchFolder root("tree_case" + std::to_string(++number));
    const std::string home = root / "Halvorne\\home";
    const std::string entry = home + "\\data\\" + c.entry;
    ASSERT_TRUE(CreateDirectoryA((root / "Halvorne").c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr) &&
                CreateDirectoryA((home + "\\data").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(home + "\\data\\plain.txt", "p"));
    ASSERT_TRUE(c.kind == kFile ? WriteWholeFile(entry, "e") : CreateDirectoryA(entry.c_str(), nullptr) != FALSE);
    ASSERT_TRUE(c.kind != kFullFolder || WriteWholeFile(entry + "\\inside.txt", "i"));

    char errorText[2048] = "previous";
    const bool deleted = DeleteTree(home.c_str(), root.path().size(), errorText);
    const std::string expected = *c.outcome == '\0' ? "" : entry + c.outcome;
    EXPECT_EQ(expected.empty(), deleted) << c.entry << ": " << errorText;
    EXPECT_EQ(expected, errorText) << c.entry;
    EXPECT_EQ(!deleted, FileExists(entry)) << c.entry << " still there?";
    EXPECT_EQ(c.kind == kFullFolder, FileExists(entry + "\\inside.txt")) << c.entry << "'s file still there?";
    EXPECT_FALSE(FileExists(home + "\\data\\plain.txt")) << c.entry << ": the plain file beside it stayed";
    EXPECT_EQ(!deleted, FileExists(home)) << c.entry << ": the home directory still there?";
  }
}

// ---- answers and flags Wine never shows ------------------------------------------------

namespace {

decltype(&NtCreateFile) g_createFile;
std::vector<ULONG> g_relativeOpenOptions;

NTSTATUS NTAPI CreateFileRecordingOptions(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                          PIO_STATUS_BLOCK status, PLARGE_INTEGER size, ULONG fileAttributes,
                                          ULONG share, ULONG disposition, ULONG options, PVOID ea, ULONG eaLength) {
  if (attributes->RootDirectory != nullptr) g_relativeOpenOptions.push_back(options);
  return g_createFile(handle, access, attributes, status, size, fileAttributes, share, disposition, options, ea, eaLength);
}

// Which call on the handles of entries with a given name fails, and how.
struct Refusal {
  std::wstring name;
  FILE_INFO_BY_HANDLE_CLASS kind;  // for GetFileInformationByHandleEx
  int failAt;                      // the failing call on that name, 1-based; 0: none
  DWORD error;
  int seen;
};
Refusal g_refusal;

bool RefuseNow(HANDLE handle) { return ReachedName(handle) == g_refusal.name && ++g_refusal.seen == g_refusal.failAt; }

BOOL WINAPI InformationRefusing(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
  if (g_refusal.kind == FileBasicInfo && RefuseNow(handle)) return SetLastError(g_refusal.error), FALSE;
  return g_information(handle, information);
}

BOOL WINAPI InformationExRefusing(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size) {
  if (kind == g_refusal.kind && kind != FileBasicInfo && RefuseNow(handle)) return SetLastError(g_refusal.error), FALSE;
  return g_informationEx(handle, kind, information, size);
}

decltype(&SetFileInformationByHandle) g_setInformation;

// A volume that does not know the POSIX delete, as FAT answers on Windows.
BOOL WINAPI SetInformationWithoutPosixDelete(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                                             DWORD size) {
  if (kind == static_cast<FILE_INFO_BY_HANDLE_CLASS>(21)) return SetLastError(ERROR_NOT_SUPPORTED), FALSE;
  return g_setInformation(handle, kind, information, size);
}

// The text the program gives for a last error.
std::string SystemText(DWORD error) {
  char text[2048] = {};
  SetLastError(error);
  GetLastErrorText(text);
  return text;
}

// <scratch>\Halvorne\home with a read-only file and data\inside.txt; answers home's path.
std::string MakeTree(const ScratchFolder& root) {
  const std::string home = root / "Halvorne\\home";
  EXPECT_TRUE(CreateDirectoryA((root / "Halvorne").c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr) &&
              CreateDirectoryA((home + "\\data").c_str(), nullptr));
  EXPECT_TRUE(WriteWholeFile(home + "\\data\\inside.txt", "i") && WriteWholeFile(home + "\\readonly.txt", "r"));
  SetFileAttributesA((home + "\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  return home;
}

}  // namespace

// On Windows a relative open without FILE_OPEN_REPARSE_POINT follows the link it opens;
// Wine follows its links whatever the flag, so only the flags themselves can show it.
TEST(DeleteTree, OpensEveryEntryAsItself) {
  ImportSwap createFile("ntdll.dll", "NtCreateFile", reinterpret_cast<void*>(&CreateFileRecordingOptions));
  ASSERT_TRUE(createFile.Active());
  g_createFile = createFile.Original<decltype(&NtCreateFile)>();
  g_relativeOpenOptions.clear();
  const ScratchFolder root("tree_flags");
  const std::string home = MakeTree(root);
  char errorText[2048] = {};
  EXPECT_TRUE(DeleteTree(home.c_str(), root.path().size(), errorText)) << errorText;
  // Halvorne, home, readonly.txt, data, inside.txt.
  EXPECT_GE(g_relativeOpenOptions.size(), 5u);
  for (ULONG options : g_relativeOpenOptions) EXPECT_NE(0u, options & FILE_OPEN_REPARSE_POINT) << std::hex << options;
}

// An entry reached in a sibling of the tree whose name begins with the tree's own
// (...\home2\...) is reached outside the tree: it stays.
TEST(DeleteTree, KeepsAnEntryReachedInASiblingNamedLikeTheTree) {
  ImportSwap informationEx("kernel32.dll", "GetFileInformationByHandleEx", reinterpret_cast<void*>(&InformationMovingSome));
  ASSERT_TRUE(informationEx.Active());
  g_informationEx = informationEx.Original<decltype(&GetFileInformationByHandleEx)>();
  const ScratchFolder root("tree_sibling");
  const std::string home = MakeTree(root);
  ASSERT_TRUE(WriteWholeFile(home + "\\moved.txt", "m"));
  // "\elsewhere\moved.txt" becomes "<home>2\moved.txt" on the volume.
  g_siblingOf = std::wstring(home.begin() + 2, home.end()) + L"2";
  char errorText[2048] = {};
  EXPECT_FALSE(DeleteTree(home.c_str(), root.path().size(), errorText));
  g_siblingOf.clear();
  EXPECT_EQ(home + "\\moved.txt" + kLinkStays, errorText);
  EXPECT_TRUE(FileExists(home + "\\moved.txt"));
}

// The tree's own folder opened but not walkable, or a folder whose listing failed: the
// answer is "not deleted", for the reason the platform gave.
TEST(DeleteTree, NamesAFolderThatCouldNotBeWalkedWithTheReason) {
  ImportSwap information("kernel32.dll", "GetFileInformationByHandle", reinterpret_cast<void*>(&InformationRefusing));
  ImportSwap informationEx("kernel32.dll", "GetFileInformationByHandleEx", reinterpret_cast<void*>(&InformationExRefusing));
  ASSERT_TRUE(information.Active() && informationEx.Active());
  g_information = information.Original<decltype(&GetFileInformationByHandle)>();
  g_informationEx = informationEx.Original<decltype(&GetFileInformationByHandleEx)>();
  struct Row {
    const wchar_t* name;
    FILE_INFO_BY_HANDLE_CLASS kind;  // FileBasicInfo: GetFileInformationByHandle
    int failAt;
    const char* named;  // below home
    bool dataStays;
  };
  const Row rows[] = {
      // The home folder's information (after the check that it is a real folder) and path.
      {L"home", FileBasicInfo, 2, "", true},
      {L"home", FileNameInfo, 1, "", true},
      // A listing that fails is no end of the listing.
      {L"data", FileFullDirectoryInfo, 1, "\\data", true},
      {L"home", FileFullDirectoryInfo, 1, "", true},
  };
  int number = 0;
  for (const Row& row : rows) {
    const ScratchFolder root("tree_unwalkable" + std::to_string(++number));
    const std::string home = MakeTree(root);
    g_refusal = {row.name, row.kind, row.failAt, ERROR_ACCESS_DENIED, 0};
    char errorText[2048] = {};
    EXPECT_FALSE(DeleteTree(home.c_str(), root.path().size(), errorText)) << number;
    g_refusal = {};
    EXPECT_EQ(home + row.named + " could not be deleted: " + SystemText(ERROR_ACCESS_DENIED), errorText) << number;
    EXPECT_TRUE(FileExists(home + "\\data\\inside.txt")) << number;
  }
}

// Where the POSIX delete is unknown (ERROR_NOT_SUPPORTED on FAT), the plain delete serves,
// read-only files included.
TEST(DeleteTree, DeletesWhereThePosixDeleteIsNotSupported) {
  ImportSwap setInformation("kernel32.dll", "SetFileInformationByHandle",
                            reinterpret_cast<void*>(&SetInformationWithoutPosixDelete));
  ASSERT_TRUE(setInformation.Active());
  g_setInformation = setInformation.Original<decltype(&SetFileInformationByHandle)>();
  const ScratchFolder root("tree_fat");
  const std::string home = MakeTree(root);
  char errorText[2048] = {};
  EXPECT_TRUE(DeleteTree(home.c_str(), root.path().size(), errorText)) << errorText;
  EXPECT_FALSE(FileExists(home));
}

namespace {

const wchar_t* g_finalPathAnswer;

DWORD WINAPI FinalPathAnswering(HANDLE, LPWSTR path, DWORD capacity, DWORD) {
  const size_t length = std::wcslen(g_finalPathAnswer);
  if (length >= capacity) return static_cast<DWORD>(length + 1);
  std::wmemcpy(path, g_finalPathAnswer, length + 1);
  return static_cast<DWORD>(length);
}

}  // namespace

// A final path comes with "\\?\" before it, or "\\?\UNC\" before a server's share, which
// Wine gives for no handle; what is left must name the same place.
TEST(GetFinalPathOf, TakesOffThePlatformsPrefixAndKeepsAServersTwoBackslashes) {
  ImportSwap finalPath("kernel32.dll", "GetFinalPathNameByHandleW", reinterpret_cast<void*>(&FinalPathAnswering));
  ASSERT_TRUE(finalPath.Active());
  const std::pair<const wchar_t*, std::wstring> rows[] = {
      {L"\\\\?\\UNC\\server\\share\\Temp", L"\\\\server\\share\\Temp"},
      {L"\\\\?\\C:\\Temp", L"C:\\Temp"},
  };
  for (const auto& row : rows) {
    g_finalPathAnswer = row.first;
    wchar_t path[300] = {};
    EXPECT_TRUE(GetFinalPathOf(GetCurrentProcess(), path, 300));
    EXPECT_TRUE(row.second == path) << std::string(row.second.begin(), row.second.end());
  }
}
