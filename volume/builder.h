// The image builder: FAT12 volumes made in memory, for the sample disk, the tests and the
// fuzzers, and wrapped into any container form.
//
// A VolumeBuilder starts as a freshly formatted volume of one of the three geometries
// (kGeometries): a boot sector with a full parameter block and extended boot record
// (no label, a fixed serial number), two FAT copies whose first
// two entries hold the media descriptor and the end mark, an empty root directory. Files
// are added one after another: each gets a directory entry in the next root slot and a
// cluster chain, written to both FAT copies, that is either contiguous or scattered
// (clusters taken backwards with a free cluster between each, so that every link
// jumps). Damaged-volume cases start from a good volume and change a few bytes through
// the accessors.
//
// The builder owns its volume bytes (volume(), the raw sectors in linear order, exactly
// what an XDF file holds); pointers from dir_entry() and boot() point into them and stay
// valid until the builder goes or the vector is resized by the caller. file() returns a
// new buffer in the requested container form (see container_writer.h).
//
// Failures (root directory or disk full) print one line through err_printf and return
// -1; the volume is then as it was before the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "volume/container_writer.h"
#include "volume/image.h"

// Index into kGeometries.
enum GeometryIndex : int { kGeometry1232 = 0, kGeometry720 = 1, kGeometry640 = 2 };

// How a file's clusters lie on the disk.
enum class ChainLayout : std::uint8_t {
  kContiguous,  // ascending, one after another
  kScattered,   // descending, with a free cluster between each
};

// Directory-entry defaults of the builder: 12:00:00 on 2025-04-11, archive bit set.
inline constexpr int kBuilderTime = 0x6000;
inline constexpr int kBuilderDate = 0x5A8B;
inline constexpr std::uint8_t kBuilderAttributes = 0x20;

class VolumeBuilder {
 public:
  // REQUIRES: geometry is kGeometry1232, kGeometry720 or kGeometry640.
  explicit VolumeBuilder(int geometry);

  // Adds a file (8.3 name as written, e.g. "KEEP.TLK", any case kept) in the next root
  // slot; returns the slot, or -1 when the root directory or the disk is full. An empty
  // file gets first cluster 0.
  int add_file(std::string_view name, std::span<const std::uint8_t> data, ChainLayout chain = ChainLayout::kContiguous,
               std::uint8_t attributes = kBuilderAttributes);
  // Adds a raw 11-byte directory name with no data (a label, a directory, a deleted or
  // free entry); returns the slot, or -1 when the root directory is full.
  int add_entry(std::string_view raw11, std::uint8_t attributes, int first_cluster = 0, std::int32_t size = 0);

  void set_fat(int cluster, int value);  // both copies
  void set_fat_copy(int copy, int cluster, int value);
  int fat(int cluster) const;  // from the first copy

  std::uint8_t* boot() { return volume_.data(); }
  std::uint8_t* dir_entry(int slot);
  const std::uint8_t* dir_entry(int slot) const;
  // The clusters given to the file in `slot` when it was added (empty for entries).
  std::vector<int> chain_of(int slot) const;

  // Byte positions in volume().
  std::size_t sector_offset(int sector) const;
  std::size_t cluster_offset(int cluster) const;
  std::size_t cluster_bytes() const;
  const Geometry& geometry() const { return geometry_; }

  std::vector<std::uint8_t>& volume() { return volume_; }
  const std::vector<std::uint8_t>& volume() const { return volume_; }

  // The volume as a whole image file of `form` (kRaw: the volume itself; kFdi: behind a
  // 4096-byte FDI header unless the options say otherwise); empty when the form or the
  // options cannot hold it.
  std::vector<std::uint8_t> file(ImageForm form, const ContainerOptions& options = {}) const;

 private:
  Geometry geometry_;
  std::vector<std::uint8_t> volume_;
  int next_slot_ = 0;
  int next_cluster_ = 2;
  std::vector<std::vector<int>> chains_;
};

// Writes a whole 32-byte directory entry at `at` (a root slot or a place inside a
// subdirectory's cluster): the raw 11-byte name, the attributes, time, date, first
// cluster and size; every other byte zero.
void builder_put_entry(std::uint8_t* at, std::string_view raw11, std::uint8_t attributes, int first_cluster,
                       std::uint32_t size, int time = kBuilderTime, int date = kBuilderDate);

// The 11-byte directory form of an 8.3 name: name part and extension, each blank padded
// and cut to 8 and 3 characters. Made here on its own, apart from the volume library's
// lookup, so that the library's name handling is checked against something else.
std::string builder_dir_name(std::string_view name);

// The media descriptor of a geometry (boot sector and FAT entry 0).
std::uint8_t builder_media_byte(const Geometry& geometry);
