#include "volume/image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "common/platform.h"
#include "common/populated.h"
#include "common/replace_file.h"

namespace {

// Width of one FAT12 entry in bits; two entries share three bytes.
inline constexpr int kFatEntryBits = 12;
inline constexpr std::int32_t kFatEntryMask = 0xFFF;

}  // namespace

void vol_set_geometry(DiskImage* disk, const Geometry& g) {
  disk->cylinders = g.cylinders;
  disk->heads = g.heads;
  disk->sectors_per_track = g.sectors_per_track;
  disk->bytes_per_sector = g.bytes_per_sector;
  disk->total_sectors = g.total_sectors;
  disk->fat_start = g.fat_start;
  disk->sectors_per_fat = g.sectors_per_fat;
  disk->root_start = g.root_start;
  disk->root_entries = g.root_entries;
  disk->root_sectors = g.root_sectors;
  disk->data_start = g.data_start;
  disk->sectors_per_cluster = g.sectors_per_cluster;
}

namespace {

int open_fail(DiskImage* disk, std::FILE* file) {
  if (file != nullptr) (void)std::fclose(file);
  vol_free(disk, 0);
  return -1;
}

}  // namespace

namespace {

// Sets the geometry from the file's length and decodes the FAT of an image whose bytes
// are already in disk->image; 0, or -1 with the record zeroed.
int finish_open(DiskImage* disk, const char* path) {
  bool known = false;
  for (const Geometry& g : kGeometries) {
    if (disk->image_size == disk->header_offset + g.data_size) {
      vol_set_geometry(disk, g);
      known = true;
      break;
    }
  }
  if (!known) {
    err_printf("unsupported image '%s'\n", path);
    return open_fail(disk, nullptr);
  }
  if (vol_decode_fat(disk) < 0) {
    err_printf("can't get fat '%s' offset=%08X\n", path, static_cast<unsigned>(disk->header_offset));
    return open_fail(disk, nullptr);
  }
  return 0;
}

}  // namespace

namespace {

int open_file(DiskImage* disk, const char* path, std::int32_t header_offset, const char* output) {
  std::memset(disk, 0, sizeof *disk);
  disk->header_offset = header_offset;

  std::FILE* file = platform_fopen(path, "rb");
  if (file == nullptr) {
    err_printf("open error '%s'\n", path);
    return open_fail(disk, nullptr);
  }
  if (fseeko(file, 0, SEEK_END) < 0) {
    err_printf("seek error '%s' (SEEK_END)\n", path);
    return open_fail(disk, file);
  }
  const off_t length = ftello(file);
  if (length < 0) {
    err_printf("seek error '%s' (SEEK_END)\n", path);
    return open_fail(disk, file);
  }
  if (fseeko(file, 0, SEEK_SET) < 0) {
    err_printf("seek error '%s' (SEEK_SET)\n", path);
    return open_fail(disk, file);
  }
  // No supported image is longer than the largest geometry plus its header: refuse
  // anything longer before taking memory for it, so that a huge file is never read
  // and its length never has to fit the 32-bit size field.
  if (header_offset < 0 || length > static_cast<off_t>(header_offset) + kMaxDataSize) {
    err_printf("unsupported image '%s'\n", path);
    return open_fail(disk, file);
  }
  disk->image_size = static_cast<std::int32_t>(length);

  if (output != nullptr && length > 0) {
    if (StagedCopy* staged = vol_stage(fileno(file), static_cast<std::size_t>(length), output)) {
      disk->staged = staged;
      disk->image = staged->bytes;
      (void)std::fclose(file);
      return finish_open(disk, path);
    }
  }

  // One byte at least, so that an empty file fails at the read, not at the allocation.
  disk->image = static_cast<std::uint8_t*>(alloc_populated(length > 0 ? static_cast<std::size_t>(length) : 1));
  if (disk->image == nullptr) {
    err_printf("memory exhausted!\n");
    return open_fail(disk, file);
  }
  if (std::fread(disk->image, static_cast<std::size_t>(disk->image_size), 1, file) != 1) {
    err_printf("read error '%s'\n", path);
    return open_fail(disk, file);
  }
  (void)std::fclose(file);
  return finish_open(disk, path);
}

}  // namespace

int vol_open(DiskImage* disk, const char* path, std::int32_t header_offset) {
  return open_file(disk, path, header_offset, nullptr);
}

