// The patch sets compiled into the patch tools: for each revision, the conversation
// files it rebuilds, the size each must have, and the record list that rebuilds it.
#pragma once

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

// The three revisions. Each is carried by one FDI tool and one XDF tool.
// (The tables are filled in with the patch interpreter; until then a tool patches
// nothing and saves the image unchanged.)
inline constexpr PatchSet kPatchRevision1{nullptr, 0};
inline constexpr PatchSet kPatchRevision2{nullptr, 0};
inline constexpr PatchSet kPatchRevision3{nullptr, 0};
