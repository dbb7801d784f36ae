// The tree deletion by handle, where Wine cannot show what Windows does: the test program's
// imports make a handle report a reparse point (as Windows shows a junction, or a file link
// opened as itself, where Wine follows the link) or be reached elsewhere than where its
// entry was listed (an entry swapped after the listing, or a link the platform followed).
// Real planted links are the end-to-end scenarios' part.
#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

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

// ---- what the walk hands to the next restart, where Wine keeps no DACL and every file is
// the one account's: the swaps report owners and refusals, and record each protection set
// through a handle and each path scheduled, in order. Files are held open without sharing
// by the test itself, as another process would hold them.

namespace {

std::vector<std::string> g_events;  // "protect <path>" and "schedule <path>", in order
decltype(&GetKernelObjectSecurity) g_getSecurity;

std::string PathOf(HANDLE handle) {
  wchar_t path[1024] = {};
  const DWORD length = GetFinalPathNameByHandleW(handle, path, 1024, FILE_NAME_NORMALIZED);
  std::string text(length, '\0');
  for (DWORD i = 0; i < length; ++i) text[i] = static_cast<char>(path[i]);
  return text.compare(0, 4, "\\\\?\\") == 0 ? text.substr(4) : text;
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

// A thing whose name begins with "foreign" belongs to another user.
BOOL WINAPI OwnerShowingForeign(HANDLE handle, SECURITY_INFORMATION wanted, PSECURITY_DESCRIPTOR descriptor, DWORD size,
                                LPDWORD needed) {
  if (NameOf(PathOf(handle)).compare(0, 7, "foreign") != 0) return g_getSecurity(handle, wanted, descriptor, size, needed);
  SECURITY_DESCRIPTOR absolute;
  BYTE user[SECURITY_MAX_SID_SIZE];
  DWORD userSize = sizeof(user);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID other = nullptr;
  AllocateAndInitializeSid(&nt, 5, 21, 1, 2, 3, 1001, 0, 0, 0, &other);
  CopySid(userSize, user, other);
  FreeSid(other);
  InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&absolute, user, FALSE);
  *needed = size;
  return MakeSelfRelativeSD(&absolute, descriptor, needed);
}

// A folder whose name begins with "refused" takes no new DACL.
BOOL WINAPI RecordingProtection(HANDLE handle, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) {
  const std::string path = PathOf(handle);
  if (NameOf(path).compare(0, 7, "refused") == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  g_events.push_back("protect " + path);
  return TRUE;
}

BOOL WINAPI RecordingSchedule(LPCWSTR path, LPCWSTR target, DWORD flags) {
  std::string text;
  for (const wchar_t* c = path; *c != L'\0'; ++c) text += static_cast<char>(*c);
  const bool asked = target == nullptr && flags == MOVEFILE_DELAY_UNTIL_REBOOT && text.compare(0, 4, "\\\\?\\") == 0;
  g_events.push_back(asked ? "schedule " + text.substr(4) : "wrong call " + text);
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

// The swaps of one test, found in whichever library the test program imports them from.
struct RestartSwaps {
  ImportSwap information{"kernel32.dll", "GetFileInformationByHandle", reinterpret_cast<void*>(&InformationShowingLinks)};
  ImportSwap owner{"advapi32.dll", "GetKernelObjectSecurity", reinterpret_cast<void*>(&OwnerShowingForeign)};
  ImportSwap protection{"advapi32.dll", "SetKernelObjectSecurity", reinterpret_cast<void*>(&RecordingProtection)};
  ImportSwap schedule{"kernel32.dll", "MoveFileExW", reinterpret_cast<void*>(&RecordingSchedule)};
  bool Active() {
    g_information = information.Original<decltype(&GetFileInformationByHandle)>();
    g_informationEx = &GetFileInformationByHandleEx;
    g_getSecurity = owner.Original<decltype(&GetKernelObjectSecurity)>();
    g_events.clear();
    return information.Active() && owner.Active() && protection.Active() && schedule.Active();
  }
};

}  // namespace

TEST(DeleteTreeRestart, HandsOverOnlyOwnedFilesThroughFoldersProtectedFirstAndNothingBelowAnyOtherFolder) {
  RestartSwaps swaps;
  ASSERT_TRUE(swaps.Active());
  const ScratchFolder root("tree_restart");
  const std::string halvorne = root / "Halvorne";
  const std::string home = halvorne + "\\home";
  ASSERT_TRUE(CreateDirectoryA(halvorne.c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr));
  for (const char* folder : {"data", "foreign_folder", "refused_folder"}) {
    ASSERT_TRUE(CreateDirectoryA((home + "\\" + folder).c_str(), nullptr));
  }
  ASSERT_TRUE(WriteWholeFile(home + "\\plain.txt", "p"));
  HeldFiles held;
  for (const char* file : {"held.txt", "data\\held.txt", "foreign_folder\\held.txt", "refused_folder\\held.txt",
                           "foreign_file.txt", "link_file.txt"}) {
    ASSERT_TRUE(held.Hold(home + "\\" + file)) << file;
  }

  char errorText[2048] = {};
  EXPECT_EQ(TreeDeletion::kStays, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText));
  EXPECT_FALSE(FileExists(home + "\\plain.txt"));
  const std::string text = errorText;
  const std::string ending = " Handed to the next restart: 3.";
  EXPECT_EQ(ending, text.substr(text.size() - std::min(text.size(), ending.size()))) << text;
  EXPECT_NE(std::string::npos, text.find(" Not handed to the next restart: " + home + "\\")) << text;

  // Every path scheduled: the right call, the file and every folder from the home directory
  // down to it protected before, and none of the others.
  std::vector<std::string> scheduled;
  for (size_t index = 0; index < g_events.size(); ++index) {
    const std::string& event = g_events[index];
    ASSERT_NE(0u, event.find("wrong call")) << event;
    EXPECT_EQ(0u, event.find(event[0] == 'p' ? "protect " + home : "schedule " + home)) << "outside the tree: " << event;
    if (event[0] != 's') continue;
    const std::string path = event.substr(9);
    scheduled.push_back(path.substr(home.size()));
    const std::vector<std::string> earlier(g_events.begin(), g_events.begin() + index);
    for (std::string above = path; above.size() >= home.size(); above = above.substr(0, above.rfind('\\'))) {
      EXPECT_NE(earlier.end(), std::find(earlier.begin(), earlier.end(), "protect " + above))
          << above << " not protected before " << path << " was scheduled";
    }
  }
  std::sort(scheduled.begin(), scheduled.end());
  EXPECT_EQ((std::vector<std::string>{"\\data", "\\data\\held.txt", "\\held.txt"}), scheduled)
      << "a link, a file of another user's, anything below another user's folder or a folder refusing protection "
         "was scheduled, or the home directory that holds them";
}

TEST(DeleteTreeRestart, HandsOverFilesBeforeTheirFoldersDeepestFirst) {
  RestartSwaps swaps;
  ASSERT_TRUE(swaps.Active());
  const ScratchFolder root("tree_restart_order");
  const std::string home = root / "Halvorne\\home";
  ASSERT_TRUE(CreateDirectoryA((root / "Halvorne").c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr) &&
              CreateDirectoryA((home + "\\a").c_str(), nullptr) && CreateDirectoryA((home + "\\a\\b").c_str(), nullptr));
  HeldFiles held;
  ASSERT_TRUE(held.Hold(home + "\\a\\b\\deep.txt") && held.Hold(home + "\\a\\top.txt"));

  char errorText[2048] = {};
  EXPECT_EQ(TreeDeletion::kHandedToRestart, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText));
  std::vector<std::string> scheduled;
  for (const std::string& event : g_events) {
    if (event.compare(0, 9, "schedule ") == 0) scheduled.push_back(event.substr(9 + home.size()));
  }
  const auto at = [&](const std::string& path) { return std::find(scheduled.begin(), scheduled.end(), path) - scheduled.begin(); };
  ASSERT_EQ(5u, scheduled.size()) << errorText;
  EXPECT_LT(at("\\a\\b\\deep.txt"), at("\\a\\b"));
  EXPECT_LT(at("\\a\\b"), at("\\a"));
  EXPECT_LT(at("\\a\\top.txt"), at("\\a"));
  EXPECT_EQ("", scheduled.back()) << "the home directory goes last";
  EXPECT_NE(std::string::npos, std::string(errorText).find(" Handed to the next restart: 5.")) << errorText;
}

