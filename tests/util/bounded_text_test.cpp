// The bounded text operations against MinGW's strsafe.h, the reference they are named
// after: result and every byte of the buffer, guard bytes past the end included, must match
// over generated capacities, sources around the capacity and unterminated destinations.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "util/bounded_text.h"

#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

namespace {

const size_t kLargestCapacity = 40;
const size_t kGuard = 16;
const size_t kBufferSize = kLargestCapacity + kGuard + 2;
const char kMarker = '\x7E';

struct Buffers {
  char ours[kBufferSize];
  char reference[kBufferSize];
};

std::string Visible(const char* bytes, size_t count) {
  std::string shown;
  char escaped[8];
  for (size_t i = 0; i < count; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 32 && c < 127 && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown;
}

// Destination state shared by both sides: `used` characters of text, then a terminator
// unless `terminated` is false, then marker bytes to the end of the array.
void Prepare(Buffers& buffers, size_t used, bool terminated) {
  memset(buffers.ours, kMarker, kBufferSize);
  for (size_t i = 0; i < used; ++i) buffers.ours[i] = static_cast<char>('a' + i % 26);
  if (terminated) buffers.ours[used] = '\0';
  memcpy(buffers.reference, buffers.ours, kBufferSize);
}

std::string Source(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char>('A' + i % 26);
  return text;
}

::testing::AssertionResult SameAsReference(HRESULT expected, TextResult got, const Buffers& buffers,
                                           size_t capacity) {
  const bool sameBytes = memcmp(buffers.ours, buffers.reference, kBufferSize) == 0;
  bool guardIntact = true;
  for (size_t i = capacity; i < kBufferSize; ++i) {
    if (buffers.reference[i] != buffers.ours[i]) guardIntact = false;
  }
  if (static_cast<TextResult>(expected) == got && sameBytes && guardIntact) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "capacity " << capacity << ": result 0x" << std::hex << static_cast<uint32_t>(got)
         << ", reference 0x" << static_cast<uint32_t>(expected) << "\n  ours:      "
         << Visible(buffers.ours, kBufferSize) << "\n  reference: "
         << Visible(buffers.reference, kBufferSize);
}

}  // namespace

TEST(BoundedText, CopyMatchesStringCchCopyForSourcesAroundEveryCapacity) {
  Buffers buffers;
  for (size_t capacity = 0; capacity <= kLargestCapacity; ++capacity) {
    for (size_t length = 0; length <= capacity + 2; ++length) {
      const std::string source = Source(length);
      Prepare(buffers, 0, false);
      const TextResult got = CopyText(buffers.ours, capacity, source.c_str());
      const HRESULT expected = StringCchCopyA(buffers.reference, capacity, source.c_str());
      ASSERT_TRUE(SameAsReference(expected, got, buffers, capacity)) << "source length " << length;
    }
  }
}

TEST(BoundedText, AppendMatchesStringCchCatIncludingUnterminatedDestinations) {
  Buffers buffers;
  for (size_t capacity = 0; capacity <= kLargestCapacity; ++capacity) {
    for (size_t used = 0; used <= capacity; ++used) {
      // used == capacity: no terminator anywhere within the capacity.
      const bool terminated = used < capacity;
      for (size_t length = 0; length <= capacity - used + 2; ++length) {
        const std::string source = Source(length);
        Prepare(buffers, used, terminated);
        const TextResult got = AppendText(buffers.ours, capacity, source.c_str());
        const HRESULT expected = StringCchCatA(buffers.reference, capacity, source.c_str());
        ASSERT_TRUE(SameAsReference(expected, got, buffers, capacity))
            << "text before " << used << ", source length " << length;
      }
    }
  }
}

TEST(BoundedText, LengthMatchesStringCchLengthAtEveryBound) {
  Buffers buffers;
  for (size_t used = 0; used <= kLargestCapacity; ++used) {
    for (size_t maximum = 0; maximum <= kLargestCapacity + 1; ++maximum) {
      Prepare(buffers, used, true);
      size_t ours = 999;
      size_t reference = 999;
      const TextResult got = TextLength(buffers.ours, maximum, &ours);
      const HRESULT expected = StringCchLengthA(buffers.reference, maximum, &reference);
      ASSERT_EQ(static_cast<TextResult>(expected), got) << "text " << used << ", maximum " << maximum;
      ASSERT_EQ(reference, ours) << "text " << used << ", maximum " << maximum;
      ASSERT_EQ(static_cast<TextResult>(expected), TextLength(buffers.ours, maximum, nullptr));
    }
  }
  size_t length = 999;
  EXPECT_EQ(kTextInvalidParameter, TextLength(nullptr, 10, &length));
  EXPECT_EQ(0u, length);
}

TEST(BoundedText, FormatMatchesStringCchPrintfAroundEveryCapacity) {
  Buffers buffers;
  for (size_t capacity = 0; capacity <= kLargestCapacity; ++capacity) {
    for (size_t length = 0; length <= capacity + 2; ++length) {
      const std::string text = Source(length);
      Prepare(buffers, 0, false);
      TextResult got = FormatText(buffers.ours, capacity, "%s", text.c_str());
      HRESULT expected = StringCchPrintfA(buffers.reference, capacity, "%s", text.c_str());
      ASSERT_TRUE(SameAsReference(expected, got, buffers, capacity)) << "text length " << length;

      const int value = -static_cast<int>(length * 7919);
      Prepare(buffers, 0, false);
      got = FormatText(buffers.ours, capacity, "%s: %i at %02d:%02d", text.c_str(), value,
                       static_cast<int>(length % 10), static_cast<int>(length));
      expected = StringCchPrintfA(buffers.reference, capacity, "%s: %i at %02d:%02d", text.c_str(),
                                  value, static_cast<int>(length % 10), static_cast<int>(length));
      ASSERT_TRUE(SameAsReference(expected, got, buffers, capacity)) << "text length " << length;
    }
  }
}

// MinGW's header predates the rule that an oversized capacity still empties the
// destination, so these are checked against that rule directly.
TEST(BoundedText, CapacityAboveLimitIsRejectedTouchingAtMostTheFirstCharacter) {
  const size_t tooLarge[] = {kMaxTextCapacity + 1, static_cast<size_t>(-1)};
  for (size_t capacity : tooLarge) {
    Buffers buffers;
    Prepare(buffers, 5, true);
    EXPECT_EQ(kTextInvalidParameter, CopyText(buffers.ours, capacity, "xyz"));
    EXPECT_EQ(std::string("\\x00bcde\\x00~~"), Visible(buffers.ours, 8)) << "copy, capacity " << capacity;

    Prepare(buffers, 5, true);
    EXPECT_EQ(kTextInvalidParameter, FormatText(buffers.ours, capacity, "%s", "xyz"));
    EXPECT_EQ(std::string("\\x00bcde\\x00~~"), Visible(buffers.ours, 8)) << "format, capacity " << capacity;

    Prepare(buffers, 5, true);
    EXPECT_EQ(kTextInvalidParameter, AppendText(buffers.ours, capacity, "xyz"));
    EXPECT_EQ(std::string("abcde\\x00~~"), Visible(buffers.ours, 8)) << "append, capacity " << capacity;

    size_t length = 999;
    EXPECT_EQ(kTextInvalidParameter, TextLength(buffers.ours, capacity, &length));
    EXPECT_EQ(0u, length) << "capacity " << capacity;
  }
  // The limit itself is still a valid capacity.
  char buffer[8] = "abc";
  size_t length = 999;
  EXPECT_EQ(kTextOk, CopyText(buffer, kMaxTextCapacity, "xy"));
  EXPECT_EQ(kTextOk, AppendText(buffer, kMaxTextCapacity, "z"));
  EXPECT_EQ(kTextOk, TextLength(buffer, kMaxTextCapacity, &length));
  EXPECT_EQ(3u, length);
  EXPECT_EQ(kTextOk, FormatText(buffer + 3, kMaxTextCapacity, "%i", 42));
  EXPECT_STREQ("xyz42", buffer);
}
