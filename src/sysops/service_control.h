// Service control: stopping a service, waiting as long as it shows it is getting there, and
// marking it for deletion. Every operation opens the service manager and the service itself and
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

// Sends the stop control, again every 100 ms for about 10 s while the refusal may change
// (1052, 1061), and no more after any other; once the service takes it, waits while its
// checkpoint advances within its wait hint (at least 10 s), then for its own process to
// end, all within about 30 s. True when it stopped; otherwise false with the reason in
// errorText (2048 characters); for 1051 the reason names the running dependents.
bool StopService(const char* serviceName, char* errorText);

// A private stop attempt, then marks the service (name used as given) for deletion. False
// with the platform's error in *removalError (ERROR_SERVICE_MARKED_FOR_DELETE for a service
// marked before); 0 there on true.
bool RemoveService(const char* serviceName, DWORD* removalError);
