// Fuzz target: the patch pass of every revision over an image whose conversation files
// hold arbitrary bytes.
//
// The sample disk is loaded once; for each input its image bytes are restored and the
// input is spread over the data of DWELLING.TLK, KEEP.TLK and TOWNE.TLK (the files the
// revisions rebuild), each file taking the next part of the input, then every revision's
// pass runs over it in turn.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_base.h"
#include "patch/pass.h"
#include "patch/sets.h"
#include "volume/file.h"
#include "volume/image.h"

namespace {

DiskImage g_disk;
std::vector<std::uint8_t> g_pristine;
PatchBuffers g_buffers;
std::uint8_t g_file[65536];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_silence_stdout();
  const std::vector<std::uint8_t> image = fuzz_base_image(kGeometry1232, false);
  if (vol_open_mem(&g_disk, image.data(), image.size(), "sample.xdf", 0) != 0) return 1;
  g_pristine.assign(g_disk.image, g_disk.image + g_disk.image_size);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const PatchSet* revisions[] = {&kPatchRevision1, &kPatchRevision2, &kPatchRevision3};
  for (const PatchSet* set : revisions) {
    std::memcpy(g_disk.image, g_pristine.data(), g_pristine.size());
    std::size_t used = 0;
    for (const char* name : {"DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"}) {
      const std::int32_t file_size = vol_file_size(&g_disk, name, 1);
      if (file_size <= 0 || vol_read_file(&g_disk, name, g_file, file_size, 1) != 0) continue;
      const std::size_t n = std::min(size - used, static_cast<std::size_t>(file_size));
      if (n > 0) std::memcpy(g_file, data + used, n);
      used += n;
      vol_write_file(&g_disk, name, g_file, file_size, 1);
    }
    patch_pass(&g_disk, *set, "in.xdf", "out.xdf", &g_buffers);
  }
  return 0;
}
