// On-disk layout of the floppy image containers that wrap a FAT12 volume.
//
// Every field is named once here, with its byte offset, its width and its meaning; the
// readers and writers of the containers use these names and read multi-byte fields only
// through the little-endian accessors of common/le.h. Nothing in this header reads or
// writes a file: it only describes the layouts.
//
// Common terms: C, H, R, N are a sector's cylinder, head, sector ID and size code (the
// sector holds 128 << N bytes). The track index of the two-sided forms is t = C * 2 + H.
// Sectors of a track are numbered R = 1 .. sectors per track in every geometry we use.
#pragma once

#include <cstdint>

// ---- Sector IDs ----------------------------------------------------------------------

// The size code N of a sector of `bytes` bytes (128 << N == bytes), or -1 for a size
// that is no power of two from 128 up.
inline constexpr std::int32_t sector_size_code(std::int32_t bytes) {
  for (std::int32_t n = 0; n <= 7; ++n) {
    if ((128 << n) == bytes) return n;
  }
  return -1;
}

// The number of bytes of a sector with size code N.
inline constexpr std::int32_t sector_bytes(std::int32_t size_code) { return 128 << size_code; }

// ---- FDI (Anex86): a 32-byte header padded to its own size, then raw sectors ---------

inline constexpr std::int32_t kFdiReserved = 0x00;         // 4 bytes: always 0; the form's only signature
inline constexpr std::int32_t kFdiType = 0x04;             // 4 bytes: drive type, readers use (type & 0xF0)
inline constexpr std::int32_t kFdiDataOffset = 0x08;       // 4 bytes: header size = file offset of sector data
inline constexpr std::int32_t kFdiDataSize = 0x0C;         // 4 bytes: bytes/sector * sectors/track * heads * cylinders
inline constexpr std::int32_t kFdiBytesPerSector = 0x10;   // 4 bytes
inline constexpr std::int32_t kFdiSectorsPerTrack = 0x14;  // 4 bytes
inline constexpr std::int32_t kFdiHeads = 0x18;            // 4 bytes
inline constexpr std::int32_t kFdiCylinders = 0x1C;        // 4 bytes
inline constexpr std::int32_t kFdiFieldsEnd = 0x20;        // the smallest header; zeros follow up to the data
inline constexpr std::int32_t kFdiTypeMask = 0xF0;         // the bits of the type field readers look at
inline constexpr std::int32_t kFdiType2HD = 0x90;          // 2HD 1.2 MB (77 x 2 x 8 x 1024)
inline constexpr std::int32_t kFdiType2DD = 0x10;          // 2DD, 640 KiB or 720 KiB

// ---- DIP (PC-98): a 256-byte header, then the raw 1232 KiB volume --------------------

inline constexpr std::int32_t kDipMagic = 0x00;  // 8 bytes: kDipMagicBytes; bytes 8 to 0x0F are zero
inline constexpr std::int32_t kDipMagicLength = 8;
inline constexpr std::uint8_t kDipMagicBytes[kDipMagicLength] = {0x01, 0x08, 0x00, 0x13, 0x41, 0x00, 0x01, 0x00};
inline constexpr std::int32_t kDipComment = 0x10;  // 0xF0 bytes: free text, often ends CR LF, no NUL needed
inline constexpr std::int32_t kDipCommentLength = 0xF0;
inline constexpr std::int32_t kDipHeaderSize = 0x100;   // file offset of sector data
inline constexpr std::int32_t kDipFileSize = 0x134100;  // the only size the form comes in

// ---- D88: per disk a 0x2B0-byte header, then tracks of sector records ----------------

inline constexpr std::int32_t kD88Name = 0x00;  // 17 bytes: disk name, NUL-terminated (0x10 is the NUL)
inline constexpr std::int32_t kD88NameLength = 17;
inline constexpr std::int32_t kD88Reserved = 0x11;      // 9 bytes: zero
inline constexpr std::int32_t kD88WriteProtect = 0x1A;  // 1 byte: 0x00 off, 0x10 on (any nonzero is on)
inline constexpr std::int32_t kD88Media = 0x1B;         // 1 byte: kD88Media* below
inline constexpr std::int32_t kD88DiskSize = 0x1C;      // 4 bytes: this disk's size, header included
inline constexpr std::int32_t kD88TrackTable = 0x20;    // 4 bytes per track: offset from this disk's start, 0 = absent
inline constexpr std::int32_t kD88TrackEntries = 164;   // entries of the table, index t = C * 2 + H
inline constexpr std::int32_t kD88HeaderSize = 0x2B0;   // kD88TrackTable + 4 * kD88TrackEntries
inline constexpr std::int32_t kD88OldHeaderSize = 0x2A0;  // old writers: 160 entries
inline constexpr std::uint8_t kD88WriteProtectOn = 0x10;
inline constexpr std::uint8_t kD88Media2D = 0x00;
inline constexpr std::uint8_t kD88Media2DD = 0x10;  // our 720 KiB and 640 KiB volumes
inline constexpr std::uint8_t kD88Media2HD = 0x20;  // our 1232 KiB volume
inline constexpr std::uint8_t kD88Media1D = 0x30;   // one-sided: the table index is t = C
inline constexpr std::uint8_t kD88Media1DD = 0x40;

