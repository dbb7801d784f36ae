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

// Appended to the all-users application-data folder.
const char kCommonAppDataFolder[] = "Common AppData";
const char kHomeDirectorySuffix[] = "\\Halvorne\\KESPWindowsService";
