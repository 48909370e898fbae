#include "volume/builder.h"

#include <algorithm>

#include "common/console.h"
#include "common/le.h"
#include "volume/fat_layout.h"

namespace {

// The values of FAT entry 0 (0xF00 | media descriptor) and of an end-of-chain mark.
constexpr int kFatEntry0High = 0xF00;
constexpr int kEndOfChain = 0xFFF;
constexpr int kFatCopies = 2;

// The name a formatting tool leaves in the boot sector; ours, blank padded. The extended
// boot record after the parameter block: a fixed serial number (the same volume on every
// build), "no label" and the file system's name.
constexpr std::string_view kOemName = "PARLE   ";
constexpr std::uint32_t kSerial = 0x20250711;
constexpr std::string_view kNoLabel = "NO NAME    ";
constexpr std::string_view kFsType = "FAT12   ";

}  // namespace

std::uint8_t builder_media_byte(const Geometry& geometry) {
  if (geometry.bytes_per_sector == 1024) return kMedia1232K;
  return geometry.sectors_per_track == 9 ? kMedia720K : kMedia640K;
}

void builder_put_entry(std::uint8_t* at, std::string_view raw11, std::uint8_t attributes, int first_cluster,
                       std::uint32_t size, int time, int date) {
  std::fill(at, at + kDirEntrySize, 0);
  std::copy_n(raw11.begin(), std::min<std::size_t>(raw11.size(), kDentNameLength), at + kDentName);
  at[kDentAttributes] = attributes;
  put_le16(at + kDentTime, time);
  put_le16(at + kDentDate, date);
  put_le16(at + kDentCluster, first_cluster);
  put_le32(at + kDentSize, size);
}

std::string builder_dir_name(std::string_view name) {
  std::string out(kDentNameLength, ' ');
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  std::copy_n(base.begin(), std::min<std::size_t>(base.size(), kDentBaseLength), out.begin());
  if (dot != std::string_view::npos) {
    const std::string_view ext = name.substr(dot + 1);
    const std::size_t ext_length = kDentNameLength - kDentBaseLength;
    std::copy_n(ext.begin(), std::min(ext.size(), ext_length), out.begin() + kDentBaseLength);
  }
  return out;
}

VolumeBuilder::VolumeBuilder(int geometry)
    : geometry_(kGeometries[geometry]), volume_(static_cast<std::size_t>(geometry_.data_size), 0) {
  std::uint8_t* b = boot();
  const std::uint8_t jump[] = {0xEB, 0x3C, 0x90};  // a short jump over the parameter block, then NOP
  std::copy(std::begin(jump), std::end(jump), b + kBootJump);
  std::copy(kOemName.begin(), kOemName.end(), b + kBootOemName);
  const std::uint8_t media = builder_media_byte(geometry_);
  put_le16(b + kBpbBytesPerSector, geometry_.bytes_per_sector);
  b[kBpbSectorsPerCluster] = static_cast<std::uint8_t>(geometry_.sectors_per_cluster);
  put_le16(b + kBpbReservedSectors, geometry_.fat_start);
  b[kBpbFatCount] = kFatCopies;
  put_le16(b + kBpbRootEntries, geometry_.root_entries);
  put_le16(b + kBpbTotalSectors, geometry_.total_sectors);
  b[kBpbMedia] = media;
  put_le16(b + kBpbSectorsPerFat, geometry_.sectors_per_fat);
  put_le16(b + kBpbSectorsPerTrack, geometry_.sectors_per_track);
  put_le16(b + kBpbHeads, geometry_.heads);
  b[kBootSignature] = kBootExtended;
  put_le32(b + kBootSerial, kSerial);
  std::copy(kNoLabel.begin(), kNoLabel.end(), b + kBootLabel);
  std::copy(kFsType.begin(), kFsType.end(), b + kBootFsType);
  std::copy(std::begin(kBootMarkBytes), std::end(kBootMarkBytes), b + kBootMark);
  set_fat(0, kFatEntry0High | media);
  set_fat(1, kEndOfChain);
}

std::size_t VolumeBuilder::sector_offset(int sector) const {
  return static_cast<std::size_t>(sector) * static_cast<std::size_t>(geometry_.bytes_per_sector);
}

std::size_t VolumeBuilder::cluster_bytes() const {
  return static_cast<std::size_t>(geometry_.bytes_per_sector) * static_cast<std::size_t>(geometry_.sectors_per_cluster);
}

