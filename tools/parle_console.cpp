#include "tools/parle_console.h"

#include <cstdlib>

#include "common/console.h"
#include "tools/parle_commands.h"

namespace {
std::FILE* g_out = nullptr;
std::FILE* g_err = stderr;
}  // namespace

void parle_route(std::FILE* out, std::FILE* err) {
  g_out = out;
  g_err = err;
  console_route(out, err);
}

ConsoleCapture::ConsoleCapture(Streams streams) {
  // Without memory the lines are dropped; the caller's own line still names the failure.
  std::FILE* out = (streams & kOut) != 0 ? memory_.stream() : g_out;
  std::FILE* err = (streams & kErr) != 0 ? memory_.stream() : g_err;
  console_route(out, err);
}

ConsoleCapture::~ConsoleCapture() { console_route(g_out, g_err); }

std::string ConsoleCapture::text() {
  std::string all = memory_.contents();
  while (!all.empty() && all.back() == '\n') all.pop_back();
  std::string joined;
  for (char c : all) {
    if (c == '\n') {
      joined += "; ";
    } else {
      joined += c;
    }
  }
  return joined;
}

int usage_error(const char* command, const std::string& message) {
  const char* space = command[0] != '\0' ? " " : "";
  (void)std::fprintf(stderr, "parle%s%s: %s; see 'parle%s%s --help'\n", space, command, message.c_str(), space,
                     command);
  return kExitUsage;
}
