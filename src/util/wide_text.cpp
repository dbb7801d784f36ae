#include "util/wide_text.h"

#include <windows.h>
#include <wchar.h>

bool WidenText(const char* text, size_t count, wchar_t* wide, size_t capacity, size_t* wideLength) {
  *wideLength = 0;
  wide[0] = L'\0';
  if (count == 0) return true;
  const int converted = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(count), wide, static_cast<int>(capacity - 1));
  if (converted <= 0) return false;
  wide[converted] = L'\0';
  *wideLength = static_cast<size_t>(converted);
  return true;
}

bool SameIgnoringCase(const wchar_t* left, int leftLength, const wchar_t* right, int rightLength) {
  return CompareStringOrdinal(left, leftLength, right, rightLength, TRUE) == CSTR_EQUAL;
}
