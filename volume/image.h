// Floppy image volume: loading, geometry, the decoded FAT and saving.
//
// A DiskImage holds one image file whole in memory, container header included. The
// volume's layout is never read from the disk: the file's length minus the caller's
// header offset (4096 for FDI, 0 for XDF) selects one of three fixed FAT12 geometries.
// The header bytes are kept and written back unchanged.
//
// A DiskImage is either all zero (empty, owning nothing) or loaded (both buffers present,
// every field set). It owns `image` and `fat`, both released only by vol_free: `fat`
// comes from the C heap, and so does `image` unless the image was staged (`staged` set
// by vol_open_staged or vol_open_any_staged: then `image` is the staged copy's mapping).
// Operations that fail print exactly one line through err_printf and return -1;
// vol_open always leaves the record empty when it fails.
#pragma once

#include <cstddef>
#include <cstdint>

struct StagedCopy;
enum class ReplaceFailure : std::uint8_t;

// The container forms an image file can come in. vol_open knows only raw sectors behind
// a header of the caller's length (and reports kRaw); vol_open_any recognises every
// form from the file's content.
enum class ImageForm : std::uint8_t { kRaw = 0, kFdi, kDip, kD88, kDim, kNfd, kFdd, kDcp };

// What the container stores for one linear sector of the volume.
enum class SectorState : std::uint8_t {
  kStored = 0,  // its data bytes lie in the file: read and rewritten in place
  kFill,        // not stored: reads as its fill byte; a rewrite is refused
  kReadOnly,    // stored, but a rewrite in place is refused (see vol_sector_writable)
};

struct DiskImage {
  std::int32_t header_offset;      // bytes of container header in front of sector 0
  std::int32_t image_size;         // length of the whole file, header included
  std::uint8_t* image;             // the whole file, image_size bytes; owned
  std::int32_t cluster_count;      // (total_sectors - data_start) / sectors_per_cluster
  std::int32_t* fat;               // decoded first FAT copy, one entry per cluster; owned
  std::int32_t cylinders;          // informational only
  std::int32_t heads;              // sides
  std::int32_t sectors_per_track;  // sectors on one track
  std::int32_t bytes_per_sector;   // bytes in one sector
  std::int32_t total_sectors;      // sectors on the whole disk
  std::int32_t fat_start;          // first sector of the first FAT copy
  std::int32_t sectors_per_fat;    // sectors of one FAT copy
  std::int32_t root_start;         // first sector of the root directory
  std::int32_t root_entries;       // 32-byte entries in the root directory
  std::int32_t root_sectors;       // informational only
  std::int32_t data_start;         // first sector of cluster 2
  std::int32_t sectors_per_cluster;

  // Set by vol_open_any; all zero after vol_open. vol_open_any also sets header_offset
  // to the file position of sector 0.
  ImageForm form;                // the container form
  std::int32_t write_protected;  // the container's write-protect switch is on (D88, NFD, FDD)
  std::int32_t* sector_offsets;  // position of each linear sector in image; owned; null:
                                 // header_offset + sector * bytes_per_sector. A sector the
                                 // container does not store points past image_size, into a
                                 // fill area of the same allocation that is never saved
  SectorState* sector_states;    // one per linear sector; owned; null: all kStored

  StagedCopy* staged;  // owned; null unless the image was loaded into a staged copy
};

// One of the fixed layouts, chosen by the data size (file length minus header offset).
// Sector 0 is the boot sector, then two FAT copies, the root directory, the data area.
struct Geometry {
  std::int32_t data_size;
  std::int32_t cylinders;
  std::int32_t heads;
  std::int32_t sectors_per_track;
  std::int32_t bytes_per_sector;
  std::int32_t total_sectors;
  std::int32_t fat_start;
  std::int32_t sectors_per_fat;
  std::int32_t root_start;
  std::int32_t root_entries;
  std::int32_t root_sectors;
  std::int32_t data_start;
  std::int32_t sectors_per_cluster;
};

// Tried in this order; the first whose data size matches exactly wins.
inline constexpr Geometry kGeometries[] = {
    {0x134000, 77, 2, 8, 1024, 1232, 1, 2, 5, 192, 6, 11, 1},  // 1232 KiB, 2HD
    {0xB4000, 80, 2, 9, 512, 1440, 1, 3, 7, 112, 7, 14, 2},    // 720 KiB, 2DD
    {0xA0000, 80, 2, 8, 512, 1280, 1, 2, 5, 112, 7, 12, 2},    // 640 KiB, 2DD
};

