// The main routine shared by the six patch tools.
//
// Each deliverable is a few lines that pass its PatchToolSettings to patch_main. The
// routine sets the process up for its system (platform_start: on Windows, UTF-8
// arguments and binary standard output), parses the command line, loads the image, runs
// the patch pass, asks before replacing an existing output and saves the whole image. It
// returns the exit status: 0 after "completed", 1 for --help, a declined overwrite and
// every failure.
#pragma once

#include <cstdint>

#include "patch/sets.h"

struct PatchToolSettings {
  const char* program;         // the name shown in the usage text
  const char* image_ext;       // "fdi" or "xdf", shown in the usage text
  std::int32_t header_offset;  // container header in front of sector 0
  const char* default_image;   // read from the working directory when no path is given
  const PatchSet* patch_set;   // the revision this tool carries
};

int patch_main(const PatchToolSettings& settings, int argc, char** argv);

void show_usage(const PatchToolSettings& settings);

// stem + ".NEW" + extension, split at the last '.' of the whole path; a new malloc'd
// text owned by the caller, or null after "memory exhaust!".
char* make_new_name(const char* path);

// Prints "<question> (Y or N): ", flushes, and reads characters until Y/y (1) or N/n
// (0); everything else is skipped. The end of input counts as No.
int ask_yes_no(const char* question);
