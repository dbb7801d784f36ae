// Bounded text operations: every buffer in this program has a fixed capacity, and every
// copy, append, measurement and format goes through these four so that nothing is ever
// written past a buffer's end. They give the exact results and truncation of the platform
// SDK's StringCchCopyA, StringCchCatA, StringCchLengthA and StringCchPrintfA.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// A 32-bit result in the HRESULT convention; negative means failure.
typedef int32_t TextResult;

const TextResult kTextOk = 0;
const TextResult kTextInvalidParameter = static_cast<TextResult>(0x80070057u);
const TextResult kTextInsufficientBuffer = static_cast<TextResult>(0x8007007Au);

// The largest capacity any of the operations accepts.
const size_t kMaxTextCapacity = 0x7FFFFFFF;

// Capacities (characters, terminator included) that recur across the program.
const size_t kPathCapacity = 260;
const size_t kNameCapacity = 255;
const size_t kErrorTextCapacity = 2048;
const size_t kMessageCapacity = 4096;

inline bool TextFailed(TextResult result) { return result < 0; }

// Copies source into destination, cut to capacity - 1 characters and always terminated.
TextResult CopyText(char* destination, size_t capacity, const char* source);

// Appends source to the text already in destination, within the same capacity.
TextResult AppendText(char* destination, size_t capacity, const char* source);

// Counts the characters before the terminator, which must lie within maximum characters.
// length may be null; on failure it is set to 0.
TextResult TextLength(const char* text, size_t maximum, size_t* length);

// printf-style formatting through the C runtime, cut to capacity - 1 characters.
TextResult FormatText(char* destination, size_t capacity, const char* format, ...)
    __attribute__((format(ms_printf, 3, 4)));

// FormatText for a caller that already holds its values as a va_list.
TextResult FormatTextList(char* destination, size_t capacity, const char* format, va_list values)
    __attribute__((format(ms_printf, 3, 0)));