// One sector record: a 16-byte header, then the sector's data.
inline constexpr std::int32_t kD88SecCylinder = 0x00;    // 1 byte: C
inline constexpr std::int32_t kD88SecHead = 0x01;        // 1 byte: H
inline constexpr std::int32_t kD88SecRecord = 0x02;      // 1 byte: R
inline constexpr std::int32_t kD88SecSizeCode = 0x03;    // 1 byte: N
inline constexpr std::int32_t kD88SecCount = 0x04;       // 2 bytes: sectors in this track, in every record
inline constexpr std::int32_t kD88SecDensity = 0x06;     // 1 byte: bit 6 set = FM (single density), clear = MFM
inline constexpr std::int32_t kD88SecDeleted = 0x07;     // 1 byte: nonzero = deleted data mark
inline constexpr std::int32_t kD88SecStatus = 0x08;      // 1 byte: BIOS status, 0x00 = read without error
inline constexpr std::int32_t kD88SecReserved = 0x09;    // 5 bytes: zero
inline constexpr std::int32_t kD88SecDataLength = 0x0E;  // 2 bytes: bytes of data after this header
inline constexpr std::int32_t kD88SecHeaderSize = 0x10;
inline constexpr std::uint8_t kD88DensityFm = 0x40;

// ---- DIM (X68000 DIFC): a 256-byte header, then the stored tracks --------------------

inline constexpr std::int32_t kDimMedia = 0x00;       // 1 byte: kDimMedia* below
inline constexpr std::int32_t kDimTrackFlags = 0x01;  // 1 byte per track t: 1 = stored, 0 = absent
inline constexpr std::int32_t kDimTrackFlagCount = 170;
inline constexpr std::int32_t kDimSignature = 0xAB;      // 15 bytes: kDimSignatureText, then two NULs
inline constexpr std::int32_t kDimSignatureLength = 13;  // the text part
inline constexpr char kDimSignatureText[] = "DIFC HEADER  ";
inline constexpr std::int32_t kDimDate = 0xBA;     // 4 bytes
inline constexpr std::int32_t kDimTime = 0xBE;     // 4 bytes
inline constexpr std::int32_t kDimComment = 0xC2;  // 61 bytes
inline constexpr std::int32_t kDimCommentLength = 61;
inline constexpr std::int32_t kDimOvertrack = 0xFF;    // 1 byte: nonzero allows tracks past the nominal count
inline constexpr std::int32_t kDimHeaderSize = 0x100;  // file offset of the first stored track
inline constexpr std::uint8_t kDimMedia2HD = 0x00;     // 77 x 2 x 8 x 1024: our 1232 KiB volume
inline constexpr std::uint8_t kDimTrackStored = 1;
inline constexpr std::uint8_t kDimAbsentFill = 0xE5;  // what an absent track reads as

// ---- NFD (T98-Next), both revisions ---------------------------------------------------

inline constexpr std::int32_t kNfdSignature = 0x000;  // 15 bytes: kNfdSignatureR0 or R1, with its NUL
inline constexpr std::int32_t kNfdSignatureLength = 15;
inline constexpr char kNfdSignatureR0[] = "T98FDDIMAGE.R0";
inline constexpr char kNfdSignatureR1[] = "T98FDDIMAGE.R1";
inline constexpr std::int32_t kNfdComment = 0x010;  // 256 bytes: NUL-terminated text
inline constexpr std::int32_t kNfdCommentLength = 256;
inline constexpr std::int32_t kNfdHeaderSize = 0x110;    // 4 bytes: file offset of the data part
inline constexpr std::int32_t kNfdWriteProtect = 0x114;  // 1 byte: nonzero = on
inline constexpr std::int32_t kNfdHeads = 0x115;         // 1 byte: 2
inline constexpr std::int32_t kNfdReserved = 0x116;      // 10 bytes
inline constexpr std::uint8_t kNfdPda2HD = 0x90;         // drive mode 1.2 MB 2HD
inline constexpr std::uint8_t kNfdPda144 = 0x30;         // drive mode 1.44 MB
inline constexpr std::uint8_t kNfdPda2DD = 0x10;         // drive mode 640 KiB 2DD (also for 720 KiB)

