#include "common/console.h"

#include <cstdarg>
#include <cstdio>

int out_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(stdout, format, args);
  va_end(args);
  return n;
}

int err_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(stdout, format, args);
  va_end(args);
  return n;
}

int buf_printf(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  // vsnprintf stores nothing when size is 0 and always terminates otherwise.
  const int n = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  return n;
}
