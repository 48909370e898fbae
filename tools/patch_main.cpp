#include "tools/patch_main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "common/platform.h"
#include "patch/pass.h"
#include "tools/command_line.h"
#include "volume/image.h"

void show_usage(const PatchToolSettings& settings) {
  out_printf("usage: %s [options] [DISK-IMG]\n", settings.program);
  out_printf("option: --write|-o DISK-IMG     write modified Wealdmoor Disk to specified file\n");
  out_printf("        --help                  print usage\n");
  out_printf("\n");
  out_printf("supported disk image format is *.%s only\n", settings.image_ext);
  out_printf("read Wealdmoor disk image from '%s' if not specified\n", settings.default_image);
  out_printf("write modified disk image to filename.NEW.ext if not specified\n");
}

char* make_new_name(const char* path) {
  static constexpr char kInfix[] = ".NEW";
  const std::size_t length = std::strlen(path);
  auto* name = static_cast<char*>(std::malloc(length + sizeof kInfix));
  if (name == nullptr) {
    out_printf("memory exhaust!\n");
    return nullptr;
  }
  const char* dot = std::strrchr(path, '.');
  const std::size_t stem = dot != nullptr ? static_cast<std::size_t>(dot - path) : length;
  std::memcpy(name, path, stem);
  std::memcpy(name + stem, kInfix, sizeof kInfix - 1);
  std::memcpy(name + stem + sizeof kInfix - 1, path + stem, length - stem + 1);
  return name;
}

int ask_yes_no(const char* question) {
  out_printf("%s (Y or N): ", question);
  (void)std::fflush(stdout);
  for (;;) {
    const int c = std::getchar();
    if (c == EOF) return 0;
    if (c == 'Y' || c == 'y') return 1;
    if (c == 'N' || c == 'n') return 0;
  }
}

int patch_main(const PatchToolSettings& settings, int argc, char** argv) {
  // Held until the process ends, which releases it: static storage keeps what the run
  // holds reachable at exit.
  static DiskImage disk;
  static char* derived_output;
  static PatchBuffers buffers;  // the patch pass's two 64 KiB work areas

  platform_start(&argc, &argv);
  const char* input_path = nullptr;
  const char* output_path = nullptr;
  const int stop = walk_command_line(argc, argv, &input_path, [&](const char* arg, int* i) {
    if (std::strcmp(arg, "--help") == 0) {
      show_usage(settings);
      return OptionResult::kEndRun;
    }
    if (std::strcmp(arg, "--write") == 0 || std::strcmp(arg, "-o") == 0) {
      // The next argument is the output path, whatever it holds.
      if (*i + 1 >= argc || argv[*i + 1] == nullptr) {
        out_printf("no disk image (output)\n");
        return OptionResult::kEndRun;
      }
      output_path = argv[++*i];
      return OptionResult::kTaken;
    }
    return OptionResult::kUnknown;
  });
  if (stop != 0) return 1;

  if (input_path == nullptr) input_path = settings.default_image;
  if (output_path == nullptr) {
    derived_output = make_new_name(input_path);
    if (derived_output == nullptr) {
      out_printf("can't create filename\n");
      return 1;
    }
    output_path = derived_output;
  }

  // The image is loaded where it will be saved, when the system allows: see vol_open_staged.
  if (vol_open_staged(&disk, input_path, settings.header_offset, output_path) < 0) {
    out_printf("ERROR: read disk image '%s'\n", input_path);
    return 1;
  }
  if (patch_pass(&disk, *settings.patch_set, input_path, output_path, &buffers) < 0) return 1;

  if (platform_exists(output_path)) {
    out_printf("already exists '%s'\n", output_path);
    if (ask_yes_no("overwrite ?") <= 0) return 1;
  }
  if (vol_save(&disk, output_path) < 0) {
    out_printf("ERROR: write disk image '%s'\n", output_path);
    return 1;
  }
  // The image is not released: the process ends right after this line and the system
  // takes back its memory at once, where freeing it would only cost time.
  out_printf("completed\n");
  return 0;
}
