// Cluster chains and directory lookup on a loaded DiskImage.
//
// Conversions between cluster numbers, linear 0-based sector numbers and
// cylinder/head/sector triples (sectors count from 1 in a triple); following a chain
// through the decoded FAT; the 11-character directory form of a file name; finding a
// directory entry in the root directory or along a subdirectory's chain; resolving a
// slash-separated directory path; and the fields of an entry, three of them as text.
//
// A DirEntry is a view of 32 bytes inside the image; it stays valid while the
// DiskImage lives. The case flag is 0 for an exact name comparison; any other value
// ignores the case of the ASCII letters. Only vol_walk_path prints anything.
#pragma once

#include <cstdint>

#include "volume/image.h"

struct DirEntry {
  std::uint8_t* raw = nullptr;  // the entry's 32 bytes in DiskImage::image; null: none
  explicit operator bool() const { return raw != nullptr; }
};

// Fills out[0..11] (11 characters and a NUL); -1 when characters were left over.
int name_to_83(char out[12], const char* name);

std::int32_t vol_cluster_sector(const DiskImage* disk, std::int32_t cluster);
std::int32_t vol_sector_cluster(const DiskImage* disk, std::int32_t sector, std::int32_t* sector_in_cluster);
void vol_cluster_chs(const DiskImage* disk, std::int32_t cluster, std::int32_t* cylinder, std::int32_t* head,
                     std::int32_t* sector);
std::int32_t vol_chs_cluster(const DiskImage* disk, std::int32_t cylinder, std::int32_t head, std::int32_t sector,
                             std::int32_t* sector_in_cluster);
std::int32_t vol_fat_next(const DiskImage* disk, std::int32_t cluster);

// A directory cluster of 1 or less selects the root directory. `name11` is compared in
// its full 11 bytes. The budget (entries to examine) bounds the scan, not the directory's
// end; a root scan never reads past the last sector of the image, whatever the budget.
DirEntry vol_find_entry(const DiskImage* disk, std::int32_t dir_cluster, std::int32_t budget, const char* name11,
                        int case_flag);
int vol_walk_path(const DiskImage* disk, const char* path, std::int32_t* dir_cluster, std::int32_t* budget,
                  int case_flag);

std::int32_t dent_cluster(DirEntry entry);
std::int32_t dent_size(DirEntry entry);
void dent_date_text(char out[11], DirEntry entry);
void dent_time_text(char out[9], DirEntry entry);
void dent_attr_text(char out[7], DirEntry entry);
