// The tree deletion by handle, where Wine cannot show what Windows does: the test program's
// imports make a handle report a reparse point (as Windows shows a junction, or a file link
// opened as itself, where Wine follows the link) or be reached elsewhere than where its
// entry was listed (an entry swapped after the listing, or a link the platform followed).
// Real planted links are the end-to-end scenarios' part.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
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

// An entry whose name holds "moved" is reached in \elsewhere on its volume.
BOOL WINAPI InformationMovingSome(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size) {
  const std::wstring name = kind == FileNameInfo ? ReachedName(handle) : std::wstring();
  if (name.find(L"moved") == std::wstring::npos) return g_informationEx(handle, kind, information, size);
  const std::wstring moved = L"\\elsewhere\\" + name;
  FILE_NAME_INFO* reached = static_cast<FILE_NAME_INFO*>(information);
  reached->FileNameLength = static_cast<DWORD>(moved.size() * sizeof(wchar_t));
  std::wmemcpy(reached->FileName, moved.data(), moved.size());
  return TRUE;
}

const char kLinkStays[] = " is a link that could not be removed without following it; it was left, with the folders above it.";
const char kLinkReason[] = "a link, or reached elsewhere than where it is listed";

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
    const char* reason;   // why it was not handed to the next restart
  };
  const Case cases[] = {
      // A junction, or a file link as Windows shows it opened as itself: removed as itself.
      {"link_junction", kEmptyFolder, "", ""},
      {"link_file", kFile, "", ""},
      // A junction is never entered: Wine's stand-in for it, a full folder, cannot be removed.
      {"link_junction_full", kFullFolder, " could not be deleted: Directory is not empty.",
       "only a file in use is handed over, and only as itself"},
      // A link the platform followed, a file swapped after the listing, a folder moved away:
      // they stay, and nothing in them is touched.
      {"link_moved", kFile, kLinkStays, kLinkReason},
      {"moved.txt", kFile, kLinkStays, kLinkReason},
      {"moved_folder", kFullFolder, kLinkStays, kLinkReason},
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
    const bool deleted = DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText) == TreeDeletion::kDeleted;
    const std::string expected = *c.outcome == '\0' ? ""
                                                    : entry + c.outcome + " Not handed to the next restart: " + entry +
                                                          " (" + c.reason + "). Handed to the next restart: 0.";
    EXPECT_EQ(expected.empty(), deleted) << c.entry << ": " << errorText;
    EXPECT_EQ(expected, errorText) << c.entry;
    EXPECT_EQ(!deleted, FileExists(entry)) << c.entry << " still there?";
    EXPECT_EQ(c.kind == kFullFolder, FileExists(entry + "\\inside.txt")) << c.entry << "'s file still there?";
    EXPECT_FALSE(FileExists(home + "\\data\\plain.txt")) << c.entry << ": the plain file beside it stayed";
    EXPECT_EQ(!deleted, FileExists(home)) << c.entry << ": the home directory still there?";
  }
}
