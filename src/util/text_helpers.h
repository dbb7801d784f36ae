// Text helpers built on the bounded operations: case-insensitive search, slicing,
// trimming, cleaning and number formatting. Each accepts texts of at most 4095
// characters and leaves a longer one alone, so no caller's mistake can overrun a buffer.
#pragma once

#include <stdint.h>

// The longest text the helpers accept is one less than this.
const int kWorkingCapacity = 4096;

// 1-based position of the first case-insensitive occurrence of sought in searched,
// or 0 when there is none (or either text is empty or too long).
int FindNoCase(const char* searched, const char* sought);

// Writes the first (LeftPart) or last (RightPart) count characters of source and a
// terminator into destination, which must hold count + 1 characters. A count outside
// 0..length is brought within it.
void LeftPart(const char* source, char* destination, int count);
void RightPart(const char* source, char* destination, int count);

// Removes blanks (codes 1 to 32 and 128 to 255) at both ends, in place.
void TrimText(char* text);

// Removes every character outside the printable ASCII range 32 to 126, in place.
void KeepPrintable(char* text);

// Signed decimal text of value into a destination of 255 characters.
void NumberText(int32_t value, char* destination);
