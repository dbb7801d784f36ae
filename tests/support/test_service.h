// Helpers for tests that need a real service in Wine's service manager: registering the
// suite's test service program under a name of the test's own, starting it, and removing
// it again, whatever state the service was left in. Test-only.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The test service program of this build (a Windows path).
std::string TestServiceProgramPath();

// The command the service manager runs: the program path in quotes, then the mode words
// ("accept", "late MS", "never", "stuck" or "linger MS"; see the program's own description).
std::string TestServiceCommand(const std::string& programPath, const std::string& mode);

// Registers a demand-start, own-process service. Any service of that name left behind by
// an earlier run is removed first. False (with the reason in *why) when it fails.
bool RegisterTestService(const std::string& name, const std::string& command, std::string* why);

// Starts the service and waits until it reports running.
bool StartTestService(const std::string& name, DWORD timeoutMs, std::string* why);

// The service's current state (SERVICE_RUNNING, ...), or 0 when it cannot be queried.
DWORD TestServiceState(const std::string& name);

// The last error of OpenServiceA for that name (0 when the service opens).
DWORD OpenServiceError(const std::string& name);

// Stops the service whatever its mode (through its quit event if it refuses), deletes it and waits until the service
// manager no longer knows the name. True when the name is gone (or never existed).
bool RemoveTestService(const std::string& name, DWORD timeoutMs);

// Removes the service when the test ends, however it ends.
class ScopedTestService {
 public:
  explicit ScopedTestService(const std::string& name) : name_(name) { RemoveTestService(name_, 10000); }
  ~ScopedTestService() { RemoveTestService(name_, 10000); }
  ScopedTestService(const ScopedTestService&) = delete;
  ScopedTestService& operator=(const ScopedTestService&) = delete;
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

}  // namespace testsupport
