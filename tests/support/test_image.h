// Test images: FAT12 volumes built in memory for the three geometries, with or without
// the 4096-byte FDI container header, holding given files in the root directory.
//
// Each file gets a directory entry in the next root slot and a cluster chain written to
// both FAT copies: contiguous, or scattered (clusters taken backwards with a free cluster
// between each, so that every link jumps). The boot sector carries a proper parameter
// block, so the real FAT tools accept the images too. Damaged-image cases start from a
// good image and change a few bytes through the accessors below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "volume/image.h"

namespace testing_support {

enum class Chain { kContiguous, kScattered };

// Index into kGeometries: 1232 KiB, 720 KiB, 640 KiB.
enum GeometryIndex : int { k1232 = 0, k720 = 1, k640 = 2 };

class TestImage {
 public:
  TestImage(int geometry, bool fdi_header);

  // Adds a file (8.3 name as written, e.g. "KEEP.TLK") in the next root slot; returns
  // the slot. An empty file gets first cluster 0.
  int add_file(std::string_view name, std::span<const std::uint8_t> data, Chain chain = Chain::kContiguous,
               std::uint8_t attributes = 0x20);
  // Adds a raw 11-byte directory name with no data (a label or a directory entry).
  int add_entry(std::string_view raw11, std::uint8_t attributes, int first_cluster = 0, std::int32_t size = 0);

  void set_fat(int cluster, int value);  // both copies
  void set_fat_copy(int copy, int cluster, int value);
  int fat(int cluster) const;

  std::uint8_t* dir_entry(int slot);
  std::vector<int> chain_of(int slot) const;  // as recorded when the file was added

  std::size_t sector_offset(int sector) const;
  std::size_t cluster_offset(int cluster) const;
  const Geometry& geometry() const { return geometry_; }
  std::int32_t header_offset() const { return header_; }

  std::vector<std::uint8_t>& bytes() { return bytes_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  void write(const std::string& path) const;

 private:
  std::uint8_t* fat_copy(int copy);
  int next_slot_ = 0;
  int next_cluster_ = 2;
  Geometry geometry_;
  std::int32_t header_;
  std::vector<std::uint8_t> bytes_;
  std::vector<std::vector<int>> chains_;
};

// The 11-character directory form of an 8.3 name, built independently of the library.
std::string dir_name(std::string_view name);

}  // namespace testing_support
