// The tree deletion by handle, where Wine cannot show what Windows does: the test program's
// imports make a handle report a reparse point (as Windows shows a junction, or a file link
// opened as itself, where Wine follows the link) or be reached elsewhere than where its
// entry was listed (an entry swapped after the listing, or a link the platform followed).
// Real planted links are the end-to-end scenarios' part.
#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
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

// ---- what the walk hands to the next restart, where Wine keeps no DACL and every file is
// the one account's: the swaps report owners and refusals, and record each protection set
// through a handle and each path scheduled, in order. Files are held open without sharing
// by the test itself, as another process would hold them.

namespace {

std::vector<std::string> g_events;  // "protect <path>" and "schedule <path>", in order
decltype(&GetKernelObjectSecurity) g_getSecurity;

std::string Narrow(const wchar_t* wide, size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char>(wide[i]);
  return text.compare(0, 4, "\\\\?\\") == 0 ? text.substr(4) : text;
}

std::string PathOf(HANDLE handle) {
  wchar_t path[1024] = {};
  return Narrow(path, GetFinalPathNameByHandleW(handle, path, 1024, FILE_NAME_NORMALIZED));
}

bool NameStarts(HANDLE handle, const char* start) {
  const std::string path = PathOf(handle);
  return path.compare(path.rfind('\\') + 1, std::strlen(start), start) == 0;
}

// A thing whose name begins with "foreign" belongs to another user.
BOOL WINAPI OwnerShowingForeign(HANDLE handle, SECURITY_INFORMATION wanted, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                                LPDWORD needed) {
  if (!NameStarts(handle, "foreign")) return g_getSecurity(handle, wanted, descriptor, size, needed);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID other = nullptr;
  SECURITY_DESCRIPTOR absolute;
  AllocateAndInitializeSid(&nt, 5, 21, 1, 2, 3, 1001, 0, 0, 0, &other);
  InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&absolute, other, FALSE);
  *needed = size;
  const BOOL made = MakeSelfRelativeSD(&absolute, descriptor, needed);
  FreeSid(other);
  return made;
}

// A folder whose name begins with "refused" takes no new DACL.
BOOL WINAPI RecordingProtection(HANDLE handle, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) {
  if (NameStarts(handle, "refused")) return SetLastError(ERROR_ACCESS_DENIED), FALSE;
  g_events.push_back("protect " + PathOf(handle));
  return TRUE;
}

BOOL WINAPI RecordingSchedule(LPCWSTR path, LPCWSTR target, DWORD flags) {
  const bool asked = target == nullptr && flags == MOVEFILE_DELAY_UNTIL_REBOOT && std::wcsncmp(path, L"\\\\?\\", 4) == 0;
  g_events.push_back((asked ? "schedule " : "wrong call ") + Narrow(path, std::wcslen(path)));
  return TRUE;
}

// Holds each file open without sharing while it lives.
struct HeldFiles {
  std::vector<HANDLE> handles;
  bool Hold(const std::string& path) {
    if (!WriteWholeFile(path, "held")) return false;
    handles.push_back(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return handles.back() != INVALID_HANDLE_VALUE;
  }
  ~HeldFiles() {
    for (HANDLE handle : handles) CloseHandle(handle);
  }
};

}  // namespace