// ---- an entry a user holds under an oplock: Windows would make a plain open, and what is
// done through it, wait for the holder to acknowledge the break. The swap answers as
// Windows does to an open that asks not to wait, and counts the opens that did not ask.

namespace {

decltype(&NtCreateFile) g_create;
int g_waitingOpens = 0;

NTSTATUS NTAPI CreateBreakingOplocks(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK status,
                                     PLARGE_INTEGER size, ULONG fileAttributes, ULONG share, ULONG disposition,
                                     ULONG options, PVOID extended, ULONG extendedLength) {
  const NTSTATUS result = g_create(handle, access, attributes, status, size, fileAttributes, share, disposition, options,
                                   extended, extendedLength);
  const UNICODE_STRING* name = attributes->ObjectName;
  if (result != 0 || name == nullptr || std::wstring(name->Buffer, name->Length / sizeof(wchar_t)).find(L"oplocked") != 0) {
    return result;
  }
  if ((options & FILE_COMPLETE_IF_OPLOCKED) == 0) ++g_waitingOpens;
  return static_cast<NTSTATUS>(0x00000108L);  // STATUS_OPLOCK_BREAK_IN_PROGRESS
}

}  // namespace

TEST(DeleteTreeOplock, LeavesAnOplockedEntryInsteadOfWaitingForItsHolder) {
  ImportSwap create("ntdll.dll", "NtCreateFile", reinterpret_cast<void*>(&CreateBreakingOplocks));
  ASSERT_TRUE(create.Active());
  g_create = create.Original<decltype(&NtCreateFile)>();
  g_waitingOpens = 0;
  const ScratchFolder root("tree_oplock");
  const std::string home = root / "Halvorne\\home";
  ASSERT_TRUE(CreateDirectoryA((root / "Halvorne").c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(home + "\\oplocked.txt", "o") && WriteWholeFile(home + "\\plain.txt", "p"));

  char errorText[2048] = {};
  EXPECT_EQ(TreeDeletion::kStays, DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText));
  EXPECT_EQ(0, g_waitingOpens) << "an open that would wait for the holder";
  EXPECT_TRUE(FileExists(home + "\\oplocked.txt"));
  EXPECT_FALSE(FileExists(home + "\\plain.txt"));
  const std::string text = errorText;
  EXPECT_EQ(0u, text.find(home + "\\oplocked.txt could not be deleted: ")) << text;
  EXPECT_NE(std::string::npos, text.find(" Handed to the next restart: 0.")) << text;
}

