// Paths from the system in this program's single-byte text. The system keeps every name in
// UTF-16; the code page holds only some of its letters and, asked for the others, writes a
// look-alike ("Ł" as "L") or "?". Such a text names another folder, or none, so a path is
// only ever written in the code page exactly, or in its short (8.3) form where that is exact,
// and otherwise shown for what it is: the code page's rendering, marked as not the real name.
// The program acts on the UTF-16 path; the text is what the log shows.
#pragma once

#include <stddef.h>
#include <wchar.h>

#include "util/bounded_text.h"

enum class PathSpelling { kExact, kShortForm, kRendered };

// Follows a rendered text in the log.
extern const char kRenderedMark[];

// A path and how the program names it.
struct SpelledPath {
  // The path itself; empty when it is not known.
  wchar_t path[kPathCapacity];
  // The same path as text names it: with the short form of each name that the code page
  // cannot spell when the spelling is kShortForm, else the path itself.
  wchar_t spelled[kPathCapacity];
  // What the log shows: exact, or the short form, or the rendering followed by kRenderedMark.
  char text[kPathCapacity];
  PathSpelling spelling;
};

// Writes wide in the code page into text (capacity characters); true only when every
// character converted exactly (reading the text back gives wide again) and the whole fits.
bool ExactText(const wchar_t* wide, char* text, size_t capacity);

// The code page's own rendering of wide, cut so that kRenderedMark fits after it.
void RenderedText(const wchar_t* wide, char* text, size_t capacity);

// wide as the log names it: exactly, or else rendered and marked.
void NameText(const wchar_t* wide, char* text, size_t capacity);

// The path with every name that has a short form written in it (capacity 260); a missing
// last name is kept as it is after the short form of its folder. False when the platform
// gives none that fits.
bool GetShortForm(const wchar_t* path, wchar_t* shortPath);

// Fills spelled, text and spelling from path: exact, else the path with the short form of
// each name the code page cannot spell when that is exact, else rendered and marked.
void SpellPath(SpelledPath* place);
