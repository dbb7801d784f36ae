// The removal log's line format, its append-only file and its directory chain.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <regex>
#include <string>

#include "log/pause_recorder.h"
#include "log/removal_log.h"
#include "support/import_swap.h"
#include "support/test_process.h"

using testsupport::FileExists;
using testsupport::IsDirectory;
using testsupport::ReadWholeFile;
using testsupport::ScratchFolder;
using testsupport::SplitLines;
using testsupport::WriteWholeFile;

namespace {

std::string PrefixFor(SYSTEMTIME time) {
  char line[4096];
  memset(line, '#', sizeof(line));
  LogTimestampAt(&time, line);
  return line;
}

std::string PrefixFor(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  return PrefixFor(SYSTEMTIME{year, month, 0, day, hour, minute, second, 0});
}

// The length of the prefix that the product writes right now.
size_t CurrentPrefixLength() {
  char line[4096] = {};
  LogTimestamp(line);
  return std::string(line).size();
}

const std::regex kLinePrefix(R"(^\[\d{4}-\d{1,2}-\d{1,2} \d\d:\d\d:\d\d\] )");

// Each folder the product asks CreateDirectoryA for, with the DACL it hands over ("default"
// for none). Wine does not keep a DACL as given, so it is read where it is handed over.
std::vector<std::string> g_createdFolders;
decltype(&CreateDirectoryA) g_createDirectory = nullptr;
BOOL WINAPI RecordingCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
  char* dacl = nullptr;
  if (attributes != nullptr) {
    ConvertSecurityDescriptorToStringSecurityDescriptorA(attributes->lpSecurityDescriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &dacl, nullptr);
  }
  g_createdFolders.push_back(std::string(path) + " " + (dacl != nullptr ? dacl : "default"));
  LocalFree(dacl);
  return g_createDirectory(path, attributes);
}

// While the product opens its log file "race.log", another program tries to rename the log's
// two folders away, and creates the file first, as a second run may between the product's
// open of an existing file and its creation of a new one.
//
// "dangling.log" stands for a link to nowhere, as a platform that follows links shows it:
// missing to the open and taken to the create, every time. After 50 such creates the name
// is left to the platform, so that a product that never stops asking fails instead of hanging.
decltype(&NtCreateFile) g_ntCreateFile = nullptr;
std::string g_logFolders;
std::vector<DWORD> g_renameErrors;
int g_danglingCreates = 0;
NTSTATUS NTAPI InterferingCreate(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                 PIO_STATUS_BLOCK status, PLARGE_INTEGER size, ULONG fileAttributes, ULONG share,
                                 ULONG disposition, ULONG options, PVOID extended, ULONG extendedLength) {
  const std::wstring name(attributes->ObjectName->Buffer, attributes->ObjectName->Length / sizeof(wchar_t));
  if (name == L"dangling.log" && g_danglingCreates < 50) {
    if (disposition != FILE_CREATE) return static_cast<NTSTATUS>(0xC0000034L);  // name not found
    ++g_danglingCreates;
    return static_cast<NTSTATUS>(0xC0000035L);  // name collision
  }
  if (name == L"race.log" && disposition == FILE_CREATE) {
    for (const char* folder : {"\\Halvorne\\Logs", "\\Halvorne"}) {
      const std::string path = g_logFolders + folder;
      g_renameErrors.push_back(MoveFileA(path.c_str(), (path + "Moved").c_str()) ? ERROR_SUCCESS : GetLastError());
    }
    WriteWholeFile(g_logFolders + "\\Halvorne\\Logs\\race.log", "made by another run\r\n");
  }
  return g_ntCreateFile(handle, access, attributes, status, size, fileAttributes, share, disposition, options,
                        extended, extendedLength);
}

}  // namespace

TEST(LogTimestamp, PadsTheClockButNeverMonthOrDay) {
  EXPECT_EQ("[2026-3-7 09:05:02] ", PrefixFor(2026, 3, 7, 9, 5, 2));
  EXPECT_EQ("[2026-12-31 23:59:59] ", PrefixFor(2026, 12, 31, 23, 59, 59));
  EXPECT_EQ("[2026-1-1 00:00:00] ", PrefixFor(2026, 1, 1, 0, 0, 0));
}

TEST(LogTimestamp, ReadsTheLocalClockAndReplacesOldContents) {
  char line[4096];
  memset(line, 'x', sizeof(line) - 1);
  line[sizeof(line) - 1] = '\0';
  SYSTEMTIME before = {};
  SYSTEMTIME after = {};
  GetLocalTime(&before);
  LogTimestamp(line);
  GetLocalTime(&after);
  const std::string got = line;
  const std::string early = PrefixFor(before);
  const std::string late = PrefixFor(after);
  EXPECT_TRUE(got == early || got == late) << "got '" << got << "', clock read '" << early
                                           << "' .. '" << late << "'";
}

