// The patch sets compiled into the patch tools: for each revision, the conversation
// files it rebuilds, the size each must have, and the record list that rebuilds it.
//
// The expect bytes, and the new bytes of 'f' records, are bytes of the conversation
// files as stored, that is scrambled with their record's key; the tools never
// descramble anything. '!' records shift entries of a file's table of 16-bit record
// offsets after bytes were dropped or inserted in front of the records they point to.
//
// Every list is checked when the tools are built (the static_asserts at the end): it
// ends with its one '@' record, uses only known modes, has its expected number of
// records, leaves the fields its modes do not read at zero, and touches only bytes
// inside the file's length, which itself fits the patch pass's 64 KiB buffers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "patch/record.h"

struct PatchTarget {
  const char* file_name;     // 8.3 name in the root directory, matched ignoring case
  std::int32_t file_length;  // the file's size: read, patched and written back whole
  const PatchRecord* records;
};

struct PatchSet {
  const PatchTarget* targets;
  int target_count;
};

// Bytes in each of the patch pass's source and target buffers.
inline constexpr std::int32_t kPatchBufferSize = 0x10000;

// Sizes of the files as the patches were made for them.
inline constexpr std::int32_t kDwellingLength = 9466;  // 0x24FA
inline constexpr std::int32_t kKeepLength = 22558;     // 0x581E
inline constexpr std::int32_t kTowneLength = 34293;     // 0x85F5

