// Service control: stopping a service with a fixed retry schedule and marking it for
// deletion. Every operation opens the service manager and the service itself and
// releases every handle and record before it returns.
#pragma once

#include <windows.h>

// Reads the service's current status into a fresh heap record placed in *statusSlot
// (freeing the one there before). False for a null service handle or a failed query.
bool QueryServiceState(SC_HANDLE service, SERVICE_STATUS** statusSlot);

// Opens the service manager and the service (name trimmed) for desiredAccess. On true the
// caller owns *managerSlot, *serviceSlot and *statusSlot; on false nothing is left open
// and errorText (2048 characters) says why.
bool OpenServiceForControl(const char* serviceName, char* errorText, DWORD desiredAccess,
                           SC_HANDLE* managerSlot, SC_HANDLE* serviceSlot,
                           SERVICE_STATUS** statusSlot);

// Sends the stop control once, then up to 100 more times 100 ms apart, within about 11 s,
// and no more once the service is not running or does not exist; once the service accepts
// it, waits within the same pauses and deadline for it to report stopped. True when it
// did; otherwise false with the reason in errorText (2048 characters).
bool StopService(const char* serviceName, char* errorText);

// A private stop attempt, then marks the service (name used as given) for deletion.
bool RemoveService(const char* serviceName);
