// Copying through SHFileOperationA. The shell does the recursion, the replacing of existing
// files and the creation of missing directories for us; the fixed
// flag set makes sure it never stops to ask anyone, because a silent run has nobody to
// answer and a question dialog would hang it.
#include "sysops/shell_files.h"

#include <windows.h>
#include <shellapi.h>

#include "util/bounded_text.h"

namespace {

// One path plus the NUL that closes the shell's list of paths: a path of the full
// 259 characters a Windows path may have still gets its closing NUL.
const size_t kPathListCapacity = kPathCapacity + 1;

const char kPathTooLongText[] =
    "Error: path of 260 or more characters not handed to SHFileOperation";
const char kAbortedText[] =
    "Error: 0 Returned from SHFileOperation, but the operation was cancelled or partly aborted";

// Fills list (kPathListCapacity characters) with path as a one-path list closed by a
// second NUL. A path the list cannot hold whole is refused rather than cut, so the shell
// never works on a different path than the one we were given.
bool MakePathList(const char* path, char* list) {
  ZeroMemory(list, kPathListCapacity);
  if (TextFailed(TextLength(path, kPathCapacity, nullptr))) return false;
  CopyText(list, kPathListCapacity, path);
  return true;
}

FILEOP_FLAGS OperationFlags(bool silent, bool recursive) {
  FILEOP_FLAGS flags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  if (silent) flags |= FOF_SILENT;
  if (!recursive) flags |= FOF_NORECURSION;
  return flags;
}

}  // namespace

bool CopyWithShell(const char* from, const char* to, char* errorText, bool silent, bool recursive) {
  char source[kPathListCapacity];
  char destination[kPathListCapacity];
  CopyText(errorText, kErrorTextCapacity, "");
  if (!MakePathList(from, source) || !MakePathList(to, destination)) {
    CopyText(errorText, kErrorTextCapacity, kPathTooLongText);
    return false;
  }

  SHFILEOPSTRUCTA operation;
  ZeroMemory(&operation, sizeof(operation));
  operation.hwnd = NULL;
  operation.wFunc = FO_COPY;
  operation.pFrom = source;
  operation.pTo = destination;
  operation.fFlags = OperationFlags(silent, recursive);
  operation.fAnyOperationsAborted = FALSE;
  operation.hNameMappings = NULL;
  operation.lpszProgressTitle = NULL;

  const int result = SHFileOperationA(&operation);
  if (result != 0) {
    FormatText(errorText, kErrorTextCapacity, "Error: %i Rturned from SHFileOperation", result);
    return false;
  }
  // The shell answers 0 for an operation that was cancelled or stopped half way, and a
  // copy that did not complete must never be started.
  if (operation.fAnyOperationsAborted) {
    CopyText(errorText, kErrorTextCapacity, kAbortedText);
    return false;
  }
  return true;
}
