#include "volume/dir.h"

#include <cstdlib>
#include <cstring>

#include "common/console.h"
#include "common/le.h"
#include "volume/fat_layout.h"

namespace {

std::uint8_t fold_ascii(std::uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 'a' + 'A') : c; }

// Compares the 11 name bytes of an entry with an 11-character directory-form name;
// with the case flag set, only the ASCII letters are compared without regard to case.
bool name_matches(const std::uint8_t* entry, const char* name11, int case_flag) {
  for (std::int32_t i = 0; i < kDentNameLength; ++i) {
    std::uint8_t a = entry[kDentName + i];
    std::uint8_t b = static_cast<std::uint8_t>(name11[i]);
    if (case_flag != 0) {
      a = fold_ascii(a);
      b = fold_ascii(b);
    }
    if (a != b) return false;
  }
  return true;
}

}  // namespace

int name_to_83(char out[12], const char* name) {
  const char* p = name;
  std::int32_t i = 0;
  while (i < kDentBaseLength && *p != '\0' && *p != '.') out[i++] = *p++;
  while (i < kDentBaseLength) out[i++] = ' ';
  if (*p == '.') {
    ++p;
    // Later dots belong to the extension like any other character.
    while (i < kDentNameLength && *p != '\0') out[i++] = *p++;
  }
  while (i < kDentNameLength) out[i++] = ' ';
  out[kDentNameLength] = '\0';
  if (static_cast<std::uint8_t>(out[0]) == kNameDeleted) out[0] = static_cast<char>(kNameE5StandIn);
  return *p == '\0' ? 0 : -1;
}

std::int32_t vol_cluster_sector(const DiskImage* disk, std::int32_t cluster) {
  if (cluster < kFirstDataCluster || cluster >= disk->cluster_count) return -1;
  return disk->data_start + (cluster - kFirstDataCluster) * disk->sectors_per_cluster;
}

std::int32_t vol_sector_cluster(const DiskImage* disk, std::int32_t sector, std::int32_t* sector_in_cluster) {
  if (disk->sectors_per_cluster <= 0) {  // not a loaded image
    if (sector_in_cluster != nullptr) *sector_in_cluster = 0;
    return -1;
  }
  // Widened so that no argument can overflow; the results of in-range sectors are small.
  const std::int64_t d = static_cast<std::int64_t>(sector) - disk->data_start;
  if (sector_in_cluster != nullptr) *sector_in_cluster = static_cast<std::int32_t>(d % disk->sectors_per_cluster);
  return static_cast<std::int32_t>(d / disk->sectors_per_cluster + kFirstDataCluster);
}

void vol_cluster_chs(const DiskImage* disk, std::int32_t cluster, std::int32_t* cylinder, std::int32_t* head,
                     std::int32_t* sector) {
  // An unusable cluster gives sector -1 and so the triple 0, 0, 0; sector 0 names no
  // real sector, since sectors count from 1 on a track.
  const std::int32_t s = vol_cluster_sector(disk, cluster);
  const std::int32_t t = disk->sectors_per_track * disk->heads;
  if (t <= 0) {  // not a loaded image
    *cylinder = *head = *sector = 0;
    return;
  }
  *cylinder = s / t;
  const std::int32_t r = s - *cylinder * t;
  *head = r / disk->sectors_per_track;
  *sector = r - *head * disk->sectors_per_track + 1;
}

std::int32_t vol_chs_cluster(const DiskImage* disk, std::int32_t cylinder, std::int32_t head, std::int32_t sector,
                             std::int32_t* sector_in_cluster) {
  const std::int64_t linear =
      (static_cast<std::int64_t>(cylinder) * disk->heads + head) * disk->sectors_per_track + sector - 1;
  return vol_sector_cluster(disk, static_cast<std::int32_t>(linear), sector_in_cluster);
}

std::int32_t vol_fat_next(const DiskImage* disk, std::int32_t cluster) {
  if (cluster < 0 || cluster >= disk->cluster_count) return -1;
  return disk->fat[cluster];
}

