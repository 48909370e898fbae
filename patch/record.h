// Patch records and their interpreter.
//
// A patch is a list of PatchRecords, ended by a record whose mode is '@', that rebuilds
// one file from its old contents. patch_apply runs the list from `source` (the file as
// read from the image) into the distinct buffer `target` (the file as it will be
// written back); it never writes `source`. Every byte a record drops or changes is
// first compared with the byte the patch expects, so a patch refuses a file it was not
// made for. Each record prints one progress line through out_printf before it acts.
#pragma once

#include <cstdint>

struct PatchRecord {
  char mode;             // '@' end, 'a' copy all, 'c' copy, 'e' drop, 'f' change, '!' shift
  std::int32_t src_off;  // offset into the source
  std::int32_t dst_off;  // offset into the target
  std::int32_t length;   // byte count of a copy, or byte length of an offset-table range
  std::int32_t expect;   // the byte the source must hold at src_off ('e', 'f')
  std::int32_t value;    // the new byte ('f'), or the delta added to each entry ('!')
};

// Zeroes the first `length` bytes of `target`, then runs the list; 0 after '@', or -1
// at the first record that fails (earlier records stay applied).
int patch_apply(const PatchRecord* records, std::uint8_t* target, const std::uint8_t* source, std::int32_t length);

// The same run with nothing printed: a failing record only makes the result -1. For
// working out what a list would make of a file without reporting every step.
int patch_apply_quiet(const PatchRecord* records, std::uint8_t* target, const std::uint8_t* source,
                      std::int32_t length);
