// The text helpers: case-insensitive search, slicing, trimming, cleaning and numbers, with
// the 4095-character limit probed from both sides and marker bytes proving that nothing is
// written past what each helper may touch.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "util/text_helpers.h"

namespace {

const char kMarker = '\x7E';

// A writable copy of text followed by marker bytes.
std::vector<char> Guarded(const std::string& text, size_t guard = 8) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  buffer.insert(buffer.end(), guard, kMarker);
  return buffer;
}

std::vector<char> Markers(size_t count) { return std::vector<char>(count, kMarker); }

std::string Letters(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

}  // namespace

TEST(FindNoCase, AnswersFirstOneBasedPositionIgnoringLetterCase) {
  struct Case {
    const char* searched;
    const char* sought;
    int expected;
  };
  const Case cases[] = {
      {"C:\\Users\\Tom\\Temp\\", "c:\\users\\tom\\temp\\", 1},
      {"C:\\Users\\Tom\\Temp\\", "C:\\USERS\\TOM\\TEMP", 1},
      {"xxSILENT", "silent", 3},
      {"run zapfiles and zapfiles", "ZapFiles", 5},
      {"zap", "zapfiles", 0},
      {"silent", "silence", 0},
      {"", "silent", 0},
      {"silent", "", 0},
      {nullptr, "silent", 0},
      {"silent", nullptr, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, FindNoCase(c.searched, c.sought))
        << "searched '" << (c.searched ? c.searched : "(null)") << "', sought '"
        << (c.sought ? c.sought : "(null)") << "'";
  }
  char searched[] = "abc zapfiles";
  char sought[] = "ZAPfiles";
  EXPECT_EQ(5, FindNoCase(searched, sought));
  EXPECT_STREQ("abc zapfiles", searched) << "the searched text must not be upper-cased";
  EXPECT_STREQ("ZAPfiles", sought);
}

TEST(FindNoCase, AcceptsTextsUpTo4095CharactersAndNoLonger) {
  const std::string longest = Letters(4092) + "END";
  EXPECT_EQ(4093, FindNoCase(longest.c_str(), "end"));
  EXPECT_EQ(1, FindNoCase(longest.c_str(), longest.c_str()));

  const std::string tooLong = Letters(4093) + "END";
  EXPECT_EQ(0, FindNoCase(tooLong.c_str(), "a")) << "searched of " << tooLong.size();
  EXPECT_EQ(0, FindNoCase(tooLong.c_str(), "end"));
  EXPECT_EQ(0, FindNoCase((longest + "x").c_str(), longest.c_str()));
  // A sought text cut to 4095 characters would wrongly be found here.
  EXPECT_EQ(0, FindNoCase(longest.c_str(), (longest + "x").c_str())) << "sought of 4096";
}

TEST(LeftAndRightPart, WriteExactlyCountCharactersAndATerminator) {
  for (int count = 0; count <= 6; ++count) {
    std::vector<char> left = Markers(16);
    std::vector<char> right = Markers(16);
    LeftPart("abcdef", left.data(), count);
    RightPart("abcdef", right.data(), count);
    EXPECT_EQ(std::string("abcdef", static_cast<size_t>(count)), left.data()) << "count " << count;
    EXPECT_EQ(std::string("abcdef" + 6 - count), right.data()) << "count " << count;
    EXPECT_EQ(kMarker, left[static_cast<size_t>(count) + 1]) << "left wrote past count + 1";
    EXPECT_EQ(kMarker, right[static_cast<size_t>(count) + 1]) << "right wrote past count + 1";
  }
  // Counts outside 0..length are clamped and stay within the source and count + 1.
  std::vector<char> clamped = Markers(16);
  LeftPart("abc", clamped.data(), 10);
  EXPECT_STREQ("abc", clamped.data());
  RightPart("abc", clamped.data(), -4);
  EXPECT_STREQ("", clamped.data());
}