DirEntry vol_find_entry(const DiskImage* disk, std::int32_t dir_cluster, std::int32_t budget, const char* name11,
                        int case_flag) {
  const bool root = dir_cluster <= 1;
  std::int32_t cluster = dir_cluster;
  std::int32_t sector = root ? disk->root_start : vol_cluster_sector(disk, dir_cluster);
  if (sector < 0) return {};
  const std::int32_t per_sector = disk->bytes_per_sector / kDirEntrySize;

  while (budget > 0) {
    for (std::int32_t s = 0; s < disk->sectors_per_cluster && budget > 0; ++s) {
      // The budget, not the directory's end, bounds a scan; but a budget larger than
      // the root directory must never carry the scan past the last sector in memory.
      if (sector + s >= disk->total_sectors) return {};
      std::uint8_t* bytes = disk->image + vol_sector_offset(disk, sector + s);
      for (std::int32_t e = 0; e < per_sector && budget > 0; ++e, --budget) {
        std::uint8_t* entry = bytes + e * kDirEntrySize;
        if (name_matches(entry, name11, case_flag)) return DirEntry{entry};
      }
    }
    if (budget <= 0) break;
    if (root) {
      // The root directory is contiguous and has no chain.
      sector += disk->sectors_per_cluster;
    } else {
      cluster = vol_fat_next(disk, cluster);
      if (!chain_continues(cluster)) return {};
      sector = vol_cluster_sector(disk, cluster);
      if (sector < 0) return {};
    }
  }
  return {};
}

int vol_walk_path(const DiskImage* disk, const char* path, std::int32_t* dir_cluster, std::int32_t* budget,
                  int case_flag) {
  *dir_cluster = 0;
  *budget = disk->root_entries;
  if (path == nullptr) return 0;

  char* copy = strdup(path);
  if (copy == nullptr) {
    err_printf("memory exhausted!\n");
    return -1;
  }
  int result = 0;
  char* next = copy;
  while (*next != '\0') {
    // One component: up to the next '/'; empty components do not count.
    char* component = next;
    char* slash = std::strchr(component, '/');
    if (slash != nullptr) {
      *slash = '\0';
      next = slash + 1;
    } else {
      next = component + std::strlen(component);
    }
    if (*component == '\0') continue;

    char name11[12];
    if (name_to_83(name11, component) < 0) {
      err_printf("illegal filename '%s'\n", path);
      result = -1;
      break;
    }
    const DirEntry entry = vol_find_entry(disk, *dir_cluster, *budget, name11, case_flag);
    if (!entry) {
      err_printf("can't find '%s'\n", path);
      result = -1;
      break;
    }
    *dir_cluster = dent_cluster(entry);
    *budget = dent_size(entry) / kDirEntrySize;

    char date[11], time[9], attr[7];
    dent_date_text(date, entry);
    dent_time_text(time, entry);
    dent_attr_text(attr, entry);
    err_printf("DEBUG: %s %10.1d %s %s %s %04X\n", name11, dent_size(entry), date, time, attr,
               static_cast<unsigned>(*dir_cluster));
    if ((entry.raw[kDentAttributes] & kAttrDirectory) == 0) {
      err_printf("'%s' is not directory\n", component);
      result = -1;
      break;
    }
  }
  std::free(copy);
  return result;
}

std::int32_t dent_cluster(DirEntry entry) { return get_le16(entry.raw + kDentCluster); }

std::int32_t dent_size(DirEntry entry) { return get_le32(entry.raw + kDentSize); }

void dent_date_text(char out[11], DirEntry entry) {
  const int v = get_le16(entry.raw + kDentDate);
  buf_printf(out, 11, "%04d-%02d-%02d", ((v >> 9) & 0x7F) + 1980, (v >> 5) & 0x0F, v & 0x1F);
}

void dent_time_text(char out[9], DirEntry entry) {
  const int v = get_le16(entry.raw + kDentTime);
  buf_printf(out, 9, "%02d:%02d:%02d", (v >> 11) & 0x1F, (v >> 5) & 0x3F, (v & 0x1F) * 2);
}

void dent_attr_text(char out[7], DirEntry entry) {
  static constexpr struct {
    std::uint8_t bit;
    char letter;
  } kShown[] = {{kAttrReadOnly, 'r'},     {kAttrHidden, 'h'},    {kAttrSystem, 's'},
                {kAttrVolumeLabel, 'v'}, {kAttrDirectory, 'd'}, {kAttrArchive, 'a'}};
  const std::uint8_t attributes = entry.raw[kDentAttributes];
  int i = 0;
  for (const auto& shown : kShown) out[i++] = (attributes & shown.bit) != 0 ? shown.letter : '-';
  out[i] = '\0';
}