TEST(WriteLogLine, CreatesMissingFileThenAppendsWithCrLfNeverRewriting) {
  const ScratchFolder folder("log_append");
  const std::string path = folder / "append.log";
  ASSERT_TRUE(WriteWholeFile(path, "kept from before\r\n"));

  WriteLogLine("first", path.c_str(), true);
  WriteLogLine("", path.c_str(), true);
  WriteLogLine("two\nparts", path.c_str(), true);

  const std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
  ASSERT_EQ(6u, lines.size()) << ReadWholeFile(path);
  EXPECT_EQ("kept from before", lines[0]);
  std::smatch prefix;
  ASSERT_TRUE(std::regex_search(lines[1], prefix, kLinePrefix)) << lines[1];
  EXPECT_EQ("first", lines[1].substr(prefix.length())) << lines[1];
  // An empty message still makes a line: the prefix with its trailing blank.
  ASSERT_TRUE(std::regex_search(lines[2], prefix, kLinePrefix)) << lines[2];
  EXPECT_EQ(static_cast<size_t>(prefix.length()), lines[2].size()) << "'" << lines[2] << "'";
  EXPECT_EQ("two", lines[3].substr(lines[3].size() - 3)) << lines[3];
  EXPECT_EQ("parts", lines[4]);
  EXPECT_EQ("", lines[5]) << "file must end with CR LF";

  testsupport::RemoveTree(path);
  WriteLogLine("fresh", path.c_str(), true);
  const std::string created = ReadWholeFile(path);
  EXPECT_TRUE(std::regex_search(created, kLinePrefix)) << created;
  EXPECT_EQ("fresh\r\n", created.substr(created.size() - 7)) << created;
}

TEST(WriteLogLine, HoldsItsFoldersAgainstARenameAndAppendsToAFileAnotherRunMadeMeanwhile) {
  const ScratchFolder folder("log_race");
  g_logFolders = folder.path();
  g_renameErrors.clear();
  CreateDirectoryChain((folder / "Halvorne\\Logs\\race.log").c_str());
  testsupport::ImportSwap swap("ntdll.dll", "NtCreateFile", reinterpret_cast<void*>(&InterferingCreate));
  ASSERT_TRUE(swap.Active()) << "the test program does not import NtCreateFile";
  g_ntCreateFile = swap.Original<decltype(&NtCreateFile)>();

  WriteLogLine("first line", (folder / "Halvorne\\Logs\\race.log").c_str(), true);

  const std::vector<DWORD> refused = {ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION};
  EXPECT_EQ(refused, g_renameErrors) << "renames of Logs and Halvorne while the log was opened";
  const std::vector<std::string> lines = SplitLines(ReadWholeFile(folder / "Halvorne\\Logs\\race.log"));
  ASSERT_EQ(3u, lines.size()) << ReadWholeFile(folder / "Halvorne\\Logs\\race.log");
  EXPECT_EQ("made by another run", lines[0]);
  EXPECT_TRUE(std::regex_search(lines[1], kLinePrefix) && lines[1].find("] first line") != std::string::npos)
      << "the line after the other run's: " << lines[1];
}

TEST(WriteLogLine, NameMissingToTheOpenAndTakenToTheCreateDropsTheLineInsteadOfAskingForever) {
  const ScratchFolder folder("log_dangling");
  const std::string path = folder / "Halvorne\\Logs\\dangling.log";
  CreateDirectoryChain(path.c_str());
  testsupport::ImportSwap swap("ntdll.dll", "NtCreateFile", reinterpret_cast<void*>(&InterferingCreate));
  ASSERT_TRUE(swap.Active()) << "the test program does not import NtCreateFile";
  g_ntCreateFile = swap.Original<decltype(&NtCreateFile)>();
  g_danglingCreates = 0;

  WriteLogLine("lost", path.c_str(), true);

  EXPECT_LT(g_danglingCreates, 50) << "the log was created again and again";
  EXPECT_FALSE(FileExists(path));
}

TEST(WriteLogLine, DisabledCallCreatesNothing) {
  const ScratchFolder folder("log_disabled");
  WriteLogLine("never", (folder / "disabled.log").c_str(), false);
  EXPECT_FALSE(FileExists(folder / "disabled.log"));
}

TEST(WriteLogLine, LineOneCharacterTooLongIsDroppedWholeAndTheNextIsWritten) {
  const ScratchFolder folder("log_too_long");
  const std::string path = folder / "long.log";
  const size_t fitting = 4095 - CurrentPrefixLength();
  const std::string longest(fitting, 'L');
  const std::string tooLong(fitting + 1, 'T');

  WriteLogLine(longest.c_str(), path.c_str(), true);
  WriteLogLine(tooLong.c_str(), path.c_str(), true);
  WriteLogLine("after", path.c_str(), true);

  const std::string contents = ReadWholeFile(path);
  const std::vector<std::string> lines = SplitLines(contents);
  ASSERT_EQ(3u, lines.size()) << "file size " << contents.size();
  EXPECT_EQ(4095u, lines[0].size());
  EXPECT_TRUE(lines[0].compare(lines[0].size() - fitting, fitting, longest) == 0)
      << "line altered; it begins '" << lines[0].substr(0, 40) << "'";
  EXPECT_EQ(std::string::npos, contents.find('T')) << "part of the over-long line was written";
  EXPECT_EQ("after", lines[1].substr(lines[1].size() - 5)) << lines[1];
}

