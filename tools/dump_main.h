// The main routine shared by the two dump tools.
//
// Each deliverable is a few lines that pass its DumpToolSettings to dump_main. The
// routine sets the process up for its system (platform_start: on Windows, UTF-8
// arguments and binary standard output), parses the command line, loads the image, and
// for each conversation file in tlk_file_names prints its name, reads it out of the root
// directory into one fixed 64 KiB buffer and prints it with tlk_dump. The image is only
// read; nothing is written but standard output. It returns the exit status: 0 after the
// fourth file, 1 for --help, every failure, and a standard output that could not take
// the whole dump.
#pragma once

#include <cstdint>

struct DumpToolSettings {
  const char* program;         // the name shown in the usage text
  const char* image_ext;       // "fdi" or "xdf", shown in the usage text
  std::int32_t header_offset;  // container header in front of sector 0
  const char* default_image;   // read from the working directory when no path is given
};

// The conversation files in the order they are dumped, ended by a null entry.
inline constexpr const char* tlk_file_names[] = {"CASTLE.TLK", "DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK", nullptr};

// The file buffer: every offset inside a conversation file is a 16-bit value, so no
// valid file is longer than this.
inline constexpr std::int32_t kTlkFileBufferSize = 65536;
// The smallest header: a count of 1, one record offset and the end offset.
inline constexpr std::int32_t kTlkMinFileSize = 6;

int dump_main(const DumpToolSettings& settings, int argc, char** argv);

void show_usage(const DumpToolSettings& settings);
