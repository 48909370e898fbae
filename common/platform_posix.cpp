// The platform layer on Linux and other POSIX systems: arguments and file names are
// taken as they come, and standard output is written byte for byte already.
#include <sys/stat.h>

#include "common/platform.h"

void platform_start(int* argc, char*** argv) {
  (void)argc;
  (void)argv;
}

std::FILE* platform_fopen(const char* path, const char* mode) { return std::fopen(path, mode); }

bool platform_exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

void platform_console_utf8() {}

bool platform_console_closes_at_exit() { return false; }
