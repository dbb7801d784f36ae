#include "util/bounded_text.h"

#include <stdarg.h>
#include <stdio.h>

namespace {

bool CapacityIsValid(size_t capacity) { return capacity != 0 && capacity <= kMaxTextCapacity; }

// Copies up to capacity - 1 characters and terminates; capacity is at least 1.
TextResult CopyWithin(char* destination, size_t capacity, const char* source) {
  size_t copied = 0;
  while (copied + 1 < capacity && source[copied] != '\0') {
    destination[copied] = source[copied];
    ++copied;
  }
  destination[copied] = '\0';
  return source[copied] == '\0' ? kTextOk : kTextInsufficientBuffer;
}

}  // namespace

TextResult CopyText(char* destination, size_t capacity, const char* source) {
  if (destination == nullptr || capacity == 0) return kTextInvalidParameter;
  if (capacity > kMaxTextCapacity) {
    destination[0] = '\0';
    return kTextInvalidParameter;
  }
  return CopyWithin(destination, capacity, source != nullptr ? source : "");
}

TextResult AppendText(char* destination, size_t capacity, const char* source) {
  if (destination == nullptr || !CapacityIsValid(capacity)) return kTextInvalidParameter;
  size_t used = 0;
  if (TextFailed(TextLength(destination, capacity, &used))) return kTextInvalidParameter;
  return CopyWithin(destination + used, capacity - used, source != nullptr ? source : "");
}

TextResult TextLength(const char* text, size_t maximum, size_t* length) {
  if (length != nullptr) *length = 0;
  if (text == nullptr || maximum > kMaxTextCapacity) return kTextInvalidParameter;
  size_t counted = 0;
  while (counted < maximum && text[counted] != '\0') ++counted;
  if (counted == maximum) return kTextInvalidParameter;
  if (length != nullptr) *length = counted;
  return kTextOk;
}

TextResult FormatTextList(char* destination, size_t capacity, const char* format, va_list values) {
  if (destination == nullptr || capacity == 0) return kTextInvalidParameter;
  if (capacity > kMaxTextCapacity) {
    destination[0] = '\0';
    return kTextInvalidParameter;
  }
  const size_t room = capacity - 1;
  // The C runtime's _vsnprintf leaves the text unterminated when it fills the room
  // exactly, and answers negative when it had to cut or could not format.
  const int written = _vsnprintf(destination, room, format, values);
  if (written < 0 || static_cast<size_t>(written) > room) {
    destination[room] = '\0';
    return kTextInsufficientBuffer;
  }
  if (static_cast<size_t>(written) == room) destination[room] = '\0';
  return kTextOk;
}

TextResult FormatText(char* destination, size_t capacity, const char* format, ...) {
  va_list values;
  va_start(values, format);
  const TextResult result = FormatTextList(destination, capacity, format, values);
  va_end(values);
  return result;
}
