// Container forms: loading an image in any form, recognised from its content, and the
// rewrite check for sectors a container does not store in place.
//
// The whole file stays in `image` (image_size = the file's length), so vol_save writes
// it back whole. Sectors the container does not store (FDD fill sectors, tracks a DIM
// or DCP file leaves out) read from a fill area allocated after image_size: one sector
// of each fill byte, shared by every sector that reads as it. That area is never saved,
// and vol_sector_writable refuses any rewrite that would have to change it. It begins
// at stage_room_offset(image_size), so that a staged image (mapped from the new file)
// keeps it in private memory, away from the file's last page.
#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "common/console.h"
#include "common/platform.h"
#include "common/populated.h"
#include "common/replace_file.h"
#include "volume/container_map.h"
#include "volume/image.h"

namespace {

constexpr const char* kFormNames[] = {"raw", "fdi", "dip", "d88", "dim", "nfd", "fdd", "dcp"};

// Every form of a floppy volume is well below this (a D88 file of several 1232 KiB disks
// included); a longer file is refused before it is read.
constexpr std::size_t kMaxContainerSize = 8u << 20;

// Room for the fill area: one sector for each byte value at most.
constexpr std::size_t kFillRoom = 256 * static_cast<std::size_t>(kMaxSectorSize);

int open_any_fail(DiskImage* disk) {
  vol_free(disk, 0);
  return -1;
}

}  // namespace

const char* vol_form_name(ImageForm form) {
  const auto i = static_cast<std::size_t>(form);
  return i < std::size(kFormNames) ? kFormNames[i] : "?";
}

std::uint8_t* vol_image_block(std::size_t size) {
  return static_cast<std::uint8_t*>(alloc_populated(stage_room_offset(size) + kFillRoom));
}

StagedCopy* vol_stage(int fd, std::size_t size, const char* output) {
  auto* staged = new (std::nothrow) StagedCopy;
  if (staged == nullptr) return nullptr;
  if (size > kMaxContainerSize || stage_copy(fd, size, kFillRoom, output, staged) < 0) {
    delete staged;
    return nullptr;
  }
  return staged;
}

void vol_unstage(StagedCopy* staged) {
  stage_release(staged);
  delete staged;
}

namespace {

// vol_open_any_adopt, with the block belonging to `staged` when that is set.
int open_block(DiskImage* disk, std::uint8_t* block, std::size_t size, const char* name, StagedCopy* staged) {
  std::memset(disk, 0, sizeof *disk);
  if (block == nullptr) {
    err_printf("memory exhausted!\n");
    return -1;
  }
  // The record owns the block from here: every failure below releases it with the rest.
  disk->image = block;
  disk->staged = staged;
  if (size > kMaxContainerSize) {
    err_printf("unsupported image '%s': %zu bytes is longer than any floppy image\n", name, size);
    return open_any_fail(disk);
  }
  if (size == 0) {
    err_printf("unsupported image '%s': the file is empty\n", name);
    return open_any_fail(disk);
  }
  const std::uint8_t* data = block;
  ContainerMap map;
  if (container_map(data, size, name, &map) < 0) return open_any_fail(disk);
  const Geometry& g = kGeometries[map.geometry];
  const auto sector_bytes = static_cast<std::size_t>(g.bytes_per_sector);

  // One fill sector for each distinct fill byte, after the file's bytes.
  int fill_block[256];
  std::fill(std::begin(fill_block), std::end(fill_block), -1);
  int blocks = 0;
  if (!map.linear) {
    for (std::size_t s = 0; s < map.offsets.size(); ++s) {
      if (map.offsets[s] < 0 && fill_block[map.fill[s]] < 0) fill_block[map.fill[s]] = blocks++;
    }
  }
  // At most one block for each of the 256 byte values, which kFillRoom holds.
  const std::size_t fill_at = stage_room_offset(size);
  for (int b = 0; b < 256; ++b) {
    if (fill_block[b] >= 0) {
      std::memset(disk->image + fill_at + static_cast<std::size_t>(fill_block[b]) * sector_bytes, b, sector_bytes);
    }
  }
  disk->image_size = static_cast<std::int32_t>(size);
  disk->header_offset = map.data_offset;
  disk->form = map.form;
  disk->write_protected = map.write_protected ? 1 : 0;
  vol_set_geometry(disk, g);

  if (!map.linear) {
    const auto total = static_cast<std::size_t>(g.total_sectors);
    disk->sector_offsets = static_cast<std::int32_t*>(std::malloc(total * sizeof(std::int32_t)));
    bool every_sector_stored = true;
    for (const SectorState state : map.states)
      every_sector_stored = every_sector_stored && state == SectorState::kStored;
    if (!every_sector_stored) disk->sector_states = static_cast<SectorState*>(std::malloc(total * sizeof(SectorState)));
    if (disk->sector_offsets == nullptr || (!every_sector_stored && disk->sector_states == nullptr)) {
      err_printf("memory exhausted!\n");
      return open_any_fail(disk);
    }
    for (std::size_t s = 0; s < total; ++s) {
      const std::int64_t offset = map.offsets[s];
      disk->sector_offsets[s] =
          offset >= 0
              ? static_cast<std::int32_t>(offset)
              : static_cast<std::int32_t>(fill_at + static_cast<std::size_t>(fill_block[map.fill[s]]) * sector_bytes);
      if (disk->sector_states != nullptr) disk->sector_states[s] = map.states[s];
    }
  }
  if (vol_decode_fat(disk) < 0) {
    err_printf("can't get fat '%s' offset=%08X\n", name, static_cast<unsigned>(disk->header_offset));
    return open_any_fail(disk);
  }
  if (map.legacy_header) {
    err_printf("no valid fdi header in '%s' ... its first 4096 bytes are kept as they are\n", name);
  }
  return 0;
}

}  // namespace

