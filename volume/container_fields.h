// On-disk layout of the floppy image container forms: every field the container reader
// looks at, named once with its offset, width and meaning. All multi-byte fields are
// little-endian and read through get_le16/get_le32. `C,H,R,N` are a sector ID's
// cylinder, head, record number and size code (data bytes = 128 << N).
#pragma once

#include <cstdint>

// The largest size code of a real sector: 128 << 7 = 16384 bytes.
inline constexpr int kMaxSizeCode = 7;

// FAT boot sector fields compared with a raw image's length.
namespace boot_layout {
inline constexpr std::int64_t kJump = 0x00;  // 1 byte: 0xEB or 0xE9 when a parameter block follows
inline constexpr int kJumpShort = 0xEB;
inline constexpr int kJumpNear = 0xE9;
inline constexpr std::int64_t kBytesPerSector = 0x0B;   // 2 bytes
inline constexpr std::int64_t kSectorsPerTrack = 0x18;  // 2 bytes
}  // namespace boot_layout

// DIP (PC-98): a 256-byte header, then raw 1232 KiB sectors.
namespace dip_layout {
inline constexpr std::uint8_t kMagic[8] = {0x01, 0x08, 0x00, 0x13, 0x41, 0x00, 0x01, 0x00};  // at 0
inline constexpr std::int64_t kData = 0x100;                                                 // first sector
inline constexpr std::int64_t kFileSize = 0x134100;                                          // the only size seen
}  // namespace dip_layout

// FDI (Anex86): a header of its own stated size, then raw sectors.
namespace fdi_layout {
inline constexpr std::int64_t kReserved = 0x00;         // 4 bytes: always 0
inline constexpr std::int64_t kType = 0x04;             // 4 bytes: drive type, readers use type & 0xF0
inline constexpr std::int64_t kHeaderSize = 0x08;       // 4 bytes: file position of the first sector
inline constexpr std::int64_t kDataSize = 0x0C;         // 4 bytes: bytes x sectors x heads x cylinders
inline constexpr std::int64_t kBytesPerSector = 0x10;   // 4 bytes
inline constexpr std::int64_t kSectorsPerTrack = 0x14;  // 4 bytes
inline constexpr std::int64_t kHeads = 0x18;            // 4 bytes
inline constexpr std::int64_t kCylinders = 0x1C;        // 4 bytes
inline constexpr std::int64_t kFixedFields = 0x20;      // smallest header: the fields above
}  // namespace fdi_layout

// D88: per disk a 0x2B0-byte header (0x2A0 in old files) with a track offset table,
// then tracks of sector records, each a 16-byte record header and its data.
namespace d88_layout {
inline constexpr std::int64_t kName = 0x00;  // 17 bytes: disk name, NUL-terminated
inline constexpr std::int64_t kNameSize = 17;
inline constexpr std::int64_t kWriteProtect = 0x1A;  // 1 byte: nonzero = protected
inline constexpr std::int64_t kMedia = 0x1B;         // 1 byte: the kMedia* values
inline constexpr std::int64_t kDiskSize = 0x1C;      // 4 bytes: this disk's length, header included
inline constexpr std::int64_t kTrackTable = 0x20;    // 4 bytes per track: offset from this disk's start, 0 = absent
inline constexpr int kTrackCount = 164;              // table entries (160 in old files)
inline constexpr std::int64_t kOldHeaderSize = 0x2A0;
inline constexpr std::int64_t kHeaderSize = 0x2B0;
inline constexpr int kMedia2D = 0x00;
inline constexpr int kMedia2DD = 0x10;
inline constexpr int kMedia2HD = 0x20;
inline constexpr int kMedia1D = 0x30;   // single-sided: the table is indexed by cylinder
inline constexpr int kMedia1DD = 0x40;  // single-sided
// Sector record header, relative to the record.
inline constexpr std::int64_t kRecC = 0x00;        // 1 byte
inline constexpr std::int64_t kRecH = 0x01;        // 1 byte
inline constexpr std::int64_t kRecR = 0x02;        // 1 byte
inline constexpr std::int64_t kRecN = 0x03;        // 1 byte
inline constexpr std::int64_t kRecCount = 0x04;    // 2 bytes: records in this track (repeated in each)
inline constexpr std::int64_t kRecDensity = 0x06;  // 1 byte: bit 6 set = FM
inline constexpr std::int64_t kRecDeleted = 0x07;  // 1 byte: nonzero = deleted data mark
inline constexpr std::int64_t kRecStatus = 0x08;   // 1 byte: PC-98 BIOS status, 0 = read without error
inline constexpr std::int64_t kRecLength = 0x0E;   // 2 bytes: data bytes following the record header
inline constexpr std::int64_t kRecHeaderSize = 16;
inline constexpr int kMaxRecords = 128;       // sanity bound on a track's record count
inline constexpr int kMaxDataLength = 16384;  // sanity bound on one record's data
}  // namespace d88_layout

// DIM (X68000): a 256-byte header with per-track stored flags, then the stored tracks.
namespace dim_layout {
inline constexpr std::int64_t kMedia = 0x00;       // 1 byte: media type, 0x00 = 2HD 77 x 2 x 8 x 1024
inline constexpr std::int64_t kTrackFlags = 0x01;  // 1 byte per track C*2+H: 1 = stored, 0 = absent
inline constexpr int kTrackFlagCount = 170;
inline constexpr std::int64_t kSignature = 0xAB;  // 13 bytes: kSignatureText
inline constexpr char kSignatureText[13] = {'D', 'I', 'F', 'C', ' ', 'H', 'E', 'A', 'D', 'E', 'R', ' ', ' '};
inline constexpr std::int64_t kHeaderSize = 0x100;  // first stored track
}  // namespace dim_layout

