// Where parle sends the lines of the shared libraries, and how it takes them back.
//
// The volume library reports through err_printf, the patch interpreter and the
// conversation-file dump through out_printf (common/console.h). parle prints its own
// results on standard output and its diagnostics on standard error, one line each, so
// it routes the two library streams itself: err_printf to standard error, out_printf to
// standard output (for the dump text), to standard error (the patch records with
// --verbose) or nowhere. Where a library line explains a failure that parle reports in
// a line of its own, parle takes the line back with a ConsoleCapture and folds it into
// that line. The routing is process-wide; parle is single-threaded.
#pragma once

#include <cstdio>
#include <string>

#include "common/platform.h"

// Sets where out_printf and err_printf write from now on (null discards).
void parle_route(std::FILE* out, std::FILE* err);

// While it lives, the lines the libraries print through the selected streams are kept
// in memory instead; the previous routing comes back when it goes.
class ConsoleCapture {
 public:
  enum Streams { kErr = 1, kOut = 2, kBoth = 3 };
  explicit ConsoleCapture(Streams streams = kErr);
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  // What was printed so far, its lines joined by "; ", without a final line end.
  std::string text();

 private:
  CaptureStream memory_;
};
