// Fuzz target: image loading, directory lookup, path walk and file reads and writes over
// arbitrary volume bytes.
//
// The first input byte picks one of the three geometries and the header offset; the rest
// is laid over the start of a good image of that form (boot sector, both FAT copies and
// the root directory, as far as the input reaches), so the loader's length gate always
// passes and the FAT and directory code sees hostile bytes. The image is loaded from
// memory with vol_open_mem, which takes the same path as vol_open after the read.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_base.h"
#include "volume/dir.h"
#include "volume/file.h"
#include "volume/image.h"

namespace {

constexpr int kForms = 6;  // three geometries, each with and without the FDI header

struct Form {
  std::vector<std::uint8_t> image;
  std::size_t overlay_end;  // end of the root directory: the part the input may replace
};

std::vector<Form>& forms() {
  static std::vector<Form> all = [] {
    std::vector<Form> f;
    for (int i = 0; i < kForms; ++i) {
      const int geometry = i / 2;
      const bool fdi = i % 2 == 1;
      const Geometry& g = kGeometries[geometry];
      const std::size_t header = fdi ? kFdiHeaderOffset : 0;
      f.push_back({fuzz_base_image(geometry, fdi),
                   header + static_cast<std::size_t>(g.data_start) * static_cast<std::size_t>(g.bytes_per_sector)});
    }
    return f;
  }();
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_silence_stdout();
  forms();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const Form& form = forms()[data[0] % kForms];
  // The good image with the input laid over its start; the rest of the file stays good
  // (vol_open_mem copies the bytes, so only the start of this buffer ever changes).
  static std::vector<std::uint8_t> images[kForms];
  std::vector<std::uint8_t>& image = images[data[0] % kForms];
  if (image.empty()) image = form.image;
  std::memcpy(image.data(), form.image.data(), form.overlay_end);
  std::memcpy(image.data(), data + 1, std::min(size - 1, form.overlay_end));

  const std::int32_t header = (data[0] % kForms) % 2 == 1 ? kFdiHeaderOffset : 0;
  DiskImage disk;
  if (vol_open_mem(&disk, image.data(), image.size(), "fuzz.img", header) != 0) return 0;

  static std::uint8_t buffer[65536];
  for (const char* name : {"CASTLE.TLK", "DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"}) {
    const std::int32_t file_size = vol_file_size(&disk, name, 1);
    if (file_size < 0 || file_size > static_cast<std::int32_t>(sizeof buffer)) continue;
    if (vol_read_file(&disk, name, buffer, file_size, 1) == 0) {
      vol_write_file(&disk, name, buffer, file_size, 1);
    }
  }
  // Subdirectories the input may have made up, and names that are not 8.3.
  std::int32_t cluster = 0, budget = 0;
  for (const char* p : {"CASTLE.TLK", "DIR/SUB", "/A//B/C/", "DWELLINGS.TLK/X"}) vol_walk_path(&disk, p, &cluster, &budget, 1);
  for (std::int32_t c = 0; c < 4; ++c) {
    char name[12];
    name_to_83(name, "KEEP.TLK");
    vol_find_entry(&disk, data[0] + c, 65536, name, c % 2);
  }
  vol_free(&disk, 0);
  return 0;
}