std::size_t VolumeBuilder::cluster_offset(int cluster) const {
  return sector_offset(geometry_.data_start + (cluster - kFirstDataCluster) * geometry_.sectors_per_cluster);
}

void VolumeBuilder::set_fat_copy(int copy, int cluster, int value) {
  // Two 12-bit entries share three bytes: the even one takes the low 12 bits.
  std::uint8_t* p = volume_.data() + sector_offset(geometry_.fat_start + copy * geometry_.sectors_per_fat) +
                    static_cast<std::size_t>(cluster / 2 * 3);
  const auto v = static_cast<unsigned>(value) & 0xFFFu;
  if (cluster % 2 == 0) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>((p[1] & 0xF0u) | (v >> 8));
  } else {
    p[1] = static_cast<std::uint8_t>((p[1] & 0x0Fu) | ((v & 0xFu) << 4));
    p[2] = static_cast<std::uint8_t>(v >> 4);
  }
}

void VolumeBuilder::set_fat(int cluster, int value) {
  for (int copy = 0; copy < kFatCopies; ++copy) set_fat_copy(copy, cluster, value);
}

int VolumeBuilder::fat(int cluster) const {
  const std::uint8_t* p =
      volume_.data() + sector_offset(geometry_.fat_start) + static_cast<std::size_t>(cluster / 2 * 3);
  return cluster % 2 == 0 ? p[0] | ((p[1] & 0x0F) << 8) : (p[1] >> 4) | (p[2] << 4);
}

std::uint8_t* VolumeBuilder::dir_entry(int slot) {
  return volume_.data() + sector_offset(geometry_.root_start) + static_cast<std::size_t>(slot) * kDirEntrySize;
}

const std::uint8_t* VolumeBuilder::dir_entry(int slot) const {
  return volume_.data() + sector_offset(geometry_.root_start) + static_cast<std::size_t>(slot) * kDirEntrySize;
}

std::vector<int> VolumeBuilder::chain_of(int slot) const {
  if (slot < 0 || static_cast<std::size_t>(slot) >= chains_.size()) return {};
  return chains_[static_cast<std::size_t>(slot)];
}

int VolumeBuilder::add_entry(std::string_view raw11, std::uint8_t attributes, int first_cluster, std::int32_t size) {
  if (next_slot_ >= geometry_.root_entries) {
    err_printf("root directory full\n");
    return -1;
  }
  const int slot = next_slot_++;
  builder_put_entry(dir_entry(slot), raw11, attributes, first_cluster, static_cast<std::uint32_t>(size));
  chains_.resize(static_cast<std::size_t>(slot) + 1);
  return slot;
}

int VolumeBuilder::add_file(std::string_view name, std::span<const std::uint8_t> data, ChainLayout chain,
                            std::uint8_t attributes) {
  const std::size_t per_cluster = cluster_bytes();
  const int count = static_cast<int>((data.size() + per_cluster - 1) / per_cluster);
  const bool contiguous = chain == ChainLayout::kContiguous;
  const int end = next_cluster_ + (contiguous ? count : 2 * count);
  // Cluster numbers below cluster_count are the ones the library addresses.
  const int usable = (geometry_.total_sectors - geometry_.data_start) / geometry_.sectors_per_cluster;
  if (end > usable) {
    err_printf("no room for '%.*s' on the volume\n", static_cast<int>(name.size()), name.data());
    return -1;
  }
  std::vector<int> clusters;
  clusters.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    clusters.push_back(contiguous ? next_cluster_ + i : next_cluster_ + 2 * (count - 1 - i));

  const int slot = add_entry(builder_dir_name(name), attributes, clusters.empty() ? 0 : clusters.front(),
                             static_cast<std::int32_t>(data.size()));
  if (slot < 0) return -1;
  next_cluster_ = end;
  for (std::size_t i = 0; i < clusters.size(); ++i) {
    set_fat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : kEndOfChain);
    const std::size_t from = i * per_cluster;
    const std::size_t n = std::min(data.size() - from, per_cluster);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from), n,
                volume_.begin() + static_cast<std::ptrdiff_t>(cluster_offset(clusters[i])));
  }
  chains_[static_cast<std::size_t>(slot)] = clusters;
  return slot;
}

std::vector<std::uint8_t> VolumeBuilder::file(ImageForm form, const ContainerOptions& options) const {
  return build_container(volume_, geometry_, form, options);
}
