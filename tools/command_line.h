// The command-line walk shared by the patch and the dump tools.
//
// Arguments are taken left to right. One beginning with '-' is an option, handed to the
// tool's own handler; any other (an empty one included) is the input image path, of
// which there may be one. The walk stops at the first argument that ends the run, so
// nothing after it is looked at.
#pragma once

#include <cstring>

#include "common/console.h"

enum class OptionResult {
  kTaken,    // the option (and any value it consumed) is done; go on
  kEndRun,   // the handler printed what it had to; end the run with status 1
  kUnknown,  // not an option of this tool
};

// `on_option(arg, &i)` may advance `i` past a value it consumes. Returns 0 when the
// whole command line was taken, 1 when the run must end with that status.
template <typename OnOption>
int walk_command_line(int argc, char** argv, const char** input_path, OnOption on_option) {
  int slots_left = 1;
  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    const char* arg = argv[i];
    if (arg[0] == '-') {
      const OptionResult r = on_option(arg, &i);
      if (r == OptionResult::kTaken) continue;
      if (r == OptionResult::kUnknown) out_printf("unknown option '%s'\n", arg);
      return 1;
    }
    if (slots_left > 0) {
      *input_path = arg;
      --slots_left;
    } else {
      out_printf("unneeded parameter '%s'\n\n", arg);
      return 1;
    }
  }
  return 0;
}
