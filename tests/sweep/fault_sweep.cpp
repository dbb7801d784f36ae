// The fault sweep: every platform call the program makes through its import tables is
// failed in turn, one per run, and each run is judged by what it leaves behind.
//
// One executable in three roles. Run with TESSIVANE_FAULT_AT set, it is the program under
// test: the real WinMain behind import-table entries that count each call and fail the k-th
// with its function's failure value and a plausible last error (k = 0 fails nothing and only
// counts). Started by such a run as its elevated copy, it only notes that it started. Run
// with no setting, it is the sweep: for each run mode, a clean run counts the calls, then
// one fresh run per call fails exactly that call, and each run must end with exit code 0
// within the bound, hold as many handles afterwards as before, and leave a log of the clean
// run's shape whose result lines are true of the machine. Test-only.
#include <windows.h>
#include <shlobj.h>

#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/import_swap.h"

extern "C" int WINAPI ProductWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

namespace {

using Word = std::uintptr_t;

// ---- small helpers (the suite's shared ones bring the test framework, which would make
// this program, and so the copy the relaunch makes of it, many times bigger) -------------

std::string ReadWholeFile(const std::string& path) {
  std::string contents;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return contents;
  char chunk[4096];
  for (size_t got = 0; (got = std::fread(chunk, 1, sizeof(chunk), file)) > 0;) contents.append(chunk, got);
  std::fclose(file);
  return contents;
}

bool WriteWholeFile(const std::string& path, const std::string& contents) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  return std::fclose(file) == 0 && written;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry = {};
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    SetFileAttributesA((path + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path + "\\" + name);
    DeleteFileA((path + "\\" + name).c_str());
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  RemoveDirectoryA(path.c_str());
}

// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end > start && text[end - 1] == '\r' ? end - start - 1 : end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

const long kHung = -2;
const long kNotStarted = -3;

// Runs a program to its end or the deadline (then ends it); its exit code, kHung for a hang,
// kNotStarted when it could not be started. A start the machine refuses is tried again a
// few times, and one it keeps refusing is told apart from a crash of the program.
// Its output goes to the file named, when one is.
long Run(const std::string& commandLine, const char* directory, const std::string& output, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE file = output.empty() ? INVALID_HANDLE_VALUE
                               : CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  if (file != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
  }
  PROCESS_INFORMATION started = {};
  std::string line = commandLine;
  long exitCode = kNotStarted;
  bool running = false;
  DWORD refusal = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 5 && !running; ++attempt) {
    if (attempt > 0) Sleep(1000);
    running = CreateProcessA(nullptr, &line[0], nullptr, nullptr, file != INVALID_HANDLE_VALUE, 0, nullptr, directory,
                             &startup, &started) != FALSE;
    if (!running) refusal = GetLastError();
  }
  if (running && refusal != ERROR_SUCCESS) {
    std::printf("  started %s only when tried again: error %lu\n", commandLine.c_str(), refusal);
  }
  if (running) {
    DWORD code = 0;
    if (WaitForSingleObject(started.hProcess, timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(started.hProcess, 1);
      WaitForSingleObject(started.hProcess, 5000);
      exitCode = kHung;
    } else {
      exitCode = GetExitCodeProcess(started.hProcess, &code) ? static_cast<long>(code) : -1;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  } else {
    std::printf("  could not start %s: error %lu\n", commandLine.c_str(), refusal);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return exitCode;
}

// The process's open handles, counted by asking after each handle value in turn (Wine
// answers no handle count of its own).
long HandleCount() {
  long count = 0;
  DWORD flags = 0;
  for (Word value = 4; value < 0x10000; value += 4) {
    count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
  }
  return count;
}

// What a failed call answers: the function's failure value, and the last error it leaves.
struct Fault {
  const char* dll;
  const char* function;
  Word failure;
  DWORD lastError;
};

const Word kNull = 0;
const Word kInvalidHandle = static_cast<Word>(-1);
const Word kInvalidDword = 0xFFFFFFFFu;
const Word kAccessDeniedStatus = 0xC0000022u;  // STATUS_ACCESS_DENIED
const Word kAccessDeniedResult = 0x80070005u;  // E_ACCESSDENIED
const Word kOutOfMemoryResult = 0x8007000Eu;   // E_OUTOFMEMORY

// Every function the program calls that can fail. Release functions (CloseHandle, RegCloseKey,
// HeapFree...) and those that cannot fail (GetLastError, Sleep, GetTickCount64...) are left
// out: failing a release only leaks what the program has already given back. The rows
// without a last error are passed through uncounted; they are here because a delay-loaded
// function is found by the delay-load helper at its first call, and the sweep is of the
// program's own calls, not of the helper's.
const Fault kFaults[] = {
    {"kernel32.dll", "CancelSynchronousIo", FALSE, ERROR_NOT_FOUND},
    {"kernel32.dll", "CreateDirectoryA", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "CreateEventW", kNull, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "CreateFileW", kInvalidHandle, ERROR_SHARING_VIOLATION},
    {"kernel32.dll", "CreateThread", kNull, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "FlushFileBuffers", FALSE, ERROR_DISK_FULL},
    {"kernel32.dll", "FormatMessageA", 0, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "GetFileAttributesA", kInvalidDword, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "GetFileInformationByHandle", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "GetFileInformationByHandleEx", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "GetFinalPathNameByHandleW", 0, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "GetModuleFileNameW", 0, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "GetModuleHandleA", kNull, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "GetProcAddress", kNull, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "GetShortPathNameW", 0, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "GetTempPathW", 0, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "HeapAlloc", kNull, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "K32GetMappedFileNameW", 0, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "MoveFileExW", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "MultiByteToWideChar", 0, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "OpenProcess", kNull, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "OpenThread", kNull, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "ReOpenFile", kInvalidHandle, ERROR_SHARING_VIOLATION},
    {"kernel32.dll", "ReadFile", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "SetDllDirectoryA", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "SetEvent", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "SetFileInformationByHandle", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "SetFilePointerEx", FALSE, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "WaitForSingleObject", kInvalidDword, ERROR_ACCESS_DENIED},
    {"kernel32.dll", "WideCharToMultiByte", 0, ERROR_NOT_ENOUGH_MEMORY},
    {"kernel32.dll", "WriteFile", FALSE, ERROR_DISK_FULL},
    {"ntdll.dll", "NtCreateFile", kAccessDeniedStatus, ERROR_ACCESS_DENIED},
    {"ntdll.dll", "NtDeleteKey", kAccessDeniedStatus, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "ControlService", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA", FALSE, ERROR_NOT_ENOUGH_MEMORY},
    {"advapi32.dll", "DeleteService", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "EnumDependentServicesW", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "GetKernelObjectSecurity", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "GetTokenInformation", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "OpenProcessToken", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "OpenSCManagerA", kNull, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "OpenServiceA", kNull, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "QueryServiceStatus", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "QueryServiceStatusEx", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "RegCreateKeyExA", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "RegDeleteKeyExA", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "RegDeleteValueW", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "RegEnumKeyExW", ERROR_NOT_ENOUGH_MEMORY, ERROR_NOT_ENOUGH_MEMORY},
    {"advapi32.dll", "RegOpenKeyExA", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "RegOpenKeyExW", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "RegQueryValueExW", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "RegSetValueExW", ERROR_DISK_FULL, ERROR_DISK_FULL},
    {"advapi32.dll", "SetKernelObjectSecurity", FALSE, ERROR_ACCESS_DENIED},
    {"advapi32.dll", "SystemFunction036", FALSE, ERROR_NOT_ENOUGH_MEMORY},
    {"user32.dll", "CreateWindowExA", kNull, ERROR_NOT_ENOUGH_MEMORY},
    {"user32.dll", "UpdateWindow", FALSE, ERROR_NOT_ENOUGH_MEMORY},
    {"shell32.dll", "SHGetFolderLocation", kAccessDeniedResult, ERROR_ACCESS_DENIED},
    {"shell32.dll", "SHGetPathFromIDListW", FALSE, ERROR_ACCESS_DENIED},
    {"shell32.dll", "ShellExecuteExW", FALSE, ERROR_ACCESS_DENIED},
    {"ole32.dll", "CoInitializeEx", kOutOfMemoryResult, ERROR_NOT_ENOUGH_MEMORY},
    {"ole32.dll", "CoUninitialize", 0, 0},
    {"ole32.dll", "CoTaskMemFree", 0, 0},
};
constexpr size_t kFaultCount = sizeof(kFaults) / sizeof(kFaults[0]);

// ---- the program under test -----------------------------------------------------------

void* originals[kFaultCount] = {};
bool counting = false;
long callCount = 0;
long failAt = 0;
size_t failedRow = kFaultCount;
size_t logLinesAtFault = 0;
long callsByRow[kFaultCount] = {};
std::string faultNote;

const char kLogSuffix[] = "\\Halvorne\\Logs\\KESPremoval.log";

const std::string& LogPath() {
  static const std::string path = [] {
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder);
    return std::string(folder) + kLogSuffix;
  }();
  return path;
}

// Without the all-users application-data folder the program logs from the root of the
// current drive (every run here starts on C:).
const std::string kRootLogPath = std::string("C:") + kLogSuffix;

std::string WrittenLog() {
  const std::string log = ReadWholeFile(LogPath());
  return log.empty() ? ReadWholeFile(kRootLogPath) : log;
}

size_t LogLineCount() {
  const std::string log = WrittenLog();
  size_t lines = 0;
  for (char c : log) lines += c == '\n' ? 1 : 0;
  return lines;
}

// On x64 one calling convention serves every function here: the first four arguments in
// registers, the rest on the caller's stack, the result in rax. Passing twelve words on
// covers the longest argument list; words past a shorter list are only the caller's own
// stack, read and ignored.
using Forward = Word (*)(Word, Word, Word, Word, Word, Word, Word, Word, Word, Word, Word, Word);

template <size_t Row>
Word Wrapper(Word a, Word b, Word c, Word d, Word e, Word f, Word g, Word h, Word i, Word j, Word k, Word l) {
  if (counting && kFaults[Row].lastError != 0) ++callsByRow[Row];
  if (counting && kFaults[Row].lastError != 0 && ++callCount == failAt) {
    counting = false;
    failedRow = Row;
    logLinesAtFault = LogLineCount();
    // Noted at once, so that a run that crashes afterwards still says what failed.
    WriteWholeFile(faultNote, kFaults[Row].function);
    counting = true;
    SetLastError(kFaults[Row].lastError);
    return kFaults[Row].failure;
  }
  return reinterpret_cast<Forward>(originals[Row])(a, b, c, d, e, f, g, h, i, j, k, l);
}

template <size_t... Rows>
constexpr std::array<void*, sizeof...(Rows)> Wrappers(std::index_sequence<Rows...>) {
  return {reinterpret_cast<void*>(&Wrapper<Rows>)...};
}

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
  ExitProcess(exception->ExceptionRecord->ExceptionCode);
}

int RunProgramUnderTest(const char* setting) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(EndOnCrash);
  char reportPath[MAX_PATH] = {};
  std::sscanf(setting, "%ld %259[^\n]", &failAt, reportPath);
  faultNote = std::string(reportPath) + ".fault";

  static const auto wrappers = Wrappers(std::make_index_sequence<kFaultCount>());
  std::vector<testsupport::ImportSwap*> swaps;
  for (size_t row = 0; row < kFaultCount; ++row) {
    swaps.push_back(new testsupport::ImportSwap(kFaults[row].dll, kFaults[row].function, wrappers[row]));
    originals[row] = swaps.back()->Original<void*>();
  }
  // The words after the program's own name, as the start-up code hands them to WinMain.
  const char* words = GetCommandLineA();
  const char end = *words == '"' ? '"' : ' ';
  for (++words; *words != '\0' && *words != end; ++words) {
  }
  if (*words == '"') ++words;
  while (*words == ' ') ++words;

  LogPath();
  const long handlesBefore = HandleCount();
  counting = true;
  const int result = ProductWinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(words), SW_SHOWNORMAL);
  counting = false;
  const long handlesAfter = HandleCount();

