// The program's own path, the temporary directory and the directory part of a path, each
// in a buffer of 260 wide characters with marker characters behind it; and how a path is
// named in the code page: exactly, by the short form of the names it cannot spell, or not
// at all.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>

#include <memory>
#include <string>

#include "support/short_names.h"
#include "support/test_process.h"
#include "util/path_spelling.h"
#include "util/paths.h"

namespace {

const wchar_t kMarker = L'\x7E';
const size_t kPath = 260;

struct PathBuffer {
  wchar_t chars[kPath + 40];
  explicit PathBuffer(const std::wstring& text = L"") {
    wmemset(chars, kMarker, kPath + 40);
    wmemcpy(chars, text.c_str(), text.size() + 1);
  }
  bool GuardIntact() const {
    for (size_t i = kPath; i < kPath + 40; ++i) {
      if (chars[i] != kMarker) return false;
    }
    return true;
  }
};

std::string Narrow(const std::wstring& wide) {
  char text[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && _wcsicmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

}  // namespace

TEST(GetModulePath, GivesTheFullPathOfTheRunningExecutable) {
  PathBuffer path;
  ASSERT_TRUE(GetModulePath(path.chars));
  const std::wstring got = path.chars;
  EXPECT_TRUE(EndsWithNoCase(got, L"\\util_tests.exe")) << Narrow(got);
  EXPECT_EQ(L':', got.size() > 1 ? got[1] : L'?') << "not a full path: " << Narrow(got);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(got.c_str())) << Narrow(got);
  EXPECT_TRUE(path.GuardIntact());
}

TEST(GetTempDirectory, GivesAnExistingDirectoryWithTrailingBackslash) {
  PathBuffer path(L"stale text");
  GetTempDirectory(path.chars);
  const std::wstring got = path.chars;
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(L'\\', got.back()) << Narrow(got);
  const DWORD attributes = GetFileAttributesW(got.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << Narrow(got);
  EXPECT_TRUE(path.GuardIntact());
}

// A temporary path the platform cannot give in 260 characters must not be passed on cut
// short or left over from before: the path comes back empty.
TEST(GetTempDirectory, EmptiesThePathWhenThePlatformGivesNone) {
  char savedTmp[4096] = {};
  char savedTemp[4096] = {};
  const DWORD hadTmp = GetEnvironmentVariableA("TMP", savedTmp, sizeof(savedTmp));
  const DWORD hadTemp = GetEnvironmentVariableA("TEMP", savedTemp, sizeof(savedTemp));
  const std::string overlong = "C:\\" + std::string(300, 't');
  SetEnvironmentVariableA("TMP", overlong.c_str());
  SetEnvironmentVariableA("TEMP", overlong.c_str());

  PathBuffer path(L"stale text");
  GetTempDirectory(path.chars);

  SetEnvironmentVariableA("TMP", hadTmp ? savedTmp : nullptr);
  SetEnvironmentVariableA("TEMP", hadTemp ? savedTemp : nullptr);
  EXPECT_STREQ(L"", path.chars);
  EXPECT_TRUE(path.GuardIntact());
}

TEST(SourceDirectoryOf, CutsAtTheLastBackslash) {
  struct Case {
    const wchar_t* given;
    const wchar_t* expected;
  };
  const std::wstring nearLimit = L"C:\\" + std::wstring(248, L'd');
  const Case cases[] = {
      {L"D:\\Dir\\Sub\\app.exe", L"D:\\Dir\\Sub"},
      {L"D:\\Dir\\", L"D:\\Dir"},
      {L"D:\\app.exe", L"D:"},
      {L"app.exe", L""},
      {L"\\app.exe", L""},
      {L"", L""},
      {L"D:/Dir/app.exe", L""},
      {L"\\\\server\\share\\app.exe", L"\\\\server\\share"},
  };
  for (const Case& c : cases) {
    PathBuffer path(c.given);
    SourceDirectoryOf(path.chars);
    EXPECT_STREQ(c.expected, path.chars) << "given " << Narrow(c.given);
    EXPECT_TRUE(path.GuardIntact()) << "given " << Narrow(c.given);
  }
  PathBuffer longest(nearLimit + L"\\app.exe");
  ASSERT_EQ(259u, wcslen(longest.chars));
  SourceDirectoryOf(longest.chars);
  EXPECT_EQ(nearLimit, longest.chars);
}

TEST(SourceDirectoryOf, LeavesAPathWithoutTerminatorWithin260Alone) {
  PathBuffer path;
  for (size_t i = 0; i < kPath; ++i) path.chars[i] = (i % 10 == 3) ? L'\\' : L'p';
  path.chars[kPath + 5] = L'\0';
  PathBuffer before = path;
  SourceDirectoryOf(path.chars);
  EXPECT_EQ(0, wmemcmp(before.chars, path.chars, kPath + 40)) << "now: " << Narrow(std::wstring(path.chars, 20));
}

namespace {

std::wstring Wide(const std::string& text) {
  wchar_t wide[1024] = {};
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 1024);
  return wide;
}

}  // namespace

// The rules by which a path from the system is named in the log and acted on. Under the
// code page 1252 "Ł" has the look-alike "L" and Cyrillic letters only "?".
TEST(SpellPath, NamesAPathExactlyOrByTheShortFormOfItsForeignNamesButNeverByALookAlike) {
  if (GetACP() != 1252) GTEST_SKIP() << "the table is written for code page 1252, not " << GetACP();
  const testsupport::ScratchFolder scratch("spelling");
  const std::string base = scratch.path();
  const std::wstring root = Wide(base);
  const std::wstring foreign = root + L"\\\u0141ukasz \u0414\u043c\u0438\u0442\u0440\u0438\u0439";
  for (const std::wstring& folder : {foreign, foreign + L"\\Temp", root + L"\\Zo\u00eb"}) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << Narrow(folder);
  }
  wchar_t shortForeign[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW(foreign.c_str(), shortForeign, MAX_PATH));
  const std::string shortName = Narrow(wcsrchr(shortForeign, L'\\') + 1);
  const std::string rendered = base + "\\Lukasz ???????\\Temp\\" + kRenderedMark;

