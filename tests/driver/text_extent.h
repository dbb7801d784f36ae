// The room a control's text takes on one line in the control's own font, for the status
// window's checks in the suite and on a real display. Test-only.
#pragma once

#include <windows.h>

inline SIZE TextExtentOf(HWND control) {
  char text[512] = {};
  const int length = GetWindowTextA(control, text, sizeof(text));
  HDC dc = GetDC(control);
  const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
  const HGDIOBJ before = font != nullptr ? SelectObject(dc, font) : nullptr;
  SIZE size = {};
  GetTextExtentPoint32A(dc, text, length, &size);
  if (before != nullptr) SelectObject(dc, before);
  ReleaseDC(control, dc);
  return size;
}