  std::string report = "calls=" + std::to_string(callCount) + "\nhandles=" + std::to_string(handlesBefore) + " " +
                       std::to_string(handlesAfter) + "\nlinesAtFault=" + std::to_string(logLinesAtFault) + "\n";
  for (size_t row = 0; row < kFaultCount; ++row) {
    if (callsByRow[row] != 0) report += std::string("calls.") + kFaults[row].function + "=" + std::to_string(callsByRow[row]) + "\n";
  }
  WriteWholeFile(reportPath, report);
  return result;
}

// ---- the copy the relaunch starts -----------------------------------------------------

const char kProgramName[] = "VuzavoRURIvezarov.exe";

std::string TempDirectory() {
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, path);
  return path;
}

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// The copy's name: the program's own, or the program's with a suffix where the usual one was
// taken ("VuzavoRURIvezarov-<16 hex digits>.exe").
bool IsCopyName(const std::string& name) {
  const size_t stem = std::strlen(kProgramName) - 4;
  return name.size() >= stem + 4 && _strnicmp(name.c_str(), kProgramName, stem) == 0 &&
         _stricmp(name.c_str() + name.size() - 4, ".exe") == 0;
}

// The copies in the temporary directory, by their full paths.
std::vector<std::string> CopiesInTemp() {
  std::vector<std::string> copies;
  WIN32_FIND_DATAA entry = {};
  HANDLE search = FindFirstFileA((TempDirectory() + "*.exe").c_str(), &entry);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &entry)) {
    if (IsCopyName(entry.cFileName)) copies.push_back(TempDirectory() + entry.cFileName);
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return copies;
}

