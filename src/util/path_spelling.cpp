#include "util/path_spelling.h"

#include <windows.h>

#include "util/path_parts.h"
#include "util/paths.h"

const char kRenderedMark[] = " [as the code page renders it, not its real name]";

namespace {

// Converts length wide characters into text (capacity characters, terminated): the number
// of characters written, or -1 unless the conversion is exact and fits.
int ConvertExactly(const wchar_t* wide, size_t length, char* text, size_t capacity) {
  wchar_t back[kMessageCapacity];
  BOOL usedDefault = FALSE;
  text[0] = '\0';
  if (length == 0) return 0;
  if (length >= kMessageCapacity || capacity < 2) return -1;
  const int wideLength = static_cast<int>(length);
  const int room = static_cast<int>(capacity - 1);
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, wideLength, text, room, nullptr, &usedDefault);
  // UTF-8 and a few other code pages take neither the flag nor the question: for them the
  // reading back below is the whole test.
  if (size == 0 && (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER)) {
    usedDefault = FALSE;
    size = WideCharToMultiByte(CP_ACP, 0, wide, wideLength, text, room, nullptr, nullptr);
  }
  if (size == 0 || usedDefault) {
    text[0] = '\0';
    return -1;
  }
  text[size] = '\0';
  const int backLength = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, size, back, kMessageCapacity);
  if (backLength != wideLength || wmemcmp(back, wide, length) != 0) {
    text[0] = '\0';
    return -1;
  }
  return size;
}

// Writes into merged (260) longPath with each name that the code page cannot spell replaced
// by its short form, the name at the same place in shortPath. False when the two do not
// have the same number of names or the result does not fit.
bool MergeShortNames(const wchar_t* longPath, const wchar_t* shortPath, wchar_t* merged) {
  char scratch[kPathCapacity];
  const size_t longLength = wcsnlen(longPath, kPathCapacity);
  const size_t shortLength = wcsnlen(shortPath, kPathCapacity);
  size_t longStart = 0;
  size_t shortStart = 0;
  size_t used = 0;
  for (;;) {
    const size_t longEnd = NameEnd(longPath, longStart, longLength);
    const size_t shortEnd = NameEnd(shortPath, shortStart, shortLength);
    const bool spelled = ConvertExactly(longPath + longStart, longEnd - longStart, scratch, kPathCapacity) >= 0;
    const wchar_t* name = spelled ? longPath + longStart : shortPath + shortStart;
    const size_t nameLength = spelled ? longEnd - longStart : shortEnd - shortStart;
    if (used + nameLength + 1 >= kPathCapacity) return false;
    wmemcpy(merged + used, name, nameLength);
    used += nameLength;
    const bool longDone = longEnd == longLength;
    if (longDone != (shortEnd == shortLength)) return false;
    if (longDone) break;
    merged[used++] = L'\\';
    longStart = longEnd + 1;
    shortStart = shortEnd + 1;
  }
  merged[used] = L'\0';
  return true;
}

}  // namespace

bool ExactText(const wchar_t* wide, char* text, size_t capacity) {
  return ConvertExactly(wide, wcsnlen(wide, kMessageCapacity), text, capacity) >= 0;
}

void RenderedText(const wchar_t* wide, char* text, size_t capacity) {
  char rendered[kMessageCapacity] = {};
  const size_t markLength = sizeof(kRenderedMark) - 1;
  // What the code page's ANSI functions would have made of it, look-alikes and "?" included;
  // a text too long for the buffer stays cut and terminated.
  WideCharToMultiByte(CP_ACP, 0, wide, -1, rendered, static_cast<int>(kMessageCapacity - 1), nullptr, nullptr);
  CopyText(text, capacity > markLength ? capacity - markLength : 1, rendered);
  AppendText(text, capacity, kRenderedMark);
}

void NameText(const wchar_t* wide, char* text, size_t capacity) {
  if (!ExactText(wide, text, capacity)) RenderedText(wide, text, capacity);
}

bool GetShortForm(const wchar_t* path, wchar_t* shortPath) {
  wchar_t folder[kPathCapacity] = {};
  DWORD length = GetShortPathNameW(path, shortPath, static_cast<DWORD>(kPathCapacity));
  if (length != 0) return length < kPathCapacity;
  // A file about to be made (the program's copy) is named as it will be: after its folder.
  const size_t pathLength = wcsnlen(path, kPathCapacity);
  const size_t nameStart = FileNameStart(path, pathLength);
  const size_t nameLength = pathLength - nameStart;
  if (GetLastError() != ERROR_FILE_NOT_FOUND || pathLength == kPathCapacity || nameStart == 0 || nameLength == 0) {
    return false;
  }
  CopyPath(folder, path);
  folder[nameStart] = L'\0';
  length = GetShortPathNameW(folder, shortPath, static_cast<DWORD>(kPathCapacity));
  if (length == 0 || length + nameLength >= kPathCapacity || shortPath[length - 1] != L'\\') return false;
  wmemcpy(shortPath + length, path + nameStart, nameLength + 1);
  return true;
}

void SpellPath(SpelledPath* place) {
  wchar_t shortPath[kPathCapacity] = {};
  CopyPath(place->spelled, place->path);
  place->spelling = PathSpelling::kExact;
  if (ExactText(place->path, place->text, kPathCapacity)) return;
  // Only the names the code page cannot spell are shortened: the rest stays readable.
  place->spelling = PathSpelling::kShortForm;
  if (GetShortForm(place->path, shortPath) && MergeShortNames(place->path, shortPath, place->spelled) &&
      ExactText(place->spelled, place->text, kPathCapacity)) {
    return;
  }
  // A volume without short names answers with the long names themselves.
  CopyPath(place->spelled, place->path);
  RenderedText(place->path, place->text, kPathCapacity);
  place->spelling = PathSpelling::kRendered;
}
