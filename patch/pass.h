// The patch pass: every target of a PatchSet is read out of the in-memory image into a
// zeroed source buffer, rebuilt by patch_apply into a zeroed target buffer and written
// back over the same clusters, keeping the file's length. Nothing reaches the disk here;
// directory entries and the FAT never change. On failure the pass has printed its
// "ERROR: " line and returns -1 at once (later targets are not tried); the image in
// memory then holds the targets already written back and must not be saved.
#pragma once

#include <cstdint>

#include "patch/sets.h"
#include "volume/image.h"

// The two work buffers, owned by the tool's main routine for the whole run and reused
// for every target; every file of every patch set fits (checked with the sets).
struct PatchBuffers {
  std::uint8_t source[kPatchBufferSize];  // the file as read from the image
  std::uint8_t target[kPatchBufferSize];  // the file as it will be written back
};

// `input_path` and `output_path` name the images in the ERROR lines of the read and the
// write-back step.
int patch_pass(DiskImage* disk, const PatchSet& set, const char* input_path, const char* output_path,
               PatchBuffers* buffers);
