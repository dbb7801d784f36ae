// The removal log: one text file shared by every run of the program, to which each step
// is appended as one line that starts with the local date and time. The file is opened,
// written, committed and closed for every line, so each line is on disk before the next
// step begins.
#pragma once

#include <windows.h>

// Replaces the contents of line (4096 characters) with the prefix "[Y-M-D hh:mm:ss] ".
void LogTimestamp(char* line);

// The same prefix for a given local time; LogTimestamp hands it the clock's reading.
void LogTimestampAt(const SYSTEMTIME* localTime, char* line);

// Appends the timestamped message and a line end to the file at path, or nothing when
// enabled is false. A line that would not fit whole is dropped, never cut; so is a line
// whose file or own folders ("Halvorne" and "Logs" of the log's path) are links, or whose
// file has a second name.
void WriteLogLine(const char* message, const char* path, bool enabled);

// Creates every directory on the way to the file that filePath names; the log's own folders
// with a DACL that keeps standard users out, and none in or below an own folder that is a
// link.
void CreateDirectoryChain(const char* filePath);
