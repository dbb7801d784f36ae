// A path's parts by its backslashes, in code-page text and in UTF-16 alike, read only within
// the length given: the file name, each name below a folder, and the start of the last names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/path_parts.h"

namespace {

// The names NameEnd visits, starting after each backslash in turn.
template <typename Char>
std::vector<size_t> NameEnds(const Char* path, size_t length) {
  std::vector<size_t> ends;
  for (size_t end = NameEnd(path, 0, length); ; end = NameEnd(path, end + 1, length)) {
    ends.push_back(end);
    if (end == length) return ends;
  }
}

}  // namespace

TEST(PathParts, FileNameAndNamesAreFoundWithinTheLengthOnlyInBothWidths) {
  struct Row {
    const char* path;
    size_t length;
    size_t fileNameStart;
    std::vector<size_t> nameEnds;
  };
  const Row rows[] = {
      {"C:\\ProgramData\\Halvorne\\Logs\\a.log", 34, 29, {2, 14, 23, 28, 34}},
      {"C:\\", 3, 3, {2, 3}},
      {"name", 4, 0, {4}},
      {"", 0, 0, {0}},
      {"\\\\server\\share", 14, 9, {0, 1, 8, 14}},
      // A length short of the terminator: nothing past it is read.
      {"C:\\a\\b\\c", 5, 5, {2, 4, 5}},
      {"C:\\a\\b\\c", 4, 3, {2, 4}},
  };
  for (const Row& row : rows) {
    const std::wstring wide(row.path, row.path + std::char_traits<char>::length(row.path));
    EXPECT_EQ(row.fileNameStart, FileNameStart(row.path, row.length)) << row.path << " / " << row.length;
    EXPECT_EQ(row.fileNameStart, FileNameStart(wide.c_str(), row.length)) << row.path;
    EXPECT_EQ(row.nameEnds, NameEnds(row.path, row.length)) << row.path << " / " << row.length;
    EXPECT_EQ(row.nameEnds, NameEnds(wide.c_str(), row.length)) << row.path;
  }
}

TEST(PathParts, LastNamesStartAtTheBackslashBeforeThemOrNotAtAll) {
  const char path[] = "C:\\ProgramData\\Halvorne\\Logs\\a.log";
  const size_t length = sizeof(path) - 1;
  size_t start = 99;
  ASSERT_TRUE(LastNamesStart(path, length, 1, &start));
  EXPECT_EQ(28u, start);
  ASSERT_TRUE(LastNamesStart(path, length, 3, &start));
  EXPECT_EQ(14u, start);
  ASSERT_TRUE(LastNamesStart(path, length, 4, &start));
  EXPECT_EQ(2u, start);
  start = 99;
  EXPECT_FALSE(LastNamesStart(path, length, 5, &start)) << "only four names lie after a backslash";
  EXPECT_EQ(99u, start) << "a path with too few names leaves the answer alone";
  EXPECT_FALSE(LastNamesStart(path, 14, 2, &start)) << "the length given ends the path";
  EXPECT_FALSE(LastNamesStart(L"a.log", 5, 1, &start));
}
