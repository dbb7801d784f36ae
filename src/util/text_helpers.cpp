#include "util/text_helpers.h"

#include <string.h>
#include <windows.h>

#include "util/bounded_text.h"

namespace {

const size_t kWorking = static_cast<size_t>(kWorkingCapacity);

// Length of an accepted text, or -1 for a missing one or one of 4096 characters or more.
int AcceptedLength(const char* text) {
  size_t length = 0;
  if (TextFailed(TextLength(text, kWorking, &length))) return -1;
  return static_cast<int>(length);
}

int ClampCount(int count, int length) {
  if (count < 0) return 0;
  return count > length ? length : count;
}

bool IsBlank(char c) { return static_cast<signed char>(c) <= 32; }

}  // namespace

int FindNoCase(const char* searched, const char* sought) {
  const int searchedLength = AcceptedLength(searched);
  if (searchedLength <= 0 || sought == nullptr) return 0;

  char haystack[kWorkingCapacity] = {};
  char needle[kWorkingCapacity] = {};
  CopyText(haystack, kWorking, searched);
  if (CopyText(needle, kWorking, sought) != kTextOk) return 0;
  const size_t needleLength = strlen(needle);
  if (needleLength == 0) return 0;

  CharUpperBuffA(haystack, static_cast<DWORD>(searchedLength));
  CharUpperBuffA(needle, static_cast<DWORD>(needleLength));
  if (strcmp(haystack, needle) == 0) return 1;
  const char* found = strstr(haystack, needle);
  return found == nullptr ? 0 : static_cast<int>(found - haystack) + 1;
}

void LeftPart(const char* source, char* destination, int count) {
  const int length = AcceptedLength(source);
  if (length <= 0) return;
  const int kept = ClampCount(count, length);
  CopyText(destination, static_cast<size_t>(kept) + 1, source);
}

void RightPart(const char* source, char* destination, int count) {
  const int length = AcceptedLength(source);
  if (length < 0) return;
  if (length == 0) {
    destination[0] = '\0';
    return;
  }
  // A copy first, so that a caller may take the right part of a text into itself.
  char copy[kWorkingCapacity] = {};
  CopyText(copy, kWorking, source);
  const int kept = ClampCount(count, length);
  CopyText(destination, static_cast<size_t>(kept) + 1, copy + (length - kept));
}

void TrimText(char* text) {
  const int length = AcceptedLength(text);
  if (length <= 0) return;
  char copy[kWorkingCapacity] = {};
  CopyText(copy, kWorking, text);
  int first = 0;
  int end = length;
  while (first < end && IsBlank(copy[first])) ++first;
  while (end > first && IsBlank(copy[end - 1])) --end;
  copy[end] = '\0';
  CopyText(text, static_cast<size_t>(length) + 1, copy + first);
}

void KeepPrintable(char* text) {
  const int length = AcceptedLength(text);
  if (length <= 0) return;
  char kept[kWorkingCapacity] = {};
  int used = 0;
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c <= 126) kept[used++] = static_cast<char>(c);
  }
  kept[used] = '\0';
  CopyText(text, static_cast<size_t>(length) + 1, kept);
}

void NumberText(int32_t value, char* destination) {
  char digits[12] = {};
  FormatText(digits, sizeof(digits), "%i", static_cast<int>(value));
  CopyText(destination, kNameCapacity, digits);
}
