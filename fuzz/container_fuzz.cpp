// Fuzz target: container recognition and sector mapping, vol_open_any_mem, over image
// files of every form with hostile bytes anywhere in them.
//
// The first input byte picks a good container built from the sample volume (every form
// and geometry, with the writer's unusual layouts), or, for the last choice, takes the
// rest of the input itself as the whole file. The second byte may cut the file short or
// lengthen it. The rest is a list of patches laid over the file: a 3-byte position (taken
// modulo the file's length), a length byte, and that many bytes. So the fuzzer reaches
// the headers, the track tables and the sector records deep in the file alike.
//
// After a load succeeds, every sector must map inside the file or, when not stored, to
// the fill area behind it; every sector is read; the conversation files are read and
// written back, which runs the rewrite check of the sectors a container does not store.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_base.h"
#include "volume/container_writer.h"
#include "volume/file.h"
#include "volume/image.h"

namespace {

struct Base {
  int geometry;
  ImageForm form;
  ContainerOptions options;
};

std::vector<std::vector<std::uint8_t>>& bases() {
  static std::vector<std::vector<std::uint8_t>> all = [] {
    std::vector<Base> list;
    for (int g = 0; g < 3; ++g) {
      for (ImageForm f : {ImageForm::kRaw, ImageForm::kFdi, ImageForm::kDip, ImageForm::kD88, ImageForm::kDim,
                          ImageForm::kNfd, ImageForm::kFdd, ImageForm::kDcp}) {
        list.push_back({g, f, {}});
      }
      ContainerOptions shuffled;
      shuffled.d88_shuffle = true;
      shuffled.d88_second_disk = true;
      list.push_back({g, ImageForm::kD88, shuffled});
      ContainerOptions r1;
      r1.nfd_r1 = true;
      list.push_back({g, ImageForm::kNfd, r1});
      ContainerOptions small_header;
      small_header.fdi_header_size = 256;
      list.push_back({g, ImageForm::kFdi, small_header});
    }
    std::vector<std::vector<std::uint8_t>> built;
    for (const Base& b : list) {
      const std::vector<std::uint8_t> volume = fuzz_base_image(b.geometry, false);
      std::vector<std::uint8_t> file = build_container(volume, kGeometries[b.geometry], b.form, b.options);
      if (!file.empty()) built.push_back(std::move(file));
    }
    return built;
  }();
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_silence_stdout();
  bases();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t choices = bases().size() + 1;
  const std::size_t choice = data[0] % choices;
  static std::vector<std::uint8_t> file;
  if (choice == choices - 1) {
    file.assign(data + 1, data + size);
  } else {
    file = bases()[choice];
    std::size_t at = 1;
    if (at < size) {
      // Cut short by up to 64 KiB, or lengthen by up to 1 KiB of zeros.
      const int op = data[at++];
      if (op >= 0x80 && at + 2 <= size) {
        const std::size_t cut =
            std::min<std::size_t>(file.size(), (static_cast<std::size_t>(data[at]) << 8 | data[at + 1]) + 1);
        file.resize(file.size() - cut);
        at += 2;
      } else if (op >= 0x40) {
        file.resize(file.size() + static_cast<std::size_t>(op - 0x3F) * 16, 0);
      }
    }
    while (!file.empty() && at + 4 <= size) {
      const std::size_t pos = (static_cast<std::size_t>(data[at]) | static_cast<std::size_t>(data[at + 1]) << 8 |
                               static_cast<std::size_t>(data[at + 2]) << 16) %
                              file.size();
      const std::size_t n = std::min<std::size_t>({data[at + 3], size - (at + 4), file.size() - pos});
      std::copy(data + at + 4, data + at + 4 + n, file.begin() + static_cast<std::ptrdiff_t>(pos));
      at += 4 + n;
    }
  }

  DiskImage disk;
  if (vol_open_any_mem(&disk, file.data(), file.size(), "fuzz") != 0) return 0;
  // Every sector lies inside the file, or in the fill area when the file does not store
  // it; its first and last bytes are read (the sanitizer guards the buffer's ends).
  unsigned sum = 0;
  for (std::int32_t s = 0; s < disk.total_sectors; ++s) {
    const std::int32_t at = vol_sector_offset(&disk, s);
    const bool stored = disk.sector_states == nullptr || disk.sector_states[s] != SectorState::kFill;
    const bool inside = at >= 0 && at <= disk.image_size - disk.bytes_per_sector;
    if (stored != inside) std::abort();
    sum += disk.image[at] + disk.image[at + disk.bytes_per_sector - 1];
  }
  static std::uint8_t buffer[65536];
  for (const char* name : {"CASTLE.TLK", "DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"}) {
    const std::int32_t file_size = vol_file_size(&disk, name, 1);
    if (file_size < 0 || file_size > static_cast<std::int32_t>(sizeof buffer)) continue;
    if (vol_read_file(&disk, name, buffer, file_size, 1) == 0) {
      buffer[0] = static_cast<std::uint8_t>(buffer[0] + sum);  // a change, so that the rewrite check runs
      vol_write_file(&disk, name, buffer, file_size, 1);
    }
  }
  vol_free(&disk, 0);
  return 0;
}
