// How the program's copy is placed in the temporary directory by handle, made new with
// Administrators' rights, held against writers and deleters until it is started, and what
// becomes of a usual name that is taken (a link, the name taken again between the old file's
// deletion and the copy's creation, a file someone holds): the copy gets a fresh name. The
// copy is read from the program held as itself, and nothing is copied when the held file is
// not the running image. The shell is the spy of launch_spy.h, so nothing is started.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <cwchar>
#include <regex>
#include <string>

#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/elevated_launch.h"
#include "sysops/launch_spy.h"
#include "sysops/program_copy.h"

using testsupport::ReadWholeFile;

namespace {

using namespace launchspy;

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

// The name the platform gives the running image. Wine gives the path the program was started
// by, which here leads through the link to the build tree, and it never follows a rename; the
// swap answers in the "\??\C:\..." form that Wine uses, for a name the test chooses.
std::wstring g_imageName;

DWORD WINAPI ChosenImageName(HANDLE, LPVOID, LPWSTR name, DWORD capacity) {
  if (g_imageName.size() >= capacity) return 0;
  wcscpy(name, g_imageName.c_str());
  return static_cast<DWORD>(g_imageName.size());
}

// "\??\" and the path by which the platform finally reaches path.
std::wstring ImageNameOf(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  wchar_t final[MAX_PATH] = {};
  GetFinalPathNameByHandleW(file, final, MAX_PATH, VOLUME_NAME_DOS);
  CloseHandle(file);
  return std::wstring(L"\\??\\") + (final + 4);
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
    ASSERT_TRUE(createSwap_.Active() && informationSwap_.Active() && imageSwap_.Active())
        << "the test program does not import NtCreateFile, GetFileInformationByHandle and K32GetMappedFileNameW";
    g_createFile = createSwap_.Original<NtCreateFileFunction>();
    g_fileInformation = informationSwap_.Original<decltype(&GetFileInformationByHandle)>();
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    own_ = own;
    ownBytes_ = ReadWholeFile(Narrow(own_));
    g_imageName = ImageNameOf(Narrow(own_));
    ASSERT_TRUE(testsupport::WriteWholeFile(copy_, "left there before")) << copy_;
  }
  // What became of the copy: "not copied", "not started" or "started".
  std::string Place() {
    const std::wstring temp = std::wstring(folder_.path().begin(), folder_.path().end()) + L"\\";
    PlacedCopy placed = {};
    OwnProgram own = {};
    std::string outcome = "not copied";
    HoldOwnProgram(&own);
    if (PlaceCopy(&own, own_.c_str(), temp.c_str(), &placed, copyText_, noteText_, errorText_)) {
      outcome = StartPlacedCopy(&placed, "silent", errorText_) ? "started" : "not started";
    }
    ReleasePlacedCopy(&placed);
    ReleaseOwnProgram(&own);
    return outcome;
  }
  // The copy was started under a fresh name beside the usual one, with the program's bytes.
  void ExpectStartedUnderFreshName() {
    const std::string copy = copyText_, folder = folder_.path() + "\\";
    EXPECT_EQ(folder, copy.substr(0, folder.size()));
    EXPECT_TRUE(std::regex_match(copy.substr(folder.size()), std::regex(R"(sysops_tests-[0-9a-f]{16}\.exe)"))) << copy;
    EXPECT_EQ(copyText_, Narrow(g_launch.file));
    EXPECT_TRUE(ReadWholeFile(copyText_) == ownBytes_) << "the fresh copy is not the program";
    EXPECT_EQ("O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", g_createdSecurity);
  }

  testsupport::ImportSwap createSwap_{"ntdll.dll", "NtCreateFile", reinterpret_cast<void*>(&SpyCreateFile)};
  testsupport::ImportSwap informationSwap_{"kernel32.dll", "GetFileInformationByHandle",
                                           reinterpret_cast<void*>(&LinkShowingInformation)};
  testsupport::ImportSwap imageSwap_{"kernel32.dll", "K32GetMappedFileNameW", reinterpret_cast<void*>(&ChosenImageName)};
  testsupport::ScratchFolder folder_{"place_copy"};
  std::wstring own_;
  std::string ownBytes_, copy_ = folder_ / "sysops_tests.exe";
  char copyText_[260] = {};
  char noteText_[2048] = {};
  char errorText_[2048] = {};
};

TEST_F(PlaceCopyTest, OldFileGoesAndTheCopyIsMadeNewForAdministratorsAndStartedHeldWithoutZoneCheck) {
  ASSERT_TRUE(SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ("started", Place()) << errorText_;
  EXPECT_EQ(copy_, copyText_);
  EXPECT_STREQ("", noteText_);
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

TEST_F(PlaceCopyTest, FileLinkThatShowsAsReparsePointIsLeftAndTheCopyGetsAFreshName) {
  g_showLinks = true;
  EXPECT_EQ("started", Place()) << errorText_;
  EXPECT_EQ("The file already at " + copy_ + " is a link, left as it is so that what it points to is not deleted. "
                "The copy is made under a fresh name.",
            noteText_);
  EXPECT_EQ("left there before", ReadWholeFile(copy_));
  ExpectStartedUnderFreshName();
}

TEST_F(PlaceCopyTest, NameTakenBetweenTheDeletionAndTheCreationGivesAFreshName) {
  g_takeNameFirst = true;
  EXPECT_EQ("started", Place()) << errorText_;
  char taken[2048];
  SetLastError(ERROR_FILE_EXISTS);
  GetLastErrorText(taken);
  EXPECT_EQ("The copy could not be created at " + copy_ + ": " + taken + " The copy is made under a fresh name.",
            noteText_);
  EXPECT_EQ("someone else's", ReadWholeFile(copy_));
  ExpectStartedUnderFreshName();
}

TEST_F(PlaceCopyTest, FileHeldAtTheUsualNameGivesAFreshNameAndStaysAsItWas) {
  HANDLE held = CreateFileA(copy_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_EQ("started", Place()) << errorText_;
  CloseHandle(held);
  char sharing[2048];
  SetLastError(ERROR_SHARING_VIOLATION);
  GetLastErrorText(sharing);
  EXPECT_EQ("The file already at " + copy_ + " could not be deleted: " + sharing +
                " The copy is made under a fresh name.",
            noteText_);
  EXPECT_EQ("left there before", ReadWholeFile(copy_));
  ExpectStartedUnderFreshName();
}

// The file at the program's path was replaced after the start: the image that runs has
// another name than the held file, so nothing is read from the held file, copied or started.
TEST_F(PlaceCopyTest, HeldFileThatIsNotTheRunningImageIsNeitherCopiedNorStarted) {
  g_imageName = ImageNameOf(copy_);
  EXPECT_EQ("not copied", Place());
  EXPECT_STREQ("The file at this program's path is not the program that runs (it was replaced after the start); "
               "nothing was copied.",
               errorText_);
  EXPECT_EQ("left there before", ReadWholeFile(copy_));
  EXPECT_EQ("", g_createdSecurity) << "a copy was created";
  EXPECT_EQ(0, g_launch.calls);
}

}  // namespace
