#include "common/console.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Null until a program routes the messages: stdout, for both, otherwise.
std::FILE* g_out = nullptr;
std::FILE* g_err = nullptr;
bool g_routed = false;

std::FILE* out_stream() { return g_routed ? g_out : stdout; }
std::FILE* err_stream() { return g_routed ? g_err : stdout; }

// A null stream takes the text and drops it.
[[gnu::format(PARLE_PRINTF, 2, 0)]] int print_to(std::FILE* stream, const char* format, va_list args) {
  return stream != nullptr ? std::vfprintf(stream, format, args) : 0;
}

}  // namespace

void console_route(std::FILE* out, std::FILE* err) {
  g_out = out;
  g_err = err;
  g_routed = true;
}

int out_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = print_to(out_stream(), format, args);
  va_end(args);
  return n;
}

int err_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = print_to(err_stream(), format, args);
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