bool IsStartedCopy() {
  const std::string own = OwnPath();
  const size_t name = own.rfind('\\') + 1;
  return lstrcmpiA(own.substr(0, name).c_str(), TempDirectory().c_str()) == 0 && IsCopyName(own.substr(name));
}

// ---- the sweep ------------------------------------------------------------------------

const char kSweepFolder[] = "C:\\tessivane-tests\\fault-sweep";
const DWORD kRunBoundMs = 60000;

struct Counts {
  long injected = 0, crashed = 0, hung = 0, leaked = 0, falseLines = 0, outside = 0;
};

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// "name=value" lines of a report or of the stand-in's state.
std::map<std::string, std::string> Record(const std::string& text) {
  std::map<std::string, std::string> record;
  for (const std::string& line : SplitLines(text)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) record[line.substr(0, equals)] = Trimmed(line.substr(equals + 1));
  }
  return record;
}

// What a program writes to its standard output.
std::string Output(const std::string& commandLine) {
  const std::string out = std::string(kSweepFolder) + "\\output.txt";
  Run(commandLine, nullptr, out, kRunBoundMs);
  return ReadWholeFile(out);
}

std::string StandIn(const std::string& command) {
  return Output("C:\\tessivane-build\\tests\\stand_in_product.exe " + command);
}

