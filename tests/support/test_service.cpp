#include "support/test_service.h"

#include "support/test_process.h"

namespace testsupport {

namespace {

std::string ErrorWords(const char* call, DWORD error) {
  return std::string(call) + " failed with error " + std::to_string(error);
}

void CloseIfOpen(SC_HANDLE handle) {
  if (handle != nullptr) CloseServiceHandle(handle);
}

}  // namespace

std::string TestServiceProgramPath() {
  return BuildDirectory() + "\\tests\\tessivane_test_service.exe";
}

std::string TestServiceCommand(const std::string& programPath, const std::string& mode) {
  std::string command = "\"" + programPath + "\"";
  if (!mode.empty()) command += " " + mode;
  return command;
}

bool RegisterTestService(const std::string& name, const std::string& command, std::string* why) {
  RemoveTestService(name, 10000);
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    if (why != nullptr) *why = ErrorWords("OpenSCManagerA", GetLastError());
    return false;
  }
  SC_HANDLE service = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                     SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
  if (service == nullptr && why != nullptr) *why = ErrorWords("CreateServiceA", GetLastError());
  const bool created = service != nullptr;
  CloseIfOpen(service);
  CloseIfOpen(manager);
  return created;
}

bool StartTestService(const std::string& name, DWORD timeoutMs, std::string* why) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager != nullptr
                          ? OpenServiceA(manager, name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS)
                          : nullptr;
  bool running = false;
  if (service == nullptr) {
    if (why != nullptr) *why = ErrorWords("OpenServiceA", GetLastError());
  } else if (!StartServiceA(service, 0, nullptr)) {
    if (why != nullptr) *why = ErrorWords("StartServiceA", GetLastError());
  } else {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    SERVICE_STATUS status = {};
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING &&
           status.dwCurrentState != SERVICE_STOPPED && GetTickCount64() < deadline) {
      Sleep(20);
    }
    running = status.dwCurrentState == SERVICE_RUNNING;
    if (!running && why != nullptr) {
      *why = "the service did not reach the running state; its state is " +
             std::to_string(status.dwCurrentState);
    }
  }
  CloseIfOpen(service);
  CloseIfOpen(manager);
  return running;
}

DWORD TestServiceState(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager != nullptr ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
  SERVICE_STATUS status = {};
  DWORD state = 0;
  if (service != nullptr && QueryServiceStatus(service, &status)) state = status.dwCurrentState;
  CloseIfOpen(service);
  CloseIfOpen(manager);
  return state;
}

DWORD OpenServiceError(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return GetLastError();
  SetLastError(0);
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
  const DWORD error = service == nullptr ? GetLastError() : 0;
  CloseIfOpen(service);
  CloseIfOpen(manager);
  return error;
}

namespace {

// Waits until the service reports stopped; answers whether it did by the deadline.
bool WaitUntilStopped(SC_HANDLE service, ULONGLONG deadline) {
  SERVICE_STATUS status = {};
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
  return true;
}

// Sets the test service's quit event: the way out for a service that refuses to stop.
void SetQuitEvent(const std::string& name) {
  HANDLE quit = OpenEventA(EVENT_MODIFY_STATE, FALSE, ("Global\\TessivaneTestServiceQuit." + name).c_str());
  if (quit == nullptr) return;
  SetEvent(quit);
  CloseHandle(quit);
}

}  // namespace

bool RemoveTestService(const std::string& name, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  if (service != nullptr) {
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
      ControlService(service, SERVICE_CONTROL_STOP, &status);
      if (!WaitUntilStopped(service, GetTickCount64() + 500)) {
        SetQuitEvent(name);
        WaitUntilStopped(service, deadline);
      }
    }
    DeleteService(service);
    CloseServiceHandle(service);
  }
  // The manager forgets a deleted service only once the last handle to it is closed.
  bool gone = false;
  while (!gone) {
    service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    gone = service == nullptr && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    CloseIfOpen(service);
    if (gone || GetTickCount64() >= deadline) break;
    Sleep(20);
  }
  CloseServiceHandle(manager);
  return gone;
}

}  // namespace testsupport