// A delete that the holder of an oplock never lets finish (Windows waits for the holder's
// acknowledgement): the swapped delete waits until the watchdog cancels the walk's call.
namespace {

decltype(&SetFileInformationByHandle) g_setInformation;
HANDLE g_cancelled = nullptr;
int g_cancels = 0;

BOOL WINAPI DeleteWaitingForHolder(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size) {
  if (NameOf(PathOf(handle)).find("unanswered") != 0) return g_setInformation(handle, kind, information, size);
  // Bounded only so that a broken watchdog fails the test instead of hanging it.
  const bool cancelled = WaitForSingleObject(g_cancelled, 60000) == WAIT_OBJECT_0;
  SetLastError(cancelled ? ERROR_OPERATION_ABORTED : ERROR_TIMEOUT);
  return FALSE;
}

BOOL WINAPI RecordingCancel(HANDLE) {
  ++g_cancels;
  SetEvent(g_cancelled);
  return TRUE;
}

}  // namespace

TEST(DeleteTreeOplock, CancelsADeleteThatWaitsForTheHolderAndGoesOn) {
  ImportSwap setInformation("kernel32.dll", "SetFileInformationByHandle", reinterpret_cast<void*>(&DeleteWaitingForHolder));
  ImportSwap cancel("kernel32.dll", "CancelSynchronousIo", reinterpret_cast<void*>(&RecordingCancel));
  ASSERT_TRUE(setInformation.Active() && cancel.Active());
  g_setInformation = setInformation.Original<decltype(&SetFileInformationByHandle)>();
  g_cancelled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_cancels = 0;
  const ScratchFolder root("tree_unanswered");
  const std::string home = root / "Halvorne\\home";
  ASSERT_TRUE(CreateDirectoryA((root / "Halvorne").c_str(), nullptr) && CreateDirectoryA(home.c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(home + "\\unanswered.txt", "u") && WriteWholeFile(home + "\\plain.txt", "p"));

  char errorText[2048] = {};
  DeleteTree(root.path().c_str(), "\\Halvorne\\home", errorText);
  EXPECT_LE(1, g_cancels) << errorText;
  EXPECT_TRUE(FileExists(home + "\\unanswered.txt"));
  EXPECT_FALSE(FileExists(home + "\\plain.txt"));
  EXPECT_EQ(0u, std::string(errorText).find(home + "\\unanswered.txt could not be deleted: ")) << errorText;
  CloseHandle(g_cancelled);
}
