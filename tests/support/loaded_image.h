// A built volume loaded with vol_open_mem, for tests of the operations on a DiskImage.
//
// The volume is loaded from memory in its raw form or behind a 4096-byte FDI header, with
// the matching header offset; the DiskImage is released when the fixture goes. Loading
// a built volume never fails, so a failure throws rather than leaving a half-made fixture.
#pragma once

#include <stdexcept>
#include <vector>

#include "volume/builder.h"
#include "volume/image.h"

namespace testing_support {

struct LoadedImage {
  DiskImage disk{};

  explicit LoadedImage(const VolumeBuilder& volume, bool fdi = false) {
    const std::vector<std::uint8_t> file = volume.file(fdi ? ImageForm::kFdi : ImageForm::kRaw);
    if (vol_open_mem(&disk, file.data(), file.size(), "disk.img", fdi ? kFdiHeaderOffset : 0) != 0) {
      throw std::runtime_error("cannot load the built volume");
    }
  }
  ~LoadedImage() { vol_free(&disk, 0); }
  LoadedImage(const LoadedImage&) = delete;
  LoadedImage& operator=(const LoadedImage&) = delete;

  // The image bytes as loaded (header included).
  std::vector<std::uint8_t> bytes() const { return {disk.image, disk.image + disk.image_size}; }
};

}  // namespace testing_support
