// make-sample-disk DIR: writes the sample Wealdmoor disk into DIR in every container form
// that holds its 1232 KiB volume (sample::kSampleForms): K7_Wealdmor.fdi (a real FDI
// header of 4096 bytes, then the volume) and k7-wealdmoor.xdf (the volume alone), the
// names the programs read by default, and K7_Wealdmor.d88, .hdm, .dip, .dim, .nfd, .fdd
// and .dcp beside them. Every file holds the same volume.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "sample/sample_disk.h"

namespace {

// Writes the whole file under a temporary name, then renames it into place, so that a
// failed or interrupted build never leaves a short image behind under the real name.
bool write_whole(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string temporary = path + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    (void)std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: make-sample-disk DIR\n");
    return 1;
  }
  const std::string dir = argv[1];
  try {
    const VolumeBuilder volume = sample::sample_volume(sample::sample_files());
    for (const sample::SampleForm& f : sample::kSampleForms) {
      const std::vector<std::uint8_t> bytes = volume.file(f.form);
      const std::string path = dir + "/" + f.file_name;
      if (bytes.empty() || !write_whole(path, bytes)) {
        std::printf("make-sample-disk: can't write '%s'\n", path.c_str());
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::printf("make-sample-disk: %s\n", e.what());
    return 1;
  }
  return 0;
}
