// The parts of a path, as its backslashes divide it: the folder it lies in, its file name,
// and each name below a folder. One rule for the program's code-page text and for UTF-16
// paths alike; each works on the path's first length characters and never reads past them.
#pragma once

#include <stddef.h>

// Where the last name begins: one past the last backslash, or 0 when there is none. The
// characters before it are the path's folder, with its backslash.
template <typename Char>
size_t FileNameStart(const Char* path, size_t length) {
  while (length > 0 && path[length - 1] != '\\') --length;
  return length;
}

// Where the name that begins at start ends: at the next backslash, or at length. Called with
// the position after each backslash in turn, it visits every folder below a base.
template <typename Char>
size_t NameEnd(const Char* path, size_t start, size_t length) {
  while (start < length && path[start] != '\\') ++start;
  return start;
}

// The position of the backslash before the last count names; false when there are fewer.
template <typename Char>
bool LastNamesStart(const Char* path, size_t length, size_t count, size_t* start) {
  for (size_t position = length; position > 0; --position) {
    if (path[position - 1] != '\\' || --count > 0) continue;
    *start = position - 1;
    return true;
  }
  return false;
}