// The stand-in's pieces, where the run mode has them (the relaunch touches none).
std::map<std::string, std::string> MachineState(const std::string& mode) {
  if (mode != "relaunch") {
    // Read again when the answer came back cut short: a loaded machine is no changed one.
    std::map<std::string, std::string> state;
    for (int attempt = 0; attempt < 3 && state.count("tempcopies") == 0; ++attempt) state = Record(StandIn("state"));
    return state;
  }
  return {{"program", ReadWholeFile(std::string(kSweepFolder) + "\\Downloads\\" + kProgramName)}};
}

// The log's messages without their timestamps; a line without one is marked.
std::vector<std::string> LogMessages() {
  std::vector<std::string> lines = SplitLines(WrittenLog());
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  for (std::string& line : lines) {
    const size_t end = line.find("] ");
    line = line.size() > 1 && line[0] == '[' && end != std::string::npos ? line.substr(end + 2) : "<malformed> " + line;
  }
  return lines;
}

bool Ends(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool NoUninstallerRuns() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  bool none = true;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    none = none && !IsCopyName(entry.szExeFile);
  }
  CloseHandle(snapshot);
  return none;
}

// A result line and what the machine must show for it to be true.
bool LineIsTrue(const std::string& mode, const std::string& action, const std::string& result,
                std::map<std::string, std::string>& state) {
  if (mode == "relaunch" && Ends(result, " success.")) {
    bool holdsTheProgram = false;
    for (const std::string& copy : CopiesInTemp()) holdsTheProgram = holdsTheProgram || ReadWholeFile(copy) == state["program"];
    return holdsTheProgram;
  }
  const std::string launched = " Launched OK";
  if (mode == "relaunch" && Ends(result, launched)) {
    return FileExists(result.substr(4, result.size() - 4 - launched.size()) + ".started");
  }
  if (result == "    registry item added") {
    return state["runonce.64"] != "absent" || state["runonce.32"] != "absent" || state["runonce.withdrawn"] == "yes";
  }
  if (result == "    Service stopped") return state["service"] != "running";
  if (result == "    Service removed") return state["service"] == "absent";
  if (result == "    registry item removed") {
    const std::string piece = action == "Remove the service registry path" ? "config"
                              : action.rfind("Remove KESPCleanup", 0) == 0 ? "runonce"
                                                                          : "autostart";
    return state[piece + ".64"] == "absent" && state[piece + ".32"] == "absent";
  }
  if (result == "    Delete success") return state["home"] == "absent";
  return true;
}