int vol_open_any_adopt(DiskImage* disk, std::uint8_t* block, std::size_t size, const char* name) {
  return open_block(disk, block, size, name, nullptr);
}

int vol_open_any_staged(DiskImage* disk, StagedCopy* staged, const char* name) {
  return open_block(disk, staged->bytes, staged->size, name, staged);
}

int vol_open_any(DiskImage* disk, const char* path) {
  std::memset(disk, 0, sizeof *disk);
  std::FILE* file = platform_fopen(path, "rb");
  if (file == nullptr) {
    err_printf("open error '%s'\n", path);
    return -1;
  }
  // The length first, so that a huge file is refused before it is read.
  off_t length = -1;
  if (fseeko(file, 0, SEEK_END) == 0) length = ftello(file);
  if (length < 0 || fseeko(file, 0, SEEK_SET) != 0) {
    (void)std::fclose(file);
    err_printf("read error '%s'\n", path);
    return -1;
  }
  if (static_cast<unsigned long long>(length) > kMaxContainerSize) {
    (void)std::fclose(file);
    err_printf("unsupported image '%s': %lld bytes is longer than any floppy image\n", path,
               static_cast<long long>(length));
    return -1;
  }
  const auto size = static_cast<std::size_t>(length);
  std::uint8_t* block = vol_image_block(size);
  if (block == nullptr) {
    (void)std::fclose(file);
    err_printf("memory exhausted!\n");
    return -1;
  }
  // The whole file and then its end: a file that grew since its length was taken is
  // refused rather than read in part.
  const std::size_t n = size == 0 ? 0 : std::fread(block, 1, size, file);
  const bool whole = n == size && std::fgetc(file) == EOF && std::ferror(file) == 0;
  (void)std::fclose(file);
  if (!whole) {
    std::free(block);
    err_printf("read error '%s'\n", path);
    return -1;
  }
  return vol_open_any_adopt(disk, block, size, path);
}

int vol_open_any_mem(DiskImage* disk, const std::uint8_t* data, std::size_t size, const char* name) {
  std::uint8_t* block = size <= kMaxContainerSize ? vol_image_block(size) : nullptr;
  if (block != nullptr && size > 0) std::memcpy(block, data, size);
  if (block == nullptr && size > kMaxContainerSize) {
    std::memset(disk, 0, sizeof *disk);
    err_printf("unsupported image '%s': %zu bytes is longer than any floppy image\n", name, size);
    return -1;
  }
  return vol_open_any_adopt(disk, block, size, name);
}

int vol_sector_writable(const DiskImage* disk, std::int32_t sector, const std::uint8_t* data) {
  if (disk->sector_states == nullptr) return 0;
  if (sector < 0 || sector >= disk->total_sectors) {
    err_printf("can't rewrite sector %d: the volume has %d sectors\n", sector, disk->total_sectors);
    return -1;
  }
  const SectorState state = disk->sector_states[sector];
  if (state == SectorState::kStored) return 0;
  // A rewrite that changes nothing is harmless whatever the container does with the sector.
  if (std::memcmp(disk->image + vol_sector_offset(disk, sector), data,
                  static_cast<std::size_t>(disk->bytes_per_sector)) == 0) {
    return 0;
  }
  const std::int32_t spt = disk->sectors_per_track;
  const int c = sector / (2 * spt);
  const int h = (sector / spt) % 2;
  const int r = sector % spt + 1;
  const char* form = vol_form_name(disk->form);
  if (state == SectorState::kReadOnly) {
    err_printf(
        "can't rewrite cylinder %d head %d record %d of this %s image: it keeps retry copies of sectors, which "
        "emulators "
        "place differently; convert the image to raw sectors to change it\n",
        c, h, r, form);
  } else if (disk->form == ImageForm::kFdd) {
    err_printf(
        "can't rewrite cylinder %d head %d record %d of this %s image: it stores only the fill byte %02X for that "
        "sector; "
        "convert the image to raw sectors to change it\n",
        c, h, r, form, disk->image[vol_sector_offset(disk, sector)]);
  } else {
    err_printf(
        "can't rewrite cylinder %d head %d record %d of this %s image: its track is not stored; convert the image to "
        "raw "
        "sectors to change it\n",
        c, h, r, form);
  }
  return -1;
}