namespace patch_tables {

template <std::size_t A, std::size_t B>
constexpr std::array<PatchRecord, A + B> join(const std::array<PatchRecord, A>& a, const std::array<PatchRecord, B>& b) {
  std::array<PatchRecord, A + B> out{};
  for (std::size_t i = 0; i < A; ++i) out[i] = a[i];
  for (std::size_t i = 0; i < B; ++i) out[A + i] = b[i];
  return out;
}

inline constexpr PatchRecord kEnd{'@', 0x0000, 0x0000, 0, 0, 0};

// DWELLING.TLK, revision 1: three bytes changed in place.
inline constexpr std::array<PatchRecord, 5> kDwellingRev1{{
    {'a', 0x0000, 0x0000, 0, 0, 0},
    {'f', 0x19F8, 0x19F8, 0, 0xD3, 0xDF},
    {'f', 0x19FC, 0x19FC, 0, 0xDB, 0xD8},
    {'f', 0x1A06, 0x1A06, 0, 0xDB, 0xD9},
    kEnd,
}};

// KEEP.TLK, the first 24 records of every revision: ten bytes dropped from the second
// record (so the offsets of record 2 onwards, and the end offset, move down by 10), and
// the ten trailing bytes, which the move leaves duplicated, cleared.
inline constexpr std::array<PatchRecord, 24> kKeepCommon{{
    {'c', 0x0000, 0x0000, 0x0044, 0, 0},
    {'!', 0x0006, 0x0006, 0x003E, 0, -10},
    {'c', 0x0044, 0x0044, 0x0463, 0, 0},
    {'e', 0x04A7, 0x0000, 0, 0x13, 0},
    {'e', 0x04A8, 0x0000, 0, 0x48, 0},
    {'e', 0x04A9, 0x0000, 0, 0x13, 0},
    {'e', 0x04AA, 0x0000, 0, 0x35, 0},
    {'e', 0x04AB, 0x0000, 0, 0x13, 0},
    {'e', 0x04AC, 0x0000, 0, 0x28, 0},
    {'e', 0x04AD, 0x0000, 0, 0x13, 0},
    {'e', 0x04AE, 0x0000, 0, 0x3A, 0},
    {'e', 0x04AF, 0x0000, 0, 0x96, 0},
    {'e', 0x04B0, 0x0000, 0, 0x91, 0},
    {'c', 0x04B1, 0x04A7, 0x536D, 0, 0},
    {'f', 0x5814, 0x5814, 0, 0x2D, 0x00},
    {'f', 0x5815, 0x5815, 0, 0x64, 0x00},
    {'f', 0x5816, 0x5816, 0, 0x8E, 0x00},
    {'f', 0x5817, 0x5817, 0, 0xF2, 0x00},
    {'f', 0x5818, 0x5818, 0, 0xAB, 0x00},
    {'f', 0x5819, 0x5819, 0, 0xAF, 0x00},
    {'f', 0x581A, 0x581A, 0, 0xBF, 0x00},
    {'f', 0x581B, 0x581B, 0, 0xB0, 0x00},
    {'f', 0x581C, 0x581C, 0, 0xEF, 0x00},
    {'f', 0x581D, 0x581D, 0, 0x4F, 0x00},
}};

// KEEP.TLK, revision 2 on top of the common part: one byte inserted at source 0x1911
// and, within the same record, the bytes at 0x1A1D-0x1A1E left out.
inline constexpr std::array<PatchRecord, 4> kKeepRev2Tail{{
    {'f', 0x1911, 0x1907, 0, 0x8C, 0x98},
    {'c', 0x1911, 0x1908, 0x010C, 0, 0},
    {'c', 0x1A1F, 0x1A14, 0x0003, 0, 0},
    kEnd,
}};

// KEEP.TLK, revision 1: as revision 2, with one more byte changed at source 0x175C.
inline constexpr std::array<PatchRecord, 5> kKeepRev1Tail{{
    {'f', 0x175C, 0x1752, 0, 0x8B, 0xBF},
    {'f', 0x1911, 0x1907, 0, 0x8C, 0x98},
    {'c', 0x1911, 0x1908, 0x010C, 0, 0},
    {'c', 0x1A1F, 0x1A14, 0x0003, 0, 0},
    kEnd,
}};

inline constexpr auto kKeepRev1 = join(kKeepCommon, kKeepRev1Tail);
inline constexpr auto kKeepRev2 = join(kKeepCommon, kKeepRev2Tail);
inline constexpr auto kKeepRev3 = join(kKeepCommon, std::array<PatchRecord, 1>{kEnd});

// TOWNE.TLK, revisions 2 and 3: one byte inserted at 0x689D, so the offsets of record
// 37 onwards, and the end offset, move up by 1.
inline constexpr std::array<PatchRecord, 5> kTowneRev23{{
    {'a', 0x0000, 0x0000, 0, 0, 0},
    {'!', 0x004C, 0x004C, 0x0018, 0, +1},
    {'f', 0x689D, 0x689D, 0, 0xFB, 0xB4},
    {'c', 0x689D, 0x689E, 0x1D50, 0, 0},
    kEnd,
}};

// TOWNE.TLK, revision 1: eight bytes dropped from record 14 (offsets of records 15 to
// 36 down by 8), a byte changed in record 15, and one byte inserted at 0x68A5 (offsets
// of record 37 onwards, and the end offset, down by 7 in all).
inline constexpr std::array<PatchRecord, 30> kTowneRev1{{
    {'c', 0x0000, 0x0000, 0x2A4C, 0, 0},
    {'!', 0x0020, 0x0020, 0x002C, 0, -8},
    {'!', 0x004C, 0x004C, 0x0018, 0, -7},
    {'f', 0x2A4C, 0x2A4C, 0, 0x1C, 0x1C},
    {'f', 0x2A4D, 0x2A4D, 0, 0x2F, 0x53},
    {'f', 0x2A4E, 0x2A4E, 0, 0x1C, 0x1C},
    {'f', 0x2A4F, 0x2A4F, 0, 0x58, 0x26},
    {'e', 0x2A50, 0x0000, 0, 0x1C, 0},
    {'e', 0x2A51, 0x0000, 0, 0x50, 0},
    {'c', 0x2A52, 0x2A50, 0x0003, 0, 0},
    {'f', 0x2A55, 0x2A53, 0, 0x1C, 0x1C},
    {'f', 0x2A56, 0x2A54, 0, 0x21, 0x2B},
    {'f', 0x2A57, 0x2A55, 0, 0x1C, 0x1C},
    {'f', 0x2A58, 0x2A56, 0, 0x37, 0x5F},
    {'f', 0x2A59, 0x2A57, 0, 0x1C, 0x1C},
    {'f', 0x2A5A, 0x2A58, 0, 0x79, 0x5A},
    {'c', 0x2A5B, 0x2A59, 0x003F, 0, 0},
    {'e', 0x2A9A, 0x0000, 0, 0x1C, 0},
    {'e', 0x2A9B, 0x0000, 0, 0x33, 0},
    {'e', 0x2A9C, 0x0000, 0, 0x1C, 0},
    {'e', 0x2A9D, 0x0000, 0, 0x56, 0},
    {'e', 0x2A9E, 0x0000, 0, 0x1C, 0},
    {'e', 0x2A9F, 0x0000, 0, 0x77, 0},
    {'c', 0x2AA0, 0x2A98, 0x0090, 0, 0},
    {'f', 0x2B30, 0x2B28, 0, 0xDA, 0xD1},
    {'c', 0x2B31, 0x2B29, 0x3D74, 0, 0},
    {'f', 0x68A5, 0x689D, 0, 0xFB, 0xB4},
    {'c', 0x68A5, 0x689E, 0x1D50, 0, 0},
    {'c', 0x85EE, 0x85EE, 0x0007, 0, 0},
    kEnd,
}};

inline constexpr PatchTarget kRevision1Targets[] = {
    {"DWELLING.TLK", kDwellingLength, kDwellingRev1.data()},
    {"KEEP.TLK", kKeepLength, kKeepRev1.data()},
    {"TOWNE.TLK", kTowneLength, kTowneRev1.data()},
};
inline constexpr PatchTarget kRevision2Targets[] = {
    {"KEEP.TLK", kKeepLength, kKeepRev2.data()},
    {"TOWNE.TLK", kTowneLength, kTowneRev23.data()},
};
inline constexpr PatchTarget kRevision3Targets[] = {
    {"KEEP.TLK", kKeepLength, kKeepRev3.data()},
    {"TOWNE.TLK", kTowneLength, kTowneRev23.data()},
};

}  // namespace patch_tables