TEST(DeleteTreeRestart, HandsOverOwnedFilesThenTheirFoldersDeepestFirstThroughProtectedFoldersOnly) {
  ImportSwap information("kernel32.dll", "GetFileInformationByHandle", reinterpret_cast<void*>(&InformationShowingLinks));
  ImportSwap owner("advapi32.dll", "GetKernelObjectSecurity", reinterpret_cast<void*>(&OwnerShowingForeign));
  ImportSwap protection("advapi32.dll", "SetKernelObjectSecurity", reinterpret_cast<void*>(&RecordingProtection));
  ImportSwap schedule("kernel32.dll", "MoveFileExW", reinterpret_cast<void*>(&RecordingSchedule));
  ASSERT_TRUE(information.Active() && owner.Active() && protection.Active() && schedule.Active());
  g_information = information.Original<decltype(&GetFileInformationByHandle)>();
  g_informationEx = &GetFileInformationByHandleEx;
  g_getSecurity = owner.Original<decltype(&GetKernelObjectSecurity)>();
  g_events.clear();
  const ScratchFolder root("tree_restart");
  const std::string home = root / "Halvorne\\home";
  ASSERT_TRUE(CreateDirectoryA((root / "Halvorne").c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr));
  for (const char* folder : {"a", "a\\b", "foreign_folder", "refused_folder"}) {
    ASSERT_TRUE(CreateDirectoryA((home + "\\" + folder).c_str(), nullptr));
  }
  ASSERT_TRUE(WriteWholeFile(home + "\\plain.txt", "p"));
  HeldFiles held;
  for (const char* file : {"a\\top.txt", "a\\b\\deep.txt", "foreign_folder\\held.txt", "refused_folder\\held.txt",
                           "foreign_file.txt", "link_file.txt"}) {
    ASSERT_TRUE(held.Hold(home + "\\" + file)) << file;
  }

  char errorText[2048] = {};
  EXPECT_EQ(TreeDeletion::kStays, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText));
  EXPECT_FALSE(FileExists(home + "\\plain.txt"));
  const std::string text = errorText;
  const std::string ending = " Handed to the next restart: 4.";
  EXPECT_EQ(ending, text.substr(text.size() - std::min(text.size(), ending.size()))) << text;
  EXPECT_NE(std::string::npos, text.find(" Not handed to the next restart: " + home + "\\")) << text;

  // Every path scheduled: the right call, the file and every folder from the home directory
  // down to it protected before, and nothing outside the home directory touched.
  std::vector<std::string> scheduled;
  for (size_t index = 0; index < g_events.size(); ++index) {
    const std::string& event = g_events[index];
    ASSERT_EQ(0u, event.find(event[0] == 'p' ? "protect " + home : "schedule " + home)) << event;
    if (event[0] != 's') continue;
    const std::string path = event.substr(9);
    scheduled.push_back(path.substr(home.size()));
    const auto earlier = g_events.begin() + static_cast<long>(index);
    for (std::string above = path; above.size() >= home.size(); above = above.substr(0, above.rfind('\\'))) {
      EXPECT_NE(earlier, std::find(g_events.begin(), earlier, "protect " + above))
          << above << " not protected before " << path << " was scheduled";
    }
  }
  // Files before their folders, deepest first; no link, nothing of another user's, nothing
  // below another user's folder or a folder that refused protection, and not the home
  // directory that holds them.
  const auto at = [&](const std::string& path) { return std::find(scheduled.begin(), scheduled.end(), path) - scheduled.begin(); };
  ASSERT_EQ(4u, scheduled.size()) << text;
  EXPECT_LT(at("\\a\\b\\deep.txt"), at("\\a\\b"));
  EXPECT_LT(at("\\a\\b"), at("\\a"));
  EXPECT_LT(at("\\a\\top.txt"), at("\\a"));
  EXPECT_GT(4, at("\\a"));
}

// ---- an entry a user holds under an oplock, which Windows makes an open, and a delete
// through a handle, wait for until the holder acknowledges the break. The swaps answer an
// open that asks not to wait as Windows does (and count the opens that did not ask), and
// make one delete wait until the watchdog cancels the walk's call.

