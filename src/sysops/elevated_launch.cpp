// Starting a program through the shell with the "RunAs" verb, so that the platform asks
// for administrative rights, and turning the last error into one printable line for the
// log. The launch never shows a dialog of its own: a failure must come back as a result,
// because a silent run has nobody to close a message box.
#include "sysops/elevated_launch.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "util/bounded_text.h"
#include "util/release.h"
#include "util/text_helpers.h"
#include "util/wide_text.h"

#ifndef _WIN64
static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "the 32-bit launch record is 60 bytes");
#endif

namespace {

// Room for the wide form of a text; an ANSI text never needs more wide characters than
// it has bytes.
const int kWideCapacity = 4096;

}  // namespace

void LaunchFailureText(char* errorText, const char* fileText, const char* reason) {
  CopyText(errorText, kErrorTextCapacity, "Unable to run the program: ");
  AppendText(errorText, kErrorTextCapacity, fileText);
  AppendText(errorText, kErrorTextCapacity, " Error Message: ");
  AppendText(errorText, kErrorTextCapacity, reason);
}

bool LaunchElevated(const wchar_t* file, const char* fileText, const char* parameters, HANDLE* process,
                    int showCommand, char* errorText) {
  wchar_t wideParameters[kWideCapacity];
  char systemText[kErrorTextCapacity];
  size_t parametersLength = 0;
  size_t wideLength = 0;

  const size_t fileLength = file != nullptr ? wcsnlen(file, kPathCapacity) : 0;
  if (fileLength == 0 || fileLength == kPathCapacity) {
    CopyText(errorText, kErrorTextCapacity,
             "Unable to run the program: its path is missing or has 260 or more characters");
    return false;
  }
  // The parameters go to the shell whole or not at all: a cut command line would start
  // the program with different words than the caller chose.
  if (parameters == nullptr) parameters = "";
  if (TextFailed(TextLength(parameters, kWideCapacity, &parametersLength))) {
    LaunchFailureText(errorText, fileText, "its parameters have 4096 or more characters");
    return false;
  }
  if (!WidenText(parameters, parametersLength, wideParameters, kWideCapacity, &wideLength)) {
    GetLastErrorText(systemText);
    LaunchFailureText(errorText, fileText, systemText);
    return false;
  }

  SHELLEXECUTEINFOW launch;
  ZeroMemory(&launch, sizeof(launch));
  launch.cbSize = sizeof(launch);
  // FLAG_NO_UI: without it the shell reports a failure (a missing file, say) in a modal
  // box and does not return until someone closes it. The elevation prompt is the
  // platform's own and still appears. NOASYNC: the caller may exit right after this
  // returns, so the shell must finish the launch before it does. NOZONECHECKS: the user
  // has said yes to the downloaded program once; what it starts is its own copy, made here,
  // and must not ask again.
  launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOZONECHECKS;
  launch.hwnd = NULL;
  launch.lpVerb = L"RunAs";
  launch.lpFile = file;
  launch.lpParameters = wideParameters;
  launch.lpDirectory = L"";
  launch.nShow = showCommand;

  // The shell may hand the launch to extensions that use COM, and asks its callers to
  // start COM on the calling thread first: apartment-threaded, without OLE1's DDE. Only an
  // initialisation that succeeded (S_FALSE too: COM was already on) is ours to undo; after
  // RPC_E_CHANGED_MODE the thread's COM belongs to someone else. The last error is read
  // before COM is shut down again, which may change it.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const bool launched = ShellExecuteExW(&launch) != FALSE;
  if (!launched) GetLastErrorText(systemText);
  if (SUCCEEDED(com)) CoUninitialize();
  if (!launched) {
    LaunchFailureText(errorText, fileText, systemText);
    return false;
  }
  // Started through an association the shell may hand back no process: nothing to wait for.
  if (process != nullptr) {
    *process = launch.hProcess;
  } else {
    ReleaseHandle(&launch.hProcess);
  }
  return true;
}

void GetLastErrorText(char* text) {
  // Read first: nothing may run between the failed call and this.
  const DWORD code = GetLastError();
  char* message = NULL;
  CopyText(text, kErrorTextCapacity, "");

  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL,
      code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&message), 0, NULL);
  if (length != 0 && message != NULL) {
    CopyText(text, kErrorTextCapacity, message);
    KeepPrintable(text);
  } else {
    NumberText(static_cast<int32_t>(code), text);
  }

  ReleaseLocal(&message);
}