// The three revisions. Each is carried by one FDI tool and one XDF tool.
inline constexpr PatchSet kPatchRevision1{patch_tables::kRevision1Targets, 3};
inline constexpr PatchSet kPatchRevision2{patch_tables::kRevision2Targets, 2};
inline constexpr PatchSet kPatchRevision3{patch_tables::kRevision3Targets, 2};

// ---- Build-time checks of the tables ----

namespace patch_tables {

// Number of records up to and including the first '@'. A list without one makes the
// compiler read past its array, which stops the build.
constexpr int record_count(const PatchRecord* r) {
  int n = 1;
  while (r->mode != '@') ++r, ++n;
  return n;
}

constexpr bool is_byte(std::int32_t v) { return v >= 0 && v <= 0xFF; }

// [offset, offset + count) lies inside a file of `length` bytes.
constexpr bool inside(std::int32_t offset, std::int32_t count, std::int32_t length) {
  return offset >= 0 && count >= 0 && offset <= length && count <= length - offset;
}

// One record: a known mode, its fields in range, and the fields it does not read zero
// ('!' repeats its dst_off in src_off).
constexpr bool record_ok(const PatchRecord& r, std::int32_t length) {
  switch (r.mode) {
    case '@':
    case 'a':
      return r.src_off == 0 && r.dst_off == 0 && r.length == 0 && r.expect == 0 && r.value == 0;
    case 'c':
      return inside(r.src_off, r.length, length) && inside(r.dst_off, r.length, length) && r.expect == 0 &&
             r.value == 0;
    case 'e':
      return inside(r.src_off, 1, length) && is_byte(r.expect) && r.dst_off == 0 && r.length == 0 && r.value == 0;
    case 'f':
      return inside(r.src_off, 1, length) && inside(r.dst_off, 1, length) && is_byte(r.expect) &&
             is_byte(r.value) && r.length == 0;
    case '!':
      // Entries are 16-bit: an odd length would take in the byte after the range.
      return r.src_off == r.dst_off && r.length % 2 == 0 && inside(r.dst_off, r.length, length) && r.expect == 0;
    default:
      return false;
  }
}

constexpr bool target_ok(const PatchTarget& t) {
  if (t.file_length <= 0 || t.file_length > kPatchBufferSize) return false;
  const PatchRecord* r = t.records;
  for (; r->mode != '@'; ++r) {
    if (!record_ok(*r, t.file_length)) return false;
  }
  return record_ok(*r, t.file_length);
}

constexpr bool set_ok(const PatchSet& s) {
  for (int i = 0; i < s.target_count; ++i) {
    if (!target_ok(s.targets[i])) return false;
  }
  return true;
}

}  // namespace patch_tables

static_assert(patch_tables::set_ok(kPatchRevision1), "revision 1: a record leaves its file or is malformed");
static_assert(patch_tables::set_ok(kPatchRevision2), "revision 2: a record leaves its file or is malformed");
static_assert(patch_tables::set_ok(kPatchRevision3), "revision 3: a record leaves its file or is malformed");

static_assert(kPatchRevision1.target_count == 3 && kPatchRevision2.target_count == 2 &&
              kPatchRevision3.target_count == 2);
static_assert(patch_tables::record_count(kPatchRevision1.targets[0].records) == 5);
static_assert(patch_tables::record_count(kPatchRevision1.targets[1].records) == 29);
static_assert(patch_tables::record_count(kPatchRevision1.targets[2].records) == 30);
static_assert(patch_tables::record_count(kPatchRevision2.targets[0].records) == 28);
static_assert(patch_tables::record_count(kPatchRevision2.targets[1].records) == 5);
static_assert(patch_tables::record_count(kPatchRevision3.targets[0].records) == 25);
static_assert(patch_tables::record_count(kPatchRevision3.targets[1].records) == 5);
// The one '@' of each list is its last element.
static_assert(patch_tables::record_count(patch_tables::kDwellingRev1.data()) == patch_tables::kDwellingRev1.size());
static_assert(patch_tables::record_count(patch_tables::kKeepRev1.data()) == patch_tables::kKeepRev1.size());
static_assert(patch_tables::record_count(patch_tables::kKeepRev2.data()) == patch_tables::kKeepRev2.size());
static_assert(patch_tables::record_count(patch_tables::kKeepRev3.data()) == patch_tables::kKeepRev3.size());
static_assert(patch_tables::record_count(patch_tables::kTowneRev1.data()) == patch_tables::kTowneRev1.size());
static_assert(patch_tables::record_count(patch_tables::kTowneRev23.data()) == patch_tables::kTowneRev23.size());