namespace {

decltype(&NtCreateFile) g_create;
decltype(&SetFileInformationByHandle) g_setInformation;
int g_waitingOpens = 0;
HANDLE g_cancelled = nullptr;

NTSTATUS NTAPI CreateBreakingOplocks(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK status,
                                     PLARGE_INTEGER size, ULONG fileAttributes, ULONG share, ULONG disposition,
                                     ULONG options, PVOID extended, ULONG extendedLength) {
  const NTSTATUS result = g_create(handle, access, attributes, status, size, fileAttributes, share, disposition, options,
                                   extended, extendedLength);
  const UNICODE_STRING* name = attributes->ObjectName;
  if (result != 0 || name == nullptr || std::wcsncmp(name->Buffer, L"oplocked", 8) != 0) return result;
  if ((options & FILE_COMPLETE_IF_OPLOCKED) == 0) ++g_waitingOpens;
  return static_cast<NTSTATUS>(0x00000108L);  // STATUS_OPLOCK_BREAK_IN_PROGRESS
}

BOOL WINAPI DeleteWaitingForHolder(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size) {
  if (!NameStarts(handle, "unanswered")) return g_setInformation(handle, kind, information, size);
  // Bounded only so that a broken watchdog fails the test instead of hanging it.
  const bool cancelled = WaitForSingleObject(g_cancelled, 60000) == WAIT_OBJECT_0;
  SetLastError(cancelled ? ERROR_OPERATION_ABORTED : ERROR_TIMEOUT);
  return FALSE;
}

BOOL WINAPI RecordingCancel(HANDLE) { return SetEvent(g_cancelled); }

}  // namespace

TEST(DeleteTreeOplock, LeavesAnEntryWhoseOpenWouldWaitAndCancelsADeleteThatWaitsThenGoesOn) {
  ImportSwap create("ntdll.dll", "NtCreateFile", reinterpret_cast<void*>(&CreateBreakingOplocks));
  ImportSwap setInformation("kernel32.dll", "SetFileInformationByHandle", reinterpret_cast<void*>(&DeleteWaitingForHolder));
  ImportSwap cancel("kernel32.dll", "CancelSynchronousIo", reinterpret_cast<void*>(&RecordingCancel));
  ASSERT_TRUE(create.Active() && setInformation.Active() && cancel.Active());
  g_create = create.Original<decltype(&NtCreateFile)>();
  g_setInformation = setInformation.Original<decltype(&SetFileInformationByHandle)>();
  g_waitingOpens = 0;
  g_cancelled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const ScratchFolder root("tree_oplock");
  const std::string home = root / "Halvorne\\home";
  ASSERT_TRUE(CreateDirectoryA((root / "Halvorne").c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr));
  for (const char* file : {"oplocked.txt", "plain.txt", "unanswered.txt"}) ASSERT_TRUE(WriteWholeFile(home + "\\" + file, "o"));

  char errorText[2048] = {};
  EXPECT_EQ(TreeDeletion::kStays, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText));
  EXPECT_EQ(0, g_waitingOpens) << "an open that would wait for the holder";
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_cancelled, 0)) << "the waiting delete was never cancelled";
  EXPECT_TRUE(FileExists(home + "\\oplocked.txt") && FileExists(home + "\\unanswered.txt"));
  EXPECT_FALSE(FileExists(home + "\\plain.txt"));
  EXPECT_NE(std::string::npos, std::string(errorText).find(" 1 more could not be deleted either.")) << errorText;
  CloseHandle(g_cancelled);
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
  EXPECT_EQ(TreeDeletion::kDeleted, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText)) << errorText;
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
  EXPECT_EQ(TreeDeletion::kStays, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText));
  g_siblingOf.clear();
  EXPECT_EQ(0u, std::string(errorText).find(home + "\\moved.txt" + kLinkStays)) << errorText;
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
    EXPECT_EQ(TreeDeletion::kStays, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText)) << number;
    g_refusal = {};
    // The first thing named, whatever the restart's part of the text says after it.
    EXPECT_EQ(0u, std::string(errorText).find(home + row.named + " could not be deleted: " + SystemText(ERROR_ACCESS_DENIED)))
        << number << ": " << errorText;
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
  EXPECT_EQ(TreeDeletion::kDeleted, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText)) << errorText;
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
