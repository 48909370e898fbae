#include "tests/support/test_image.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace testing_support {

namespace {
std::uint8_t media_byte(int geometry) { return geometry == k1232 ? 0xFE : geometry == k720 ? 0xF9 : 0xFB; }
void le16(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void le32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

std::string dir_name(std::string_view name) {
  std::string out(11, ' ');
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  for (std::size_t i = 0; i < base.size() && i < 8; ++i) out[i] = base[i];
  if (dot != std::string_view::npos) {
    const std::string_view ext = name.substr(dot + 1);
    for (std::size_t i = 0; i < ext.size() && i < 3; ++i) out[8 + i] = ext[i];
  }
  return out;
}

TestImage::TestImage(int geometry, bool fdi_header)
    : geometry_(kGeometries[geometry]), header_(fdi_header ? kFdiHeaderOffset : 0) {
  bytes_.assign(static_cast<std::size_t>(header_ + geometry_.data_size), 0);
  for (std::int32_t i = 0; i < header_; ++i) bytes_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + 1);
  std::uint8_t* boot = bytes_.data() + header_;
  boot[0] = 0xEB;
  boot[1] = 0x3C;
  boot[2] = 0x90;
  std::memcpy(boot + 3, "PARLETST", 8);
  le16(boot + 11, static_cast<unsigned>(geometry_.bytes_per_sector));
  boot[13] = static_cast<std::uint8_t>(geometry_.sectors_per_cluster);
  le16(boot + 14, static_cast<unsigned>(geometry_.fat_start));
  boot[16] = 2;
  le16(boot + 17, static_cast<unsigned>(geometry_.root_entries));
  le16(boot + 19, static_cast<unsigned>(geometry_.total_sectors));
  boot[21] = media_byte(geometry);
  le16(boot + 22, static_cast<unsigned>(geometry_.sectors_per_fat));
  le16(boot + 24, static_cast<unsigned>(geometry_.sectors_per_track));
  le16(boot + 26, static_cast<unsigned>(geometry_.heads));
  boot[510] = 0x55;
  boot[511] = 0xAA;
  set_fat(0, 0xF00 | media_byte(geometry));
  set_fat(1, 0xFFF);
}

std::size_t TestImage::sector_offset(int sector) const {
  return static_cast<std::size_t>(header_) + static_cast<std::size_t>(sector) * static_cast<std::size_t>(geometry_.bytes_per_sector);
}

std::size_t TestImage::cluster_offset(int cluster) const {
  return sector_offset(geometry_.data_start + (cluster - 2) * geometry_.sectors_per_cluster);
}

std::uint8_t* TestImage::fat_copy(int copy) {
  return bytes_.data() + sector_offset(geometry_.fat_start + copy * geometry_.sectors_per_fat);
}

void TestImage::set_fat_copy(int copy, int cluster, int value) {
  std::uint8_t* p = fat_copy(copy) + (cluster / 2) * 3;
  const unsigned v = static_cast<unsigned>(value) & 0xFFF;
  if (cluster % 2 == 0) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>((p[1] & 0xF0) | (v >> 8));
  } else {
    p[1] = static_cast<std::uint8_t>((p[1] & 0x0F) | ((v & 0xF) << 4));
    p[2] = static_cast<std::uint8_t>(v >> 4);
  }
}

void TestImage::set_fat(int cluster, int value) {
  set_fat_copy(0, cluster, value);
  set_fat_copy(1, cluster, value);
}

int TestImage::fat(int cluster) const {
  const std::uint8_t* p = bytes_.data() + sector_offset(geometry_.fat_start) + (cluster / 2) * 3;
  return cluster % 2 == 0 ? p[0] | ((p[1] & 0x0F) << 8) : (p[1] >> 4) | (p[2] << 4);
}

std::uint8_t* TestImage::dir_entry(int slot) {
  return bytes_.data() + sector_offset(geometry_.root_start) + static_cast<std::size_t>(slot) * 32;
}

std::vector<int> TestImage::chain_of(int slot) const { return chains_.at(static_cast<std::size_t>(slot)); }

int TestImage::add_entry(std::string_view raw11, std::uint8_t attributes, int first_cluster, std::int32_t size) {
  if (next_slot_ >= geometry_.root_entries) throw std::runtime_error("root directory full");
  const int slot = next_slot_++;
  std::uint8_t* e = dir_entry(slot);
  std::memset(e, 0, 32);
  std::memcpy(e, raw11.data(), std::min<std::size_t>(raw11.size(), 11));
  e[11] = attributes;
  le16(e + 22, 0x6000);  // 12:00:00
  le16(e + 24, 0x5A8B);  // 2025-04-11
  le16(e + 26, static_cast<unsigned>(first_cluster));
  le32(e + 28, static_cast<std::uint32_t>(size));
  chains_.resize(static_cast<std::size_t>(slot) + 1);
  return slot;
}

int TestImage::add_file(std::string_view name, std::span<const std::uint8_t> data, Chain chain, std::uint8_t attributes) {
  const int cluster_bytes = geometry_.bytes_per_sector * geometry_.sectors_per_cluster;
  const int count = static_cast<int>((data.size() + static_cast<std::size_t>(cluster_bytes) - 1) / static_cast<std::size_t>(cluster_bytes));
  std::vector<int> clusters;
  for (int i = 0; i < count; ++i) {
    clusters.push_back(chain == Chain::kContiguous ? next_cluster_ + i : next_cluster_ + 2 * (count - 1 - i));
  }
  next_cluster_ += chain == Chain::kContiguous ? count : 2 * count;
  const int usable = (geometry_.total_sectors - geometry_.data_start) / geometry_.sectors_per_cluster;
  if (next_cluster_ > usable) throw std::runtime_error("test image full");

  const int slot = add_entry(dir_name(name), attributes, clusters.empty() ? 0 : clusters.front(), static_cast<std::int32_t>(data.size()));
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    set_fat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFF);
    const std::size_t from = i * static_cast<std::size_t>(cluster_bytes);
    const std::size_t n = std::min(data.size() - from, static_cast<std::size_t>(cluster_bytes));
    std::memcpy(bytes_.data() + cluster_offset(clusters[i]), data.data() + from, n);
  }
  chains_[static_cast<std::size_t>(slot)] = clusters;
  return slot;
}

void TestImage::write(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace testing_support
