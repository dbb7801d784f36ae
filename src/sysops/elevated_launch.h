// Starting a program elevated through the shell's "RunAs" verb, and the system's text
// for the last error.
#pragma once

#include <windows.h>

// Starts file (at most 259 wide characters) with parameters (at most 4095), without the
// shell's check of where the file came from. With process, the started process's handle
// goes to the caller to wait for and close (null when the shell gave none); without, it is
// closed at once. On failure errorText (2048 characters) names the program as fileText, the
// name the log knows it by, and gives the system's message.
bool LaunchElevated(const wchar_t* file, const char* fileText, const char* parameters, HANDLE* process,
                    int showCommand, char* errorText);

// The one sentence for a program that did not start: errorText (2048 characters) becomes
// "Unable to run the program: <fileText> Error Message: <reason>".
void LaunchFailureText(char* errorText, const char* fileText, const char* reason);

// The system's message for the calling thread's last error, cleaned to printable ASCII,
// or the code's decimal number; text holds 2048 characters. Call it right after the
// failed platform call.
void GetLastErrorText(char* text);