TEST(LeftAndRightPart, EmptyAndOverlongSources) {
  std::vector<char> left = Guarded("keep");
  std::vector<char> right = Guarded("keep");
  LeftPart("", left.data(), 0);
  RightPart("", right.data(), 0);
  EXPECT_STREQ("keep", left.data()) << "an empty source leaves LeftPart's destination alone";
  EXPECT_STREQ("", right.data()) << "an empty source empties RightPart's destination";

  const std::string longest = Letters(4095);
  std::vector<char> whole = Markers(4100);
  LeftPart(longest.c_str(), whole.data(), 4095);
  EXPECT_EQ(longest, whole.data());
  RightPart(longest.c_str(), whole.data(), 2);
  EXPECT_STREQ(longest.substr(4093).c_str(), whole.data());

  const std::string tooLong = Letters(4096);
  left = Guarded("keep");
  right = Guarded("keep");
  LeftPart(tooLong.c_str(), left.data(), 2);
  RightPart(tooLong.c_str(), right.data(), 2);
  EXPECT_STREQ("keep", left.data());
  EXPECT_STREQ("keep", right.data());
}

TEST(TrimText, RemovesCodes1To32And128To255AtBothEndsOnly) {
  for (int code = 1; code <= 255; ++code) {
    if (code > 32 && code < 128) continue;
    const char blank = static_cast<char>(code);
    std::vector<char> text = Guarded(std::string(2, blank) + "KESP service" + blank);
    TrimText(text.data());
    EXPECT_STREQ("KESP service", text.data()) << "blank code " << code;
    EXPECT_EQ(kMarker, text[16]) << "blank code " << code;
  }
  for (const char* kept : {"!x!", "\x7Fx\x7F", "~x~"}) {
    std::vector<char> text = Guarded(kept);
    TrimText(text.data());
    EXPECT_STREQ(kept, text.data()) << "codes 33 to 127 are not blanks";
  }
  std::vector<char> onlyBlanks = Guarded(" \t\r\n \xA0\xFF ");
  TrimText(onlyBlanks.data());
  EXPECT_STREQ("", onlyBlanks.data());
}

TEST(TrimText, Handles4095CharactersAndLeaves4096Alone) {
  std::vector<char> longest = Guarded(" " + Letters(4093) + " ");
  TrimText(longest.data());
  EXPECT_EQ(Letters(4093), longest.data());

  const std::string tooLong = " " + Letters(4094) + " ";
  std::vector<char> text = Guarded(tooLong);
  TrimText(text.data());
  EXPECT_EQ(tooLong, text.data()) << "a text of 4096 characters stays as it is";
}

TEST(KeepPrintable, KeepsOnlyCodes32To126InOrder) {
  std::string everyCode;
  std::string printable;
  for (int code = 1; code <= 255; ++code) {
    everyCode += static_cast<char>(code);
    if (code >= 32 && code <= 126) printable += static_cast<char>(code);
  }
  std::vector<char> text = Guarded(everyCode);
  KeepPrintable(text.data());
  EXPECT_EQ(printable, text.data());

  std::vector<char> message = Guarded("Access is denied.\r\n");
  KeepPrintable(message.data());
  EXPECT_STREQ("Access is denied.", message.data());

  std::vector<char> longest = Guarded(Letters(4094) + "\n");
  KeepPrintable(longest.data());
  EXPECT_EQ(Letters(4094), longest.data());

  const std::string tooLong = Letters(4095) + "\n";
  std::vector<char> untouched = Guarded(tooLong);
  KeepPrintable(untouched.data());
  EXPECT_EQ(tooLong, untouched.data());
}

TEST(NumberText, WritesSignedDecimalWithoutPadding) {
  struct Case {
    int32_t value;
    const char* expected;
  };
  const Case cases[] = {
      {0, "0"},
      {-5, "-5"},
      {7, "7"},
      {1056, "1056"},
      {2147483647, "2147483647"},
      {static_cast<int32_t>(0x80000000u), "-2147483648"},
      {static_cast<int32_t>(0xFFFFFFFFu), "-1"},
      {static_cast<int32_t>(0x80070005u), "-2147024891"},
  };
  for (const Case& c : cases) {
    std::vector<char> text = Markers(260);
    NumberText(c.value, text.data());
    EXPECT_STREQ(c.expected, text.data()) << "value " << c.value;
    EXPECT_EQ(kMarker, text[strlen(c.expected) + 1]) << "value " << c.value;
  }
}
