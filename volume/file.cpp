#include "volume/file.h"

#include <algorithm>
#include <cstring>

#include "common/console.h"
#include "volume/dir.h"
#include "volume/fat_layout.h"

namespace {

// Finds a file of the root directory by name; prints why when there is none.
DirEntry find_root_file(const DiskImage* disk, const char* name, int case_flag) {
  char name11[12];
  if (name_to_83(name11, name) < 0) {
    err_printf("illegal filename '%s'\n", name);
    return {};
  }
  // -1 selects the root directory; a '/' in the name is just another character.
  const DirEntry entry = vol_find_entry(disk, -1, disk->root_entries, name11, case_flag);
  if (!entry) err_printf("can't find '%s'\n", name);
  return entry;
}

// Walks `count` bytes of a file along its chain from `cluster`, sector by sector, and
// hands each piece to move(sector number, sector bytes in the image, byte count): whole sectors until
// the last, which gives only the bytes that remain. The link after the last cluster
// used is never judged, so a chain that ends exactly with the data needs no end marker.
// A failure comes after the pieces already moved; nothing is undone.
template <typename Move>
int walk_chain(const DiskImage* disk, std::int32_t cluster, std::int32_t count, Move move) {
  while (count > 0) {
    if (!chain_continues(cluster)) {
      err_printf("illegal cluster 0x%X\n", static_cast<unsigned>(cluster));
      return -1;
    }
    const std::int32_t first = vol_cluster_sector(disk, cluster);
    if (first < 0) {
      err_printf("can't get sector from cluster 0x%X\n", static_cast<unsigned>(cluster));
      return -1;
    }
    for (std::int32_t s = 0; s < disk->sectors_per_cluster && count > 0; ++s) {
      const std::int32_t n = std::min(disk->bytes_per_sector, count);
      if (move(first + s, disk->image + vol_sector_offset(disk, first + s), n) < 0) return -1;
      count -= n;
    }
    cluster = vol_fat_next(disk, cluster);
  }
  return 0;
}

}  // namespace

std::int32_t vol_file_size(const DiskImage* disk, const char* name, int case_flag) {
  const DirEntry entry = find_root_file(disk, name, case_flag);
  if (!entry) return -1;
  return dent_size(entry);
}

int vol_read_file(const DiskImage* disk, const char* name, std::uint8_t* buffer, std::int32_t buffer_length,
                  int case_flag) {
  const DirEntry entry = find_root_file(disk, name, case_flag);
  if (!entry) return -1;
  const std::int32_t cluster = dent_cluster(entry);
  const std::int32_t size = dent_size(entry);
  if (buffer_length < size) {
    err_printf("file size error '%s' %d > %d\n", name, size, buffer_length);
    return -1;
  }
  if (size < buffer_length) err_printf("file size mismatch '%s' %d != %d ... ignored\n", name, size, buffer_length);

  std::uint8_t* to = buffer;
  return walk_chain(disk, cluster, size, [&to](std::int32_t, const std::uint8_t* sector, std::int32_t n) {
    std::memcpy(to, sector, static_cast<std::size_t>(n));
    to += n;
    return 0;
  });
}

int vol_write_file(DiskImage* disk, const char* name, const std::uint8_t* data, std::int32_t data_length,
                   int case_flag) {
  const DirEntry entry = find_root_file(disk, name, case_flag);
  if (!entry) return -1;
  const std::int32_t cluster = dent_cluster(entry);
  const std::int32_t size = dent_size(entry);
  if (size < data_length) {
    err_printf("file size error '%s' %d < %d\n", name, size, data_length);
    return -1;
  }
  if (data_length < size) err_printf("file size mismatch '%s' %d != %d ... ignored\n", name, size, data_length);

  // A container that does not store every sector in place is asked about each sector
  // first, so that a refused rewrite leaves the image in memory untouched.
  if (disk->sector_states != nullptr) {
    const std::uint8_t* next = data;
    const int ok = walk_chain(disk, cluster, data_length, [&](std::int32_t sector, const std::uint8_t*, std::int32_t n) {
      // A partial last sector keeps its old tail: judge the sector as it will be written.
      std::uint8_t whole[kMaxSectorSize];
      std::memcpy(whole, disk->image + vol_sector_offset(disk, sector), static_cast<std::size_t>(disk->bytes_per_sector));
      std::memcpy(whole, next, static_cast<std::size_t>(n));
      next += n;
      return vol_sector_writable(disk, sector, whole);
    });
    if (ok < 0) return -1;
  }
  const std::uint8_t* from = data;
  return walk_chain(disk, cluster, data_length, [&from](std::int32_t, std::uint8_t* sector, std::int32_t n) {
    std::memcpy(sector, from, static_cast<std::size_t>(n));
    from += n;
    return 0;
  });
}