// r0: a fixed table of sector IDs, 26 slots per track; data blocks in table order.
inline constexpr std::int32_t kNfdR0SectorTable = 0x120;  // kNfdR0Tracks x kNfdR0Slots entries
inline constexpr std::int32_t kNfdR0Tracks = 163;
inline constexpr std::int32_t kNfdR0Slots = 26;
inline constexpr std::int32_t kNfdR0EntrySize = 16;
inline constexpr std::int32_t kNfdR0Reserved = 0x10A00;    // 16 bytes
inline constexpr std::int32_t kNfdR0HeaderSize = 0x10A10;  // the usual (and smallest) header size
// Fields of an r0 entry.
inline constexpr std::int32_t kNfdR0Cylinder = 0;  // 1 byte: C; kNfdUnused marks an unused slot
inline constexpr std::int32_t kNfdR0Head = 1;      // 1 byte: H
inline constexpr std::int32_t kNfdR0Record = 2;    // 1 byte: R
inline constexpr std::int32_t kNfdR0SizeCode = 3;  // 1 byte: N
inline constexpr std::int32_t kNfdR0Mfm = 4;       // 1 byte: 1 MFM, 0 FM
inline constexpr std::int32_t kNfdR0Ddam = 5;      // 1 byte: 1 = deleted data
inline constexpr std::int32_t kNfdR0Status = 6;    // 1 byte: BIOS status, 0 = good read
inline constexpr std::int32_t kNfdR0St0 = 7;       // 1 byte: FDC ST0 (H << 2 after a good read)
inline constexpr std::int32_t kNfdR0St1 = 8;       // 1 byte: FDC ST1
inline constexpr std::int32_t kNfdR0St2 = 9;       // 1 byte: FDC ST2
inline constexpr std::int32_t kNfdR0Pda = 10;      // 1 byte: kNfdPda*
inline constexpr std::uint8_t kNfdUnused = 0xFF;

// r1: per track a table of its own, located through an offset table.
inline constexpr std::int32_t kNfdR1TrackTable = 0x120;  // 4 bytes per track t: absolute offset, 0 = absent
inline constexpr std::int32_t kNfdR1Tracks = 164;
inline constexpr std::int32_t kNfdR1AddInfo = 0x3B0;     // 4 bytes: additional-info address, 0
inline constexpr std::int32_t kNfdR1Reserved = 0x3B4;    // 12 bytes
inline constexpr std::int32_t kNfdR1FirstTable = 0x3C0;  // where the per-track tables begin
// Per-track table: a 16-byte track ID, then the sector entries, then the special-read ones.
inline constexpr std::int32_t kNfdR1TrackSectors = 0;  // 2 bytes: sector entries S
inline constexpr std::int32_t kNfdR1TrackSpecial = 2;  // 2 bytes: special-read entries D
inline constexpr std::int32_t kNfdR1TrackIdSize = 16;
inline constexpr std::int32_t kNfdR1EntrySize = 16;  // both kinds of entry
// Fields of an r1 sector entry.
inline constexpr std::int32_t kNfdR1Cylinder = 0;  // 1 byte: C
inline constexpr std::int32_t kNfdR1Head = 1;      // 1 byte: H
inline constexpr std::int32_t kNfdR1Record = 2;    // 1 byte: R
inline constexpr std::int32_t kNfdR1SizeCode = 3;  // 1 byte: N
inline constexpr std::int32_t kNfdR1Mfm = 4;       // 1 byte: 1 MFM, 0 FM
inline constexpr std::int32_t kNfdR1Ddam = 5;      // 1 byte: 1 = deleted data
inline constexpr std::int32_t kNfdR1Status = 6;    // 1 byte: BIOS status
inline constexpr std::int32_t kNfdR1St0 = 7;       // 1 byte
inline constexpr std::int32_t kNfdR1St1 = 8;       // 1 byte
inline constexpr std::int32_t kNfdR1St2 = 9;       // 1 byte
inline constexpr std::int32_t kNfdR1Retry = 10;    // 1 byte: extra copies of the data stored after it
inline constexpr std::int32_t kNfdR1Pda = 11;      // 1 byte: kNfdPda*
// Fields of an r1 special-read entry.
inline constexpr std::int32_t kNfdR1SpCommand = 0;   // 1 byte
inline constexpr std::int32_t kNfdR1SpCylinder = 1;  // 1 byte each: C, H, R, N at 1 to 4
inline constexpr std::int32_t kNfdR1SpStatus = 5;    // 1 byte
inline constexpr std::int32_t kNfdR1SpSt0 = 6;       // 1 byte each: ST0, ST1, ST2 at 6 to 8
inline constexpr std::int32_t kNfdR1SpRetry = 9;     // 1 byte
inline constexpr std::int32_t kNfdR1SpLength = 10;   // 4 bytes: data length of one copy
inline constexpr std::int32_t kNfdR1SpPda = 14;      // 1 byte

