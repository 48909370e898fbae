// On-disk layout of FAT12 directory entries and cluster chains.
//
// The byte offsets of the fields inside a 32-byte directory entry, the attribute bits,
// the marks a name's first byte can carry, and the cluster numbers that bound a chain.
// Multi-byte fields are little-endian and are read only through get_le16/get_le32.
// Only the volume library's own sources include this header.
#pragma once

#include <cstdint>

// One directory entry: 32 bytes, whatever directory it lies in.
inline constexpr std::int32_t kDirEntrySize = 32;

// Directory entry fields (offset into the entry, width in bytes).
inline constexpr std::int32_t kDentName = 0;       // 11 bytes: name part, then extension
inline constexpr std::int32_t kDentNameLength = 11;
inline constexpr std::int32_t kDentBaseLength = 8;  // positions 0-7: name part, space padded
inline constexpr std::int32_t kDentAttributes = 11; // 1 byte: the kAttr* bits below
inline constexpr std::int32_t kDentTime = 22;       // 2 bytes: hours 15-11, minutes 10-5, seconds/2 4-0
inline constexpr std::int32_t kDentDate = 24;       // 2 bytes: year-1980 15-9, month 8-5, day 4-0
inline constexpr std::int32_t kDentCluster = 26;    // 2 bytes: first cluster of the entry's chain
inline constexpr std::int32_t kDentSize = 28;       // 4 bytes: file size in bytes

// Attribute bits (the byte at kDentAttributes). 0x40 and 0x80 carry no meaning here.
inline constexpr std::uint8_t kAttrReadOnly = 0x01;
inline constexpr std::uint8_t kAttrHidden = 0x02;
inline constexpr std::uint8_t kAttrSystem = 0x04;
inline constexpr std::uint8_t kAttrVolumeLabel = 0x08;
inline constexpr std::uint8_t kAttrDirectory = 0x10;
inline constexpr std::uint8_t kAttrArchive = 0x20;

// First name byte: 0xE5 marks a deleted entry, so a name that really begins with the
// byte 0xE5 is stored with 0x05 in its place.
inline constexpr std::uint8_t kNameDeleted = 0xE5;
inline constexpr std::uint8_t kNameE5StandIn = 0x05;

// Cluster numbers 0 and 1 are reserved: the data area begins with cluster 2.
inline constexpr std::int32_t kFirstDataCluster = 2;
// The highest FAT value that is followed as a cluster number. 0xFF0 to 0xFF7 (reserved)
// end a chain just as the end markers 0xFF8 to 0xFFF do.
inline constexpr std::int32_t kLastChainCluster = 0xFEF;

// True for a FAT value that continues a chain rather than ending it.
inline constexpr bool chain_continues(std::int32_t value) {
  return value >= kFirstDataCluster && value <= kLastChainCluster;
}
