#include "tools/dump_main.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/platform.h"
#include "dump/tlk.h"
#include "tools/command_line.h"
#include "volume/file.h"
#include "volume/image.h"

namespace {

// Names in the root directory are matched without regard to ASCII case.
inline constexpr int kIgnoreCase = 1;

// Everything the dump printed must have reached its destination: a run whose output
// was lost (full disk, closed pipe) is not a complete run.
int output_status() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) return 1;
  return 0;
}

}  // namespace

void show_usage(const DumpToolSettings& settings) {
  out_printf("usage: %s [options] [DISK-IMG]\n", settings.program);
  out_printf("option: --print-offset      print file offset\n");
  out_printf("        --help              print usage\n");
  out_printf("\n");
  out_printf("supported disk image format is *.%s only\n", settings.image_ext);
  out_printf("read Wealdmoor disk image from '%s' if not specified\n", settings.default_image);
}

int dump_main(const DumpToolSettings& settings, int argc, char** argv) {
  // Held until the process ends, which releases it: static storage keeps the image
  // reachable at exit. The file buffer is reused for every file.
  static DiskImage disk;
  static std::uint8_t file_buffer[kTlkFileBufferSize];

  platform_start(&argc, &argv);
  bool show_offsets = false;
  const char* input_path = nullptr;
  const int stop = walk_command_line(argc, argv, &input_path, [&](const char* arg, int*) {
    if (std::strcmp(arg, "--help") == 0) {
      show_usage(settings);
      return OptionResult::kEndRun;
    }
    if (std::strcmp(arg, "--print-offset") == 0) {
      show_offsets = true;
      return OptionResult::kTaken;
    }
    return OptionResult::kUnknown;
  });
  if (stop != 0) return 1;

  if (input_path == nullptr) input_path = settings.default_image;

  if (vol_open(&disk, input_path, settings.header_offset) < 0) {
    out_printf("ERROR: read disk image '%s'\n", input_path);
    return 1;
  }

  for (const char* const* name = tlk_file_names; *name != nullptr; ++name) {
    std::memset(file_buffer, 0, sizeof file_buffer);
    out_printf("%s:\n", *name);
    const std::int32_t size = vol_file_size(&disk, *name, kIgnoreCase);
    if (size < 0) {
      out_printf("ERROR: read disk image '%s/%s'\n", input_path, *name);
      return 1;
    }
    // Too short for a header, or too long for the buffer (and for 16-bit offsets):
    // refused before anything is read.
    if (size <= kTlkMinFileSize || size > kTlkFileBufferSize) {
      out_printf("ERROR: file size: %d\n", size);
      return 1;
    }
    if (vol_read_file(&disk, *name, file_buffer, size, kIgnoreCase) < 0) {
      out_printf("ERROR: read disk image '%s/%s'\n", input_path, *name);
      return 1;
    }
    if (tlk_dump(file_buffer, size, show_offsets) < 0) return 1;
    // Output that can no longer be written ends the run; the rest would be lost too.
    if (std::ferror(stdout) != 0) return 1;
  }

  // The image is not released: the process ends here and the system takes back its
  // memory at once, where freeing it page by page would only cost time.
  return output_status();
}