  struct Row {
    std::wstring path;
    bool volumeHasShortNames;
    PathSpelling spelling;
    std::string text;
  };
  const Row rows[] = {
      {root + L"\\Zo\u00eb\\", true, PathSpelling::kExact, base + "\\Zo\xEB\\"},
      {foreign + L"\\Temp\\", true, PathSpelling::kShortForm, base + "\\" + shortName + "\\Temp\\"},
      // The copy about to be made there: its folder's short form and its own name.
      {foreign + L"\\Temp\\VuzavoRURIvezarov.exe", true, PathSpelling::kShortForm,
       base + "\\" + shortName + "\\Temp\\VuzavoRURIvezarov.exe"},
      {foreign + L"\\Temp\\", false, PathSpelling::kRendered, rendered},
      {root + L"\\Zo\u00eb\\", false, PathSpelling::kExact, base + "\\Zo\xEB\\"},
  };
  for (const Row& row : rows) {
    const std::unique_ptr<testsupport::ImportSwap> swap = testsupport::SwapAwayShortNames(!row.volumeHasShortNames);
    ASSERT_TRUE(swap == nullptr || swap->Active()) << "the test program does not import GetShortPathNameW";
    SpelledPath place = {};
    CopyPath(place.path, row.path.c_str());
    SpellPath(&place);
    const std::wstring spelled = row.spelling == PathSpelling::kShortForm ? Wide(row.text) : row.path;
    SCOPED_TRACE(Narrow(row.path) + (row.volumeHasShortNames ? "" : ", no short names"));
    EXPECT_EQ(static_cast<int>(row.spelling), static_cast<int>(place.spelling));
    EXPECT_EQ(row.text, place.text);
    EXPECT_TRUE(spelled == place.spelled) << "acts on " << Narrow(place.spelled);
  }
}
