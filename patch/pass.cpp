#include "patch/pass.h"

#include <cstring>

#include "common/console.h"
#include "volume/file.h"

namespace {
// File names match the root directory's entries whatever their case.
constexpr int kIgnoreCase = 1;
}  // namespace

int patch_pass(DiskImage* disk, const PatchSet& set, const char* input_path, const char* output_path,
               PatchBuffers* buffers) {
  for (int t = 0; t < set.target_count; ++t) {
    const PatchTarget& target = set.targets[t];
    // Nothing of one file may carry over into the next.
    std::memset(buffers->source, 0, sizeof buffers->source);
    std::memset(buffers->target, 0, sizeof buffers->target);

    out_printf("modifying %s\n", target.file_name);
    if (vol_read_file(disk, target.file_name, buffers->source, target.file_length, kIgnoreCase) < 0) {
      out_printf("ERROR: read disk image '%s/%s'\n", input_path, target.file_name);
      return -1;
    }
    if (patch_apply(target.records, buffers->target, buffers->source, target.file_length) < 0) {
      out_printf("ERROR: modify '%s'\n", target.file_name);
      return -1;
    }
    if (vol_write_file(disk, target.file_name, buffers->target, target.file_length, kIgnoreCase) < 0) {
      out_printf("ERROR: write disk image '%s/%s'\n", output_path, target.file_name);
      return -1;
    }
    out_printf("modified\n\n");
  }
  return 0;
}
