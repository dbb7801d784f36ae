// The fixed names of what this program removes. They live in one place because the
// removal run and the next-logon cleanup must agree on them, and because no setting,
// file or environment variable may change them.
#pragma once

const char kServiceName[] = "KESPWindowsService";

// Everything below lives under HKEY_LOCAL_MACHINE.
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t kRunOnceValueName[] = L"KESPCleanup";
// The running copy's own path, quoted because the temporary directory may hold blanks.
const wchar_t kRunOnceCommandFormat[] = L"\"%ls\" silent zapfiles";

const char kAutostartKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kAutostartValueName[] = L"KESPNotifications";

const char kConfigurationKey[] = "SOFTWARE\\Halvorne\\KESP_SERVICE";

// The product's own folders lie in the all-users application-data folder, in its folder
// "Halvorne": the service's home directory and the log's folder. Each suffix is appended to
// that folder's path.
const char kCommonAppDataFolder[] = "Common AppData";
#define KESP_VENDOR_FOLDER "\\Halvorne"
const char kHomeDirectorySuffix[] = KESP_VENDOR_FOLDER "\\KESPWindowsService";
const char kLogFileSuffix[] = KESP_VENDOR_FOLDER "\\Logs\\KESPremoval.log";
#undef KESP_VENDOR_FOLDER
