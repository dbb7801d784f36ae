// The program's own path, the temporary directory and the directory part of a path, each
// in a 260-character buffer with marker bytes behind it.
#include <gtest/gtest.h>

#include <string.h>
#include <windows.h>

#include <string>

#include "support/test_process.h"
#include "util/paths.h"

namespace {

const char kMarker = '\x7E';
const size_t kPath = 260;

struct PathBuffer {
  char bytes[kPath + 40];
  explicit PathBuffer(const std::string& text = "") {
    memset(bytes, kMarker, sizeof(bytes));
    memcpy(bytes, text.c_str(), text.size() + 1);
  }
  bool GuardIntact() const {
    for (size_t i = kPath; i < sizeof(bytes); ++i) {
      if (bytes[i] != kMarker) return false;
    }
    return true;
  }
};

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         _stricmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

}  // namespace

TEST(GetModulePath, GivesTheFullPathOfTheRunningExecutable) {
  PathBuffer path;
  ASSERT_TRUE(GetModulePath(path.bytes));
  const std::string got = path.bytes;
  EXPECT_TRUE(EndsWithNoCase(got, "\\util_tests.exe")) << got;
  EXPECT_EQ(':', got.size() > 1 ? got[1] : '?') << "not a full path: " << got;
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(got.c_str())) << got;
  EXPECT_TRUE(path.GuardIntact());
}

TEST(GetTempDirectory, GivesAnExistingDirectoryWithTrailingBackslash) {
  PathBuffer path("stale text");
  GetTempDirectory(path.bytes);
  const std::string got = path.bytes;
  ASSERT_FALSE(got.empty());
  EXPECT_EQ('\\', got.back()) << got;
  EXPECT_TRUE(testsupport::IsDirectory(got)) << got;
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

  PathBuffer path("stale text");
  GetTempDirectory(path.bytes);

  SetEnvironmentVariableA("TMP", hadTmp ? savedTmp : nullptr);
  SetEnvironmentVariableA("TEMP", hadTemp ? savedTemp : nullptr);
  EXPECT_STREQ("", path.bytes);
  EXPECT_TRUE(path.GuardIntact());
}

TEST(SourceDirectoryOf, CutsAtTheLastSeparator) {
  struct Case {
    const char* given;
    const char* expected;
  };
  const std::string nearLimit = "C:\\" + std::string(248, 'd');
  const Case cases[] = {
      {"D:\\Dir\\Sub\\app.exe", "D:\\Dir\\Sub"},
      {"\"D:\\Dir\\app.exe\"", "D:\\Dir"},
      {"http://example.com/dir/file.exe", "http://example.com/dir"},
      {"HTTP://Example.com/dir/file.exe", "HTTP://Example.com/dir"},
      {"D:\\Dir\\", "D:\\Dir"},
      {"D:\\app.exe", "D:"},
      {"app.exe", ""},
      {"\\app.exe", ""},
      {"", ""},
      // The URL separator is the slash alone, a plain path's the backslash alone.
      {"http://host/dir\\file.exe", "http://host"},
      {"D:/Dir/app.exe", ""},
      {"C:\\Users\\http\\app.exe", "C:\\Users\\http"},
      {"\"app.exe\"", ""},
      {"\"\\app.exe\"", ""},
      {"\"D:\\Dir\\\"quoted\\app.exe", "D:\\Dir\\\"quoted"},
  };
  for (const Case& c : cases) {
    PathBuffer path(c.given);
    SourceDirectoryOf(path.bytes);
    EXPECT_STREQ(c.expected, path.bytes) << "given " << c.given;
    EXPECT_TRUE(path.GuardIntact()) << "given " << c.given;
  }
  PathBuffer longest(nearLimit + "\\app.exe");
  ASSERT_EQ(259u, strlen(longest.bytes));
  SourceDirectoryOf(longest.bytes);
  EXPECT_EQ(nearLimit, longest.bytes);
}

TEST(SourceDirectoryOf, LeavesAPathWithoutTerminatorWithin260Alone) {
  PathBuffer path;
  for (size_t i = 0; i < kPath; ++i) path.bytes[i] = (i % 10 == 3) ? '\\' : 'p';
  path.bytes[kPath + 5] = '\0';
  PathBuffer before = path;
  SourceDirectoryOf(path.bytes);
  EXPECT_EQ(0, memcmp(before.bytes, path.bytes, sizeof(path.bytes)))
      << "now: " << std::string(path.bytes, 20) << "...";
}