TEST(WriteLogLine, UnwritableLocationDropsTheLineWithoutWaiting) {
  const ScratchFolder folder("log_unwritable");
  // A file where the log's directory should be: no permission trick needed.
  ASSERT_TRUE(WriteWholeFile(folder / "Logs", "not a directory"));
  const std::string path = folder / "Logs\\KESPremoval.log";

  logtest::PauseRecorder pauses;
  ASSERT_TRUE(pauses.Active()) << "the test program does not import Sleep";
  WriteLogLine("lost", path.c_str(), true);

  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(0u, pauses.count()) << "a log that cannot be created must not be waited for";
  EXPECT_EQ("not a directory", ReadWholeFile(folder / "Logs"));
}

TEST(CreateDirectoryChain, CreatesEveryMissingDirectoryButNotTheFileName) {
  const ScratchFolder folder("log_chain");
  const std::string file = folder / "One\\Two\\Three\\chain.log";
  CreateDirectoryChain(file.c_str());
  EXPECT_TRUE(IsDirectory(folder / "One\\Two\\Three")) << file;
  EXPECT_FALSE(FileExists(file)) << "the file name became a directory";

  // All there already: nothing changes, and files inside stay.
  ASSERT_TRUE(WriteWholeFile(folder / "One\\Two\\Three\\keep.txt", "k"));
  CreateDirectoryChain(file.c_str());
  EXPECT_EQ("k", ReadWholeFile(folder / "One\\Two\\Three\\keep.txt"));

  // A path ending in a backslash is all directory part.
  CreateDirectoryChain((folder / "Four\\Five\\").c_str());
  EXPECT_TRUE(IsDirectory(folder / "Four\\Five"));
}

// The log's own two folders keep standing users out: a protected DACL of their own, made with
// the folder. The folders above them are only asked for, as the system's own.
TEST(CreateDirectoryChain, OwnFoldersGetAProtectedDaclThatGivesUsersOnlyRead) {
  const ScratchFolder folder("log_chain_dacl");
  const std::string own = " D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  testsupport::ImportSwap swap("kernel32.dll", "CreateDirectoryA", reinterpret_cast<void*>(&RecordingCreateDirectory));
  ASSERT_TRUE(swap.Active()) << "the test program does not import CreateDirectoryA";
  g_createDirectory = swap.Original<decltype(&CreateDirectoryA)>();

  g_createdFolders.clear();
  CreateDirectoryChain((folder / "Base\\Halvorne\\Logs\\KESPremoval.log").c_str());
  ASSERT_LE(3u, g_createdFolders.size());
  EXPECT_EQ(folder / "Base\\ default", g_createdFolders[g_createdFolders.size() - 3]);
  EXPECT_EQ(folder / "Base\\Halvorne" + own, g_createdFolders[g_createdFolders.size() - 2]);
  EXPECT_EQ(folder / "Base\\Halvorne\\Logs" + own, g_createdFolders.back());

  // Nothing is asked for below an own folder that is not a real one (a link, here a file).
  ASSERT_TRUE(WriteWholeFile(folder / "Planted", "a file where a folder should be"));
  g_createdFolders.clear();
  CreateDirectoryChain((folder / "Planted\\Logs\\KESPremoval.log").c_str());
  ASSERT_FALSE(g_createdFolders.empty());
  EXPECT_EQ(folder / "Planted" + own, g_createdFolders.back());
}

TEST(CreateDirectoryChain, PathsOf260CharactersOrWithoutBackslashCreateNothing) {
  const ScratchFolder folder("log_chain_limits");
  std::string file = folder / "Deep\\";
  file += std::string(260 - file.size() - 4, 'p') + ".log";
  ASSERT_EQ(260u, file.size());
  CreateDirectoryChain(file.c_str());
  EXPECT_FALSE(FileExists(folder / "Deep")) << "created for a path of " << file.size();

  std::string fits = folder / "Fits\\";
  fits += std::string(259 - fits.size() - 4, 'p') + ".log";
  CreateDirectoryChain(fits.c_str());
  EXPECT_TRUE(IsDirectory(folder / "Fits")) << "not created for a path of " << fits.size();

  std::string current(GetCurrentDirectoryA(0, nullptr), '\0');
  GetCurrentDirectoryA(static_cast<DWORD>(current.size()), &current[0]);
  SetCurrentDirectoryA(folder.path().c_str());
  CreateDirectoryChain("bare_name.log");
  CreateDirectoryChain("");
  SetCurrentDirectoryA(current.c_str());
  EXPECT_FALSE(FileExists(folder / "bare_name.log"));
}
