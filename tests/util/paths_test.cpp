// The program's own path, the temporary directory and the directory part of a path, each
// in a buffer of 260 wide characters with marker characters behind it.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>

#include <string>

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
