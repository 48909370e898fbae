// On-disk layout of FAT12 directory entries and cluster chains.
//
// The byte offsets of the fields inside a 32-byte directory entry, the attribute bits,
// the marks a name's first byte can carry, and the cluster numbers that bound a chain.
// Multi-byte fields are little-endian and are read only through get_le16/get_le32.
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

// ---- The boot sector (sector 0) ----------------------------------------------------
// Offset into sector 0, width in bytes. The parameter block (BPB) from 0x0B describes the
// volume's layout; the library never reads it (the geometry comes from the image's
// length or container), but a formatted volume carries it and the real FAT tools rely on it.
inline constexpr std::int32_t kBootJump = 0x00;     // 3 bytes: jump over the parameter block (EB xx 90)
inline constexpr std::int32_t kBootOemName = 0x03;  // 8 bytes: formatting system's name, blank padded
inline constexpr std::int32_t kBootOemNameLength = 8;
inline constexpr std::int32_t kBpbBytesPerSector = 0x0B;     // 2 bytes
inline constexpr std::int32_t kBpbSectorsPerCluster = 0x0D;  // 1 byte
inline constexpr std::int32_t kBpbReservedSectors = 0x0E;    // 2 bytes: sectors before the first FAT copy
inline constexpr std::int32_t kBpbFatCount = 0x10;           // 1 byte: FAT copies, 2
inline constexpr std::int32_t kBpbRootEntries = 0x11;        // 2 bytes: 32-byte entries of the root directory
inline constexpr std::int32_t kBpbTotalSectors = 0x13;       // 2 bytes: sectors of the volume (0: see 0x20)
inline constexpr std::int32_t kBpbMedia = 0x15;              // 1 byte: media descriptor, repeated in FAT entry 0
inline constexpr std::int32_t kBpbSectorsPerFat = 0x16;      // 2 bytes: sectors of one FAT copy
inline constexpr std::int32_t kBpbSectorsPerTrack = 0x18;    // 2 bytes
inline constexpr std::int32_t kBpbHeads = 0x1A;              // 2 bytes
inline constexpr std::int32_t kBpbHiddenSectors = 0x1C;      // 4 bytes: sectors in front of the volume, 0 on a floppy
inline constexpr std::int32_t kBpbTotalSectors32 = 0x20;     // 4 bytes: sectors when 0x13 holds 0
inline constexpr std::int32_t kBootDriveNumber = 0x24;       // 1 byte: BIOS drive number
inline constexpr std::int32_t kBootSignature = 0x26;  // 1 byte: kBootExtended when the three fields below are set
inline constexpr std::int32_t kBootSerial = 0x27;     // 4 bytes: volume serial number
inline constexpr std::int32_t kBootLabel = 0x2B;      // 11 bytes: volume label, blank padded
inline constexpr std::int32_t kBootLabelLength = 11;
inline constexpr std::int32_t kBootFsType = 0x36;  // 8 bytes: "FAT12   ", informational only
inline constexpr std::int32_t kBootFsTypeLength = 8;
inline constexpr std::int32_t kBootMark = 0x1FE;  // 2 bytes: 55 AA, the end of a boot sector
inline constexpr std::uint8_t kBootExtended = 0x29;
inline constexpr std::uint8_t kBootMarkBytes[2] = {0x55, 0xAA};
// Media descriptors of our geometries (also the low byte of FAT entry 0).
inline constexpr std::uint8_t kMedia1232K = 0xFE;  // 77 x 2 x 8 x 1024 (PC-98 / X68000 2HD)
inline constexpr std::uint8_t kMedia720K = 0xF9;   // 80 x 2 x 9 x 512
inline constexpr std::uint8_t kMedia640K = 0xFB;   // 80 x 2 x 8 x 512