// The first word of the stage's first line, after the start lines ("" when there is none).
std::string StageOf(const std::vector<std::string>& lines) {
  for (size_t index = 0; index + 1 < lines.size(); ++index) {
    if (lines[index].rfind("Temp directory: ", 0) == 0) return lines[index + 1].substr(0, lines[index + 1].find(' '));
  }
  return std::string();
}

// The faulted run's log against the clean run's: the same lines in the same shape, one
// dropped only where the fault hit the log's own writing, and every result line true.
long FalseLines(const std::string& mode, const std::vector<std::string>& clean, size_t linesAtFault,
                const std::string& what, std::map<std::string, std::string>& state) {
  std::vector<std::string> lines = LogMessages();
  long wrong = 0;
  auto report = [&](const std::string& why) {
    std::printf("  %s, %s: %s\n", mode.c_str(), what.c_str(), why.c_str());
    ++wrong;
  };
  // A copy made under a fresh name, where the usual one could not be had, is said in a
  // line of its own: true when such a copy is there, and no part of the clean run's shape.
  const std::string freshName = "The copy is made under a fresh name.";
  for (size_t index = 0; index < lines.size();) {
    if (!Ends(lines[index], freshName)) {
      ++index;
      continue;
    }
    const std::vector<std::string> copies = CopiesInTemp();
    const bool fresh = std::any_of(copies.begin(), copies.end(), [](const std::string& copy) {
      return !Ends(copy, std::string("\\") + kProgramName);
    });
    if (!fresh) report("false: " + lines[index]);
    if (linesAtFault > index) --linesAtFault;
    lines.erase(lines.begin() + static_cast<long>(index));
  }
  // Where the run could not find out where it is, it takes another run mode, as it must:
  // its log then has that mode's lines, each still true.
  const std::vector<std::string>* shape = &clean;
  std::vector<std::string> ownShape;
  if (StageOf(lines) != StageOf(clean)) {
    ownShape = lines;
    shape = &ownShape;
  }
  // A run-once value that was never added, or that a home directory that stays still needs,
  // is not withdrawn: the clean run's last two lines may be missing then.
  const std::vector<std::string> withdrawal = {"Remove KESPCleanup from the RunOnce key", "    registry item removed"};
  const bool mayKeepValue = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line == "    registry item add failed." || line.rfind("    Delete failed.", 0) == 0;
  });
  if (mayKeepValue && std::find(lines.begin(), lines.end(), withdrawal[0]) == lines.end() && shape->size() >= 2 &&
      std::equal(withdrawal.begin(), withdrawal.end(), shape->end() - 2)) {
    std::vector<std::string> withoutWithdrawal(shape->begin(), shape->end() - 2);
    ownShape = std::move(withoutWithdrawal);
    shape = &ownShape;
  }
  size_t dropped = lines.size();
  if (lines.size() + 1 == shape->size() && linesAtFault < shape->size()) {
    // A line may be missing only where the fault came while it was being written.
    dropped = linesAtFault;
    lines.insert(lines.begin() + static_cast<long>(dropped), (*shape)[dropped]);
  } else if (lines.size() != shape->size()) {
    report("the log has " + std::to_string(lines.size()) + " lines, the clean run's " + std::to_string(clean.size()));
    return wrong;
  }
  // A value the run set out to withdraw can no longer show that it was added, even where the
  // withdrawal was answered as failed (one view's refusal fails it while the other's copy went).
  state["runonce.withdrawn"] = std::find(lines.begin(), lines.end(), withdrawal[0]) != lines.end() ? "yes" : "no";
  std::string action;
  for (size_t index = 0; index < lines.size(); ++index) {
    const bool result = lines[index].rfind("    ", 0) == 0;
    if (result != ((*shape)[index].rfind("    ", 0) == 0) || lines[index].rfind("<malformed>", 0) == 0 ||
        (result && index == 0)) {
      report("line " + std::to_string(index + 1) + " out of shape: " + lines[index]);
    } else if (!result) {
      action = lines[index];
    } else if (index != dropped && !LineIsTrue(mode, action, lines[index], state)) {
      report("false: " + lines[index]);
    }
  }
  return wrong;
}