// DCP/DCU (PC-98): a 162-byte header with a per-track stored map, then the stored tracks.
namespace dcp_layout {
inline constexpr std::int64_t kMedia = 0x00;     // 1 byte: media type, see the reader's table
inline constexpr std::int64_t kTrackMap = 0x01;  // 1 byte per track C*2+H: 1 = stored
inline constexpr int kTrackMapCount = 160;
inline constexpr std::int64_t kAllTracks = 0xA1;   // 1 byte: 1 = every track stored, map ignored
inline constexpr std::int64_t kHeaderSize = 0xA2;  // first stored track
}  // namespace dcp_layout

// NFD (T98-Next), revisions 0 and 1: a common start, then a sector ID table (r0) or an
// index of per-track tables (r1); the sector data follows the header.
namespace nfd_layout {
inline constexpr char kSignatureR0[15] = {'T', '9', '8', 'F', 'D', 'D', 'I', 'M', 'A', 'G', 'E', '.', 'R', '0', '\0'};
inline constexpr char kSignatureR1[15] = {'T', '9', '8', 'F', 'D', 'D', 'I', 'M', 'A', 'G', 'E', '.', 'R', '1', '\0'};
inline constexpr std::int64_t kHeaderSizeField = 0x110;  // 4 bytes: file position of the sector data
inline constexpr std::int64_t kWriteProtect = 0x114;     // 1 byte: nonzero = protected
inline constexpr int kUnusedSlot = 0xFF;                 // C of an unused r0 table slot
// Sector ID fields shared by both revisions' sector entries.
inline constexpr std::int64_t kIdC = 0;
inline constexpr std::int64_t kIdH = 1;
inline constexpr std::int64_t kIdR = 2;
inline constexpr std::int64_t kIdN = 3;
// r0: 163 rows (track C*2+H) of 26 slots of 16 bytes, filled from slot 0.
inline constexpr std::int64_t kR0Table = 0x120;
inline constexpr int kR0Rows = 163;
inline constexpr int kR0Slots = 26;
inline constexpr std::int64_t kR0EntrySize = 16;
inline constexpr std::int64_t kR0Ddam = 5;    // 1 byte: 1 = deleted data
inline constexpr std::int64_t kR0Status = 6;  // 1 byte: BIOS status, 0 = good
inline constexpr std::int64_t kR0MinHeader = 0x10A10;
// r1: 164 absolute offsets of per-track tables (0 = absent); each table is a 16-byte
// track ID, then its sector entries, then its special-read entries, 16 bytes each.
inline constexpr std::int64_t kR1TrackIndex = 0x120;
inline constexpr int kR1Tracks = 164;
inline constexpr std::int64_t kR1MinHeader = 0x3C0;
inline constexpr std::int64_t kR1SectorCount = 0;   // 2 bytes, in the track ID
inline constexpr std::int64_t kR1SpecialCount = 2;  // 2 bytes, in the track ID
inline constexpr std::int64_t kR1TrackIdSize = 16;
inline constexpr std::int64_t kR1EntrySize = 16;
inline constexpr std::int64_t kR1Ddam = 5;            // sector entry, 1 byte
inline constexpr std::int64_t kR1Status = 6;          // sector entry, 1 byte
inline constexpr std::int64_t kR1Retry = 10;          // sector entry, 1 byte: extra copies stored after it
inline constexpr std::int64_t kR1SpecialRetry = 9;    // special-read entry, 1 byte
inline constexpr std::int64_t kR1SpecialLength = 10;  // special-read entry, 4 bytes: data length
}  // namespace nfd_layout

// FDD (Virtual98): a sector ID table of 160 rows (track C*2+H) of 26 slots, each with
// a fill byte or an absolute pointer to its data.
namespace fdd_layout {
inline constexpr char kSignature[5] = {'V', 'F', 'D', '1', '.'};  // "VFD1.00" or "VFD1.01"
inline constexpr std::int64_t kWriteProtect = 0x88;               // 2 bytes: nonzero = protected
inline constexpr std::int64_t kTable = 0xDC;
inline constexpr int kRows = 160;
inline constexpr int kSlots = 26;
inline constexpr std::int64_t kEntrySize = 12;
inline constexpr std::int64_t kDataStart = 0xC3FC;  // end of the header
inline constexpr int kUnusedSlot = 0xFF;            // C of an unused slot
inline constexpr std::int64_t kIdC = 0;
inline constexpr std::int64_t kIdH = 1;
inline constexpr std::int64_t kIdR = 2;
inline constexpr std::int64_t kIdN = 3;
inline constexpr std::int64_t kFill = 4;  // 1 byte: kStoredMark, or the byte the sector is made of
inline constexpr int kStoredMark = 0xFF;
inline constexpr std::int64_t kDdam = 5;     // 1 byte: 1 = deleted data
inline constexpr std::int64_t kPointer = 8;  // 4 bytes: file position of the data
inline constexpr std::int64_t kNoPointer = 0xFFFFFFFF;
}  // namespace fdd_layout