// Header offset of an FDI container; XDF images have none.
inline constexpr std::int32_t kFdiHeaderOffset = 4096;

// The largest data size of any geometry: a longer file is refused before it is read.
inline constexpr std::int32_t kMaxDataSize = 0x134000;

// The largest sector of any geometry.
inline constexpr std::int32_t kMaxSectorSize = 1024;

// Loads the file at `path` into `disk`; 0, or -1 with the record zeroed.
int vol_open(DiskImage* disk, const char* path, std::int32_t header_offset);

// vol_open for a caller that will save the image as `output`: where it can, the file is
// loaded into a staged copy beside `output` (see replace_file.h), which vol_save then
// puts in place; elsewhere this is vol_open. The same results and messages either way.
int vol_open_staged(DiskImage* disk, const char* path, std::int32_t header_offset, const char* output);

// The same load from `size` bytes at `data` (copied; the caller keeps its buffer).
// `name` stands for the path in every message.
int vol_open_mem(DiskImage* disk, const std::uint8_t* data, std::size_t size, const char* name,
                 std::int32_t header_offset);

// Loads the file at `path` in any container form, recognised from its content; the
// geometry comes from the container itself. 0, or -1 with one line printed and the
// record zeroed. Sectors map through sector_offsets; image_size stays the file length,
// so vol_save writes the file back whole with only rewritten sector data changed.
int vol_open_any(DiskImage* disk, const char* path);
int vol_open_any_mem(DiskImage* disk, const std::uint8_t* data, std::size_t size, const char* name);

// For a caller that reads the file itself without copying it again: a block with room
// for an image file of up to `size` bytes and the fill sectors its container may need
// (null when memory is short), and the load of the `size` bytes read into such a block.
// vol_open_any_adopt takes the block over whatever its result: it belongs to the record
// on success and is released on failure. REQUIRES: size <= the size the block was made for.
std::uint8_t* vol_image_block(std::size_t size);
int vol_open_any_adopt(DiskImage* disk, std::uint8_t* block, std::size_t size, const char* name);

// For a caller that will save the image as `output`: the `size` bytes of the regular file
// open as `fd` staged beside `output` with the room a container's fill area needs (see
// replace_file.h), or null where that is not possible (nothing printed; the caller reads
// the file as above). vol_open_any_staged loads it like vol_open_any_adopt and takes the
// copy over whatever its result; vol_save then puts the copy in place.
StagedCopy* vol_stage(int fd, std::size_t size, const char* output);
int vol_open_any_staged(DiskImage* disk, StagedCopy* staged, const char* name);
// Releases a copy from vol_stage that is not loaded after all.
void vol_unstage(StagedCopy* staged);

// The short name of a form as the tools print it: "raw", "fdi", "dip", "d88", "dim",
// "nfd", "fdd", "dcp".
const char* vol_form_name(ImageForm form);

// 0 when `sector` may be rewritten in place with the `bytes_per_sector` bytes at
// `data`; otherwise prints one line naming the form and the sector as
// cylinder/head/record and returns -1. vol_write_file asks this of every sector of a
// file before it writes any.
int vol_sector_writable(const DiskImage* disk, std::int32_t sector, const std::uint8_t* data);

// Sets the geometry fields (cylinders to sectors_per_cluster) from `g`.
void vol_set_geometry(DiskImage* disk, const Geometry& g);

// Decodes the first FAT copy into disk->fat and sets cluster_count; 0 or -1.
int vol_decode_fat(DiskImage* disk);

// Byte position of 0-based sector `sector` in disk->image (header included); unchecked.
std::int32_t vol_sector_offset(const DiskImage* disk, std::int32_t sector);

// Releases image and fat; then zeroes the record (release_record 0) or frees the
// record itself, which must then come from the C heap (any other value).
void vol_free(DiskImage* disk, int release_record);

// Writes the whole image to `path`; 0, or -1 with whatever was at `path` unchanged.
int vol_save(const DiskImage* disk, const char* path);

// vol_save without its line: replace_file (or replace_file_staged for a staged image),
// with the reason of a failure in *why, for a program that words its own refusal.
int vol_replace(const DiskImage* disk, const char* path, ReplaceFailure* why);
