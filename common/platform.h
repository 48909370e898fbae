// What differs between the systems the programs run on: how a program receives its
// arguments, how it names files, and what its standard output does to the bytes.
//
// Inside the programs every file name is UTF-8 text, as Linux hands it over, and every
// byte printed reaches standard output unchanged. On Linux and other POSIX systems these
// functions are the plain C and POSIX calls. On Windows (platform_win.cpp):
// - the C run-time library builds argv in the ANSI code page, which loses every
//   character outside it (a Japanese image name on a Western system), so platform_start
//   reads the command line again as UTF-16 and converts it to UTF-8;
// - files are opened by their UTF-16 names, converted from the UTF-8 ones;
// - standard output is put into binary mode, so that "\n" stays one byte instead of
//   becoming "\r\n", and a program prints exactly what it prints on Linux; a console
//   gets it in blocks (a full buffer, which a program flushes before it asks anything).
//
// Every function returns by value; none prints anything.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Call first in a program's main routine, with main's own argc and argv. On Windows it
// replaces them by the UTF-8 arguments of the process's command line (held until the
// process ends; argv[argc] is null), sets standard output to binary mode and, on a
// console, fully buffered; if the command line cannot be read, argc and argv are left as
// they were. Elsewhere it does nothing.
void platform_start(int* argc, char*** argv);

// std::fopen of a file named in UTF-8; null as fopen, errno set where the system sets it.
std::FILE* platform_fopen(const char* path, const char* mode);

// Whether `path` names something that exists, following links (stat succeeds).
bool platform_exists(const char* path);

// Whether there is a directory entry at `path` itself, a link that leads nowhere
// included (lstat succeeds).
bool platform_entry_exists(const char* path);

// Whether `path` names a directory, following links.
bool platform_is_directory(const char* path);

// open(path, O_RDONLY) of a file named in UTF-8, in binary mode and not inherited by
// child processes: a descriptor, or -1 with errno set.
int platform_open_read(const char* path);

// A stream that keeps what is written to it, to be read back: open_memstream on POSIX
// systems; on Windows, which has no memory streams, a temporary file that the system
// deletes when it is closed. stream() is null when none could be made.
class CaptureStream {
 public:
  CaptureStream();
  ~CaptureStream();
  CaptureStream(const CaptureStream&) = delete;
  CaptureStream& operator=(const CaptureStream&) = delete;

  std::FILE* stream() const { return stream_; }
  // Everything written so far; empty when there is no stream.
  std::string contents();

 private:
  std::FILE* stream_ = nullptr;
  char* buffer_ = nullptr;  // POSIX: open_memstream's buffer
  std::size_t size_ = 0;
};

// When standard output is a console window, makes it show UTF-8 text, and puts its
// previous code page back when the process exits; elsewhere (a file, a pipe, a terminal
// on Linux, which takes UTF-8 already) it does nothing. Only for programs whose output is
// UTF-8 text: the fixed programs print Shift-JIS as it is stored and never call this.
void platform_console_utf8();

// True when the program runs in a console window of its own that closes when it ends,
// as for a program started from Explorer (by a double-click or a file dropped onto it):
// such a program should wait for Enter before ending, or its output vanishes unread.
// False elsewhere, and always on POSIX systems, where the terminal outlives the program.
bool platform_console_closes_at_exit();

#ifdef _WIN32
// The C library's stream locks under their POSIX names, for code that locks a stream
// once and then writes to it a character at a time (the dump renderer).
inline void flockfile(std::FILE* stream) { _lock_file(stream); }
inline void funlockfile(std::FILE* stream) { _unlock_file(stream); }
inline int putc_unlocked(int c, std::FILE* stream) { return _putc_nolock(c, stream); }
#endif
