// Writes the fuzz targets' seed inputs, taken from the sample disk, into
// <dir>/volume_fuzz, <dir>/tlk_fuzz and <dir>/patch_fuzz.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sample/sample_disk.h"

namespace {
void write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: make-fuzz-seeds DIR\n");
    return 1;
  }
  const std::filesystem::path dir = argv[1];
  for (const char* sub : {"volume_fuzz", "tlk_fuzz", "patch_fuzz"}) std::filesystem::create_directories(dir / sub);

  // Volume: the form selector, then the image up to the end of its root directory.
  for (int form = 0; form < 6; ++form) {
    const int geometry = form / 2;
    const bool fdi = form % 2 == 1;
    const std::vector<std::uint8_t> img = sample::sample_image(fdi, sample::sample_files(), geometry);
    const Geometry& g = kGeometries[geometry];
    const std::size_t end = static_cast<std::size_t>(fdi ? kFdiHeaderOffset : 0) +
                            static_cast<std::size_t>(g.data_start) * static_cast<std::size_t>(g.bytes_per_sector);
    std::vector<std::uint8_t> seed{static_cast<std::uint8_t>(form)};
    seed.insert(seed.end(), img.begin(), img.begin() + static_cast<std::ptrdiff_t>(end));
    write(dir / "volume_fuzz" / ("form" + std::to_string(form)), seed);
  }
  // Conversation files whole, and the three rebuilt ones one after another.
  std::vector<std::uint8_t> all;
  for (const sample::SampleFile& f : sample::sample_files()) {
    write(dir / "tlk_fuzz" / f.name, f.data);
    if (f.name != "CASTLE.TLK") all.insert(all.end(), f.data.begin(), f.data.end());
  }
  write(dir / "patch_fuzz" / "sample", all);
  return 0;
}