// What the run mode's pieces outside the program look like: the neighbours the stand-in
// installs, and the program in the download folder.
std::string Outside(const std::map<std::string, std::string>& state) {
  std::string outside;
  for (const auto& piece : state) {
    if (piece.first.rfind("neighbour.", 0) == 0 || piece.first == "program") outside += piece.first + "=" + piece.second + "\n";
  }
  return outside;
}

void Prepare(const std::string& mode) {
  DeleteFileA(LogPath().c_str());
  RemoveTree("C:\\Halvorne");
  for (const std::string& copy : CopiesInTemp()) {
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(copy.c_str());
    DeleteFileA((copy + ".started").c_str());
  }
  if (mode == "relaunch") return;
  // The stand-in's install puts back whatever of its pieces a run took (the service is
  // registered anew); the run-once value is the run's own.
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                      KEY_SET_VALUE | view, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, "KESPCleanup");
      RegCloseKey(key);
    }
  }
  StandIn(mode == "removal" ? "install 64 service" : "install 64");
  if (mode != "cleanup") return;
  // A small tree with read-only, hidden and nested entries beside the stand-in's own.
  const std::string home = LogPath().substr(0, LogPath().size() - std::strlen(kLogSuffix)) + "\\Halvorne\\KESPWindowsService";
  const std::pair<std::string, DWORD> entries[] = {
      {"\\nested", 0}, {"\\nested\\deeper", FILE_ATTRIBUTE_HIDDEN}, {"\\nested\\deeper\\last", 0}};
  for (const auto& entry : entries) CreateDirectoryA((home + entry.first).c_str(), nullptr);
  const std::pair<std::string, DWORD> files[] = {
      {"\\readonly.txt", FILE_ATTRIBUTE_READONLY},
      {"\\hidden.txt", FILE_ATTRIBUTE_HIDDEN},
      {"\\nested\\deeper\\last\\both.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}};
  for (const auto& file : files) {
    SetFileAttributesA((home + file.first).c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteWholeFile(home + file.first, "entry");
    SetFileAttributesA((home + file.first).c_str(), file.second);
  }
  SetFileAttributesA((home + "\\nested\\deeper").c_str(), FILE_ATTRIBUTE_HIDDEN);
}

// One run of the program under test, failing its k-th call (none for 0); its report.
std::map<std::string, std::string> RunOnce(const std::string& program, const std::string& words, long k,
                                           std::string* ending) {
  const std::string report = std::string(kSweepFolder) + "\\report.txt";
  DeleteFileA(report.c_str());
  DeleteFileA((report + ".fault").c_str());
  SetEnvironmentVariableA("TESSIVANE_FAULT_AT", (std::to_string(k) + " " + report).c_str());
  const std::string folder = program.substr(0, program.rfind('\\'));
  const long exitCode = Run("\"" + program + "\" " + words, folder.c_str(), std::string(), kRunBoundMs);
  SetEnvironmentVariableA("TESSIVANE_FAULT_AT", nullptr);
  for (int wait = 0; wait < 200 && !NoUninstallerRuns(); ++wait) Sleep(50);
  *ending = exitCode == kHung ? "hung" : exitCode == kNotStarted ? "not started" : exitCode != 0 ? "crashed" : "";
  std::map<std::string, std::string> record = Record(ReadWholeFile(report));
  record["failed"] = ReadWholeFile(report + ".fault");
  char code[16] = {};
  std::snprintf(code, sizeof(code), "0x%lx", static_cast<unsigned long>(exitCode));
  record["exit"] = code;
  return record;
}

// How many more handles the process held after the run than before ("<before> <after>").
// Wine's own libraries keep a few of what they open at their first use (the service
// manager's pipe, the shell's keys), so a faulted run is held to the clean run's growth.
long HandleGrowth(const std::string& handles) {
  long before = 0;
  long after = 0;
  return std::sscanf(handles.c_str(), "%ld %ld", &before, &after) == 2 ? after - before : 1000000;
}

Counts SweepMode(const std::string& mode, const std::string& program, const std::string& words) {
  const ULONGLONG started = GetTickCount64();
  Counts counts;
  std::string ending;
  StandIn("cleanup");
  Prepare(mode);
  const std::string outsideBefore = Outside(MachineState(mode));
  std::map<std::string, std::string> clean = RunOnce(program, words, 0, &ending);
  const std::vector<std::string> cleanLines = LogMessages();
  const long calls = std::atol(clean["calls"].c_str());
  const long cleanGrowth = HandleGrowth(clean["handles"]);
  std::map<std::string, std::string> state = MachineState(mode);
  if (!ending.empty() || calls == 0 || FalseLines(mode, cleanLines, cleanLines.size(), "clean run", state) != 0) {
    std::printf("fault sweep: %s: the clean run failed (%s, %ld calls)\n", mode.c_str(), ending.c_str(), calls);
    counts.crashed = 1;
    return counts;
  }
  // TESSIVANE_SWEEP_CALLS=<first>-<last> repeats only those rows, to look at them again.
  long first = 1;
  long last = calls;
  if (const char* only = std::getenv("TESSIVANE_SWEEP_CALLS")) std::sscanf(only, "%ld-%ld", &first, &last);
  for (long k = first; k <= calls && k <= last; ++k) {
    Prepare(mode);
    std::map<std::string, std::string> run = RunOnce(program, words, k, &ending);
    const std::string what = "call " + std::to_string(k) + " (" + run["failed"] + ")";
    ++counts.injected;
    if (k % 100 == 0) std::printf("  %s: %ld of %ld calls failed so far\n", mode.c_str(), k, calls), std::fflush(stdout);
    if (!ending.empty()) {
      std::printf("  %s, %s: %s (exit code %s)\n", mode.c_str(), what.c_str(), ending.c_str(), run["exit"].c_str());
      (ending == "hung" ? counts.hung : counts.crashed) += 1;
      continue;
    }
    if (HandleGrowth(run["handles"]) > cleanGrowth) {
      std::printf("  %s, %s: handles before and after %s, the clean run's %s\n", mode.c_str(), what.c_str(),
                  run["handles"].c_str(), clean["handles"].c_str());
      ++counts.leaked;
    }
    state = MachineState(mode);
    counts.falseLines += FalseLines(mode, cleanLines, std::strtoul(run["linesAtFault"].c_str(), nullptr, 10), what, state);
    const std::string outside = Outside(state);
    if (outside != outsideBefore) {
      std::printf("  %s, %s: the neighbours changed from\n%s  to\n%s", mode.c_str(), what.c_str(), outsideBefore.c_str(),
                  outside.c_str());
      ++counts.outside;
    }
  }
  std::printf("fault sweep: %s: %ld calls, %ld faults injected: %ld crashed, %ld hung, %ld leaked, %ld false lines, "
              "%ld outside (%.0f s)\n",
              mode.c_str(), calls, counts.injected, counts.crashed, counts.hung, counts.leaked, counts.falseLines,
              counts.outside, static_cast<double>(GetTickCount64() - started) / 1000.0);
  std::fflush(stdout);
  return counts;
}

// The run modes named (all three when none is).
int Sweep(const std::vector<std::string>& only) {
  const ULONGLONG started = GetTickCount64();
  RemoveTree(kSweepFolder);
  CreateDirectoryA("C:\\tessivane-tests", nullptr);
  CreateDirectoryA(kSweepFolder, nullptr);
  const std::string downloads = std::string(kSweepFolder) + "\\Downloads";
  CreateDirectoryA(downloads.c_str(), nullptr);
  const std::string relaunched = downloads + "\\" + kProgramName;
  const std::string inTemp = TempDirectory() + "fault_sweep_run.exe";
  CopyFileA(OwnPath().c_str(), relaunched.c_str(), FALSE);
  CopyFileA(OwnPath().c_str(), inTemp.c_str(), FALSE);

  struct Mode {
    const char* name;
    const std::string& program;
    const char* words;
  };
  const Mode modes[] = {{"relaunch", relaunched, "silent"}, {"removal", inTemp, "silent"}, {"cleanup", inTemp, "silent zapfiles"}};
  Counts total;
  for (const Mode& mode : modes) {
    bool chosen = only.empty();
    for (const std::string& name : only) chosen = chosen || name == mode.name;
    if (!chosen) continue;
    const Counts counts = SweepMode(mode.name, mode.program, mode.words);
    total.injected += counts.injected;
    total.crashed += counts.crashed;
    total.hung += counts.hung;
    total.leaked += counts.leaked;
    total.falseLines += counts.falseLines;
    total.outside += counts.outside;
  }
  StandIn("cleanup");
  DeleteFileA(inTemp.c_str());
  DeleteFileA(LogPath().c_str());
  RemoveTree(kSweepFolder);
  std::printf("fault sweep took %.0f s\n", static_cast<double>(GetTickCount64() - started) / 1000.0);
  std::printf("fault sweep: %ld faults injected: %ld crashed, %ld hung, %ld leaked, %ld false lines, %ld outside\n",
              total.injected, total.crashed, total.hung, total.leaked, total.falseLines, total.outside);
  return total.crashed + total.hung + total.leaked + total.falseLines + total.outside == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (IsStartedCopy()) return WriteWholeFile(OwnPath() + ".started", "started") ? 0 : 1;
  const char* setting = std::getenv("TESSIVANE_FAULT_AT");
  if (setting != nullptr) return RunProgramUnderTest(setting);
  return Sweep(std::vector<std::string>(argv + 1, argv + argc));
}
