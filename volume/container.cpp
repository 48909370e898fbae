// Container forms: recognising an image file's form from its content and mapping the
// volume's linear sectors to their places in the file.
//
// Interim version: raw sectors and FDI (a 4096-byte header) only, recognised by length.
#include <cstdio>
#include <cstdlib>

#include "common/console.h"
#include "common/platform.h"
#include "volume/image.h"

namespace {

constexpr const char* kFormNames[] = {"raw", "fdi", "dip", "d88", "dim", "nfd", "fdd", "dcp"};

bool is_raw_size(long long size) {
  for (const Geometry& g : kGeometries) {
    if (size == g.data_size) return true;
  }
  return false;
}

}  // namespace

const char* vol_form_name(ImageForm form) { return kFormNames[static_cast<int>(form)]; }

int vol_open_any_mem(DiskImage* disk, const std::uint8_t* data, std::size_t size, const char* name) {
  const auto length = static_cast<long long>(size);
  if (is_raw_size(length)) return vol_open_mem(disk, data, size, name, 0);
  if (is_raw_size(length - kFdiHeaderOffset)) {
    if (vol_open_mem(disk, data, size, name, kFdiHeaderOffset) < 0) return -1;
    disk->form = ImageForm::kFdi;
    return 0;
  }
  return vol_open_mem(disk, data, size, name, 0);
}

int vol_open_any(DiskImage* disk, const char* path) {
  std::FILE* file = platform_fopen(path, "rb");
  if (file == nullptr) {
    err_printf("open error '%s'\n", path);
    *disk = DiskImage{};
    return -1;
  }
  // Every form of a floppy volume is well below this; anything longer is not an image.
  constexpr std::size_t kLimit = 8u << 20;
  auto* bytes = static_cast<std::uint8_t*>(std::malloc(kLimit + 1));
  const std::size_t n = bytes != nullptr ? std::fread(bytes, 1, kLimit + 1, file) : 0;
  (void)std::fclose(file);
  if (bytes == nullptr || n > kLimit) {
    std::free(bytes);
    err_printf("unsupported image '%s'\n", path);
    *disk = DiskImage{};
    return -1;
  }
  const int r = vol_open_any_mem(disk, bytes, n, path);
  std::free(bytes);
  return r;
}

int vol_sector_writable(const DiskImage* disk, std::int32_t sector, const std::uint8_t* data) {
  (void)data;
  if (disk->sector_states == nullptr || disk->sector_states[sector] == SectorState::kStored) return 0;
  err_printf("can't rewrite sector %d of this %s image\n", sector, vol_form_name(disk->form));
  return -1;
}
