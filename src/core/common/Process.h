// What the shared code asks of its process and its system, one file per
// platform (Process_posix.cpp, Process_win32.cpp): the process's number (for
// the names and lock files that say which run they belong to), the local
// time of day, and raw writes to a standard stream (their loop in
// Process.cpp). Any thread; OpenStandardStreams only first thing in main.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace ostrana {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed (a
// supervisor may start the program so), so that no file or socket opened
// later takes a standard stream's number and gets its lines. The first thing
// a main does, before anything opens a descriptor; false when one cannot be
// opened. Nothing to do on Windows, where sockets and files are handles,
// apart from the standard streams' numbers.
bool OpenStandardStreams();
std::uint32_t CurrentProcessId();
// `seconds` in the local time zone.
std::tm LocalTime(std::time_t seconds);
// Writes straight to the stream's descriptor, nothing kept in a stdio
// buffer; false when the stream is closed or fails. (The descriptor is asked
// for at each write: a Windows window program attaches its console after start.)
bool WriteToStream(std::FILE* stream, const char* data, std::size_t size);
// One write of WriteToStream's: the bytes written, or -1.
long WriteSome(std::FILE* stream, const char* data, std::size_t size);

}  // namespace ostrana
