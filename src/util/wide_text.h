// Between the program's ANSI text (the system's code page), in which it logs and keeps its
// fixed paths, and the UTF-16 in which the platform names files: a file's name may hold
// letters that no code page has, and only its UTF-16 form reaches the file.
#pragma once

#include <stddef.h>

// The UTF-16 form of the first count characters of text, terminated, into wide (capacity
// wide characters); wideLength receives its length. False when it does not convert or fit.
bool WidenText(const char* text, size_t count, wchar_t* wide, size_t capacity, size_t* wideLength);

// True when the two texts are the same but for letter case, as the file system compares
// names; a length of -1 means up to the terminator.
bool SameIgnoringCase(const wchar_t* left, int leftLength, const wchar_t* right, int rightLength);
