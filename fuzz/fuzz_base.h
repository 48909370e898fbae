// What the fuzz targets share: the good images their inputs are laid over, and a quiet
// standard output (the code under test prints a line for everything it does).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "sample/sample_disk.h"

// The sample disk's volume in the given geometry, with or without the FDI header.
inline std::vector<std::uint8_t> fuzz_base_image(int geometry, bool fdi) {
  return sample::sample_image(fdi, sample::sample_files(), geometry);
}

inline void fuzz_silence_stdout() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::perror("freopen");
}
