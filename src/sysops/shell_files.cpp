// Deleting through SHFileOperationA. The shell does the recursion for us; the fixed flag set
// makes sure it never stops to ask anyone, because a silent run has nobody to answer and a
// question dialog would hang it.
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

// Hands one path to the shell with the fixed flag set. Without FOF_ALLOWUNDO: a deleted
// home directory must really go, not into the Recycle Bin. failureFormat receives the
// shell's result code.
bool RunFileOperation(UINT function, const char* from, char* errorText, bool silent, bool recursive,
                      const char* failureFormat) {
  char source[kPathListCapacity];
  CopyText(errorText, kErrorTextCapacity, "");
  if (!MakePathList(from, source)) {
    CopyText(errorText, kErrorTextCapacity, kPathTooLongText);
    return false;
  }

  SHFILEOPSTRUCTA operation;
  ZeroMemory(&operation, sizeof(operation));
  operation.hwnd = NULL;
  operation.wFunc = function;
  operation.pFrom = source;
  operation.pTo = NULL;
  operation.fFlags = OperationFlags(silent, recursive);
  operation.fAnyOperationsAborted = FALSE;
  operation.hNameMappings = NULL;
  operation.lpszProgressTitle = NULL;

  const int result = SHFileOperationA(&operation);
  if (result != 0) {
    FormatText(errorText, kErrorTextCapacity, failureFormat, result);
    return false;
  }
  // The shell answers 0 for an operation that was cancelled or stopped half way.
  if (operation.fAnyOperationsAborted) {
    CopyText(errorText, kErrorTextCapacity, kAbortedText);
    return false;
  }
  return true;
}

}  // namespace

bool DeleteWithShell(const char* path, char* errorText, bool silent, bool recursive) {
  return RunFileOperation(FO_DELETE, path, errorText, silent, recursive, "Error: %i Returned from SHFileOperation");
}