int vol_open_staged(DiskImage* disk, const char* path, std::int32_t header_offset, const char* output) {
  return open_file(disk, path, header_offset, output);
}

int vol_open_mem(DiskImage* disk, const std::uint8_t* data, std::size_t size, const char* name,
                 std::int32_t header_offset) {
  std::memset(disk, 0, sizeof *disk);
  disk->header_offset = header_offset;
  if (header_offset < 0 || size > static_cast<std::size_t>(header_offset) + kMaxDataSize) {
    err_printf("unsupported image '%s'\n", name);
    return open_fail(disk, nullptr);
  }
  if (size == 0) {
    err_printf("read error '%s'\n", name);
    return open_fail(disk, nullptr);
  }
  disk->image_size = static_cast<std::int32_t>(size);
  disk->image = static_cast<std::uint8_t*>(alloc_populated(size));
  if (disk->image == nullptr) {
    err_printf("memory exhausted!\n");
    return open_fail(disk, nullptr);
  }
  std::memcpy(disk->image, data, size);
  return finish_open(disk, name);
}

int vol_decode_fat(DiskImage* disk) {
  if (disk == nullptr || disk->image == nullptr) return -1;
  if (disk->sectors_per_cluster <= 0) return -1;

  disk->cluster_count = (disk->total_sectors - disk->data_start) / disk->sectors_per_cluster;
  const std::int32_t fat_bytes = disk->sectors_per_fat * disk->bytes_per_sector;
  if ((2 * fat_bytes) / 3 < disk->cluster_count) {
    err_printf("can't calculate FAT size\n");
    return -1;
  }

  // Two spare zero bytes: the last pair may reach past the copy when the FAT is nearly full.
  auto* scratch = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(fat_bytes) + 2, 1));
  if (scratch == nullptr) return -1;
  for (std::int32_t i = 0; i < disk->sectors_per_fat; ++i) {
    std::memcpy(scratch + static_cast<std::ptrdiff_t>(i) * disk->bytes_per_sector,
                disk->image + vol_sector_offset(disk, disk->fat_start + i),
                static_cast<std::size_t>(disk->bytes_per_sector));
  }

  // Entries are decoded in pairs, so the table has room for an even count.
  const std::int32_t slots = (disk->cluster_count + 1) / 2 * 2;
  disk->fat =
      static_cast<std::int32_t*>(std::calloc(static_cast<std::size_t>(slots > 0 ? slots : 2), sizeof(std::int32_t)));
  if (disk->fat == nullptr) {
    std::free(scratch);
    err_printf("memory exhausted!");
    return -1;
  }
  for (std::int32_t k = 0; 2 * k < disk->cluster_count; ++k) {
    const std::uint8_t* b = scratch + 3 * k;
    const std::int32_t v = b[0] | (b[1] << 8) | (b[2] << 16);
    disk->fat[2 * k] = v & kFatEntryMask;
    disk->fat[2 * k + 1] = v >> kFatEntryBits;
  }
  std::free(scratch);
  return 0;
}

std::int32_t vol_sector_offset(const DiskImage* disk, std::int32_t sector) {
  if (disk->sector_offsets != nullptr) return disk->sector_offsets[sector];
  return disk->header_offset + sector * disk->bytes_per_sector;
}

void vol_free(DiskImage* disk, int release_record) {
  if (disk == nullptr) return;
  if (disk->staged != nullptr) {
    vol_unstage(disk->staged);
  } else {
    std::free(disk->image);
  }
  std::free(disk->fat);
  std::free(disk->sector_offsets);
  std::free(disk->sector_states);
  if (release_record != 0) {
    std::free(disk);
  } else {
    std::memset(disk, 0, sizeof *disk);
  }
}

int vol_replace(const DiskImage* disk, const char* path, ReplaceFailure* why) {
  if (disk->staged != nullptr) return replace_file_staged(path, *disk->staged, why);
  return replace_file(path, disk->image, static_cast<std::size_t>(disk->image_size), why);
}

int vol_save(const DiskImage* disk, const char* path) {
  // The file at `path` may be the user's only copy of the disk: it is replaced only by
  // a complete copy, and a failure leaves it as it was.
  ReplaceFailure why;
  if (vol_replace(disk, path, &why) == 0) return 0;
  if (why == ReplaceFailure::kWrite) {
    err_printf("write error '%s'\n", path);
  } else {
    err_printf("open error '%s'\n", path);
  }
  return -1;
}