// ---- FDD (Virtual98 VFD): a fixed table of sector IDs with data pointers -------------

inline constexpr std::int32_t kFddVersion = 0x000;  // 8 bytes: kFddVersionText with its NUL
inline constexpr std::int32_t kFddVersionLength = 8;
inline constexpr char kFddVersionText[] = "VFD1.00";
inline constexpr std::int32_t kFddSignatureLength = 5;  // "VFD1.": what every version shares
inline constexpr std::int32_t kFddMemo = 0x008;         // 128 bytes
inline constexpr std::int32_t kFddMemoLength = 128;
inline constexpr std::int32_t kFddWriteProtect = 0x088;  // 2 bytes: nonzero = on
inline constexpr std::int32_t kFddSpecialDrive = 0x08A;  // 2 bytes: special-read drive
inline constexpr std::int32_t kFddReserved = 0x08C;      // 80 bytes
inline constexpr std::int32_t kFddSectorTable = 0x0DC;   // kFddTracks x kFddSlots entries
inline constexpr std::int32_t kFddTracks = 160;
inline constexpr std::int32_t kFddSlots = 26;
inline constexpr std::int32_t kFddEntrySize = 12;
inline constexpr std::int32_t kFddSpecialRead = 0xC3DC;  // 32 bytes: the special-read record
inline constexpr std::int32_t kFddSpecialReadSize = 32;
inline constexpr std::int32_t kFddDataStart = 0xC3FC;  // where sector data usually begins
// Fields of an entry.
inline constexpr std::int32_t kFddCylinder = 0;     // 1 byte: C; kFddUnused marks an unused slot
inline constexpr std::int32_t kFddHead = 1;         // 1 byte: H
inline constexpr std::int32_t kFddRecord = 2;       // 1 byte: R
inline constexpr std::int32_t kFddSizeCode = 3;     // 1 byte: N
inline constexpr std::int32_t kFddFill = 4;         // 1 byte: kFddFillStored, or the byte the unstored sector repeats
inline constexpr std::int32_t kFddDdam = 5;         // 1 byte: 1 = deleted data
inline constexpr std::int32_t kFddMfm = 6;          // 1 byte: 1 = MFM
inline constexpr std::int32_t kFddHighDensity = 7;  // 1 byte: 1 = 2HD, 0 = 2DD
inline constexpr std::int32_t kFddPointer = 8;      // 4 bytes: absolute file offset of the data
inline constexpr std::uint8_t kFddUnused = 0xFF;
inline constexpr std::uint8_t kFddFillStored = 0xFF;         // the data is in the file
inline constexpr std::uint32_t kFddNoPointer = 0xFFFFFFFFu;  // the data is not in the file

// ---- DCP / DCU: a 162-byte header, then the stored tracks ----------------------------

inline constexpr std::int32_t kDcpMedia = 0x00;     // 1 byte: kDcpMedia* below
inline constexpr std::int32_t kDcpTrackMap = 0x01;  // 1 byte per track t: 1 = stored, 0 = not stored
inline constexpr std::int32_t kDcpTrackMapCount = 160;
inline constexpr std::int32_t kDcpAllTracks = 0xA1;   // 1 byte: 1 = every track stored, the map ignored
inline constexpr std::int32_t kDcpHeaderSize = 0xA2;  // file offset of the first stored track
inline constexpr std::uint8_t kDcpMedia2HD = 0x01;    // 77 x 2 x 8 x 1024: our 1232 KiB volume
inline constexpr std::uint8_t kDcpMedia2HC = 0x02;    // 80 x 2 x 15 x 512
inline constexpr std::uint8_t kDcpMedia2HQ = 0x03;    // 80 x 2 x 18 x 512
inline constexpr std::uint8_t kDcpMedia2DD8 = 0x04;   // 80 x 2 x 8 x 512: our 640 KiB volume
inline constexpr std::uint8_t kDcpMedia2DD9 = 0x05;   // 80 x 2 x 9 x 512: our 720 KiB volume
inline constexpr std::uint8_t kDcpTrackStored = 1;
inline constexpr std::uint8_t kDcpAbsentFill = 0xE5;  // what a track not stored reads as
