// The patch pass: every target of a PatchSet is read out of the in-memory image into a
// zeroed source buffer, rebuilt by patch_apply into a zeroed target buffer and written
// back over the same clusters. Nothing reaches the disk here. On failure the pass has
// printed its "ERROR: " line and returns -1; the image in memory then holds the targets
// already written back and must not be saved.
#pragma once

#include "patch/sets.h"
#include "volume/image.h"

int patch_pass(DiskImage* disk, const PatchSet& set, const char* input_path, const char* output_path);
