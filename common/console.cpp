#include "common/console.h"

#include <cstdarg>
#include <cstdio>

namespace {
std::FILE* g_out = stdout;
std::FILE* g_err = stdout;
bool g_routed = false;
}  // namespace

void console_route(std::FILE* out, std::FILE* err) {
  g_out = out;
  g_err = err;
  g_routed = true;
}

int out_printf(const char* format, ...) {
  std::FILE* stream = g_routed ? g_out : stdout;
  if (stream == nullptr) return 0;
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(stream, format, args);
  va_end(args);
  return n;
}

int err_printf(const char* format, ...) {
  std::FILE* stream = g_routed ? g_err : stdout;
  if (stream == nullptr) return 0;
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(stream, format, args);
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
