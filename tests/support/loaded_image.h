// A TestImage loaded with vol_open, for tests of the operations on a DiskImage.
//
// The image is written to a fresh temporary directory and opened with its own header
// offset; the DiskImage is released when the fixture goes. Loading a TestImage never
// fails, so a failure throws rather than leaving a half-made fixture.
#pragma once

#include <stdexcept>

#include "tests/support/process.h"
#include "tests/support/test_image.h"
#include "volume/image.h"

namespace testing_support {

struct LoadedImage {
  TempDir dir;
  DiskImage disk{};

  explicit LoadedImage(const TestImage& img) {
    const std::string path = dir / "disk.img";
    img.write(path);
    if (vol_open(&disk, path.c_str(), img.header_offset()) != 0) throw std::runtime_error("cannot load " + path);
  }
  ~LoadedImage() { vol_free(&disk, 0); }
  LoadedImage(const LoadedImage&) = delete;
  LoadedImage& operator=(const LoadedImage&) = delete;

  // The image bytes as loaded (header included), for comparing with a TestImage.
  std::vector<std::uint8_t> bytes() const { return {disk.image, disk.image + disk.image_size}; }
};

}  // namespace testing_support
