// Recognising a floppy image's container form from its bytes, and mapping the FAT12
// volume's linear sectors to their places in the file. Internal to the volume library:
// vol_open_any_mem builds a DiskImage from the map.
//
// The form is decided from the content only, never from a file name, in this order:
// NFD, FDD, DIM, D88, DIP, FDI, DCP/DCU, raw sectors, and last an FDI-sized file whose
// 4096-byte header is not a valid FDI header (kept as it is, the sectors behind it used
// raw). The geometry is one of kGeometries and comes from the container itself: its
// media byte or header fields, or the size code and record numbers of its sector IDs.
//
// Every sector of the geometry is located once, at open: a container that stores one
// twice, lacks one it should store, marks one as a read error or deleted data, or whose
// tables, pointers or lengths reach outside the file, overlap each other or do not add up
// to the file's length, is refused as damaged. Nothing outside the `size` input bytes is
// ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "volume/image.h"

struct ContainerMap {
  ImageForm form = ImageForm::kRaw;
  int geometry = -1;             // index into kGeometries
  std::int32_t data_offset = 0;  // file position of sector 0
  bool linear = true;            // sectors lie back to back from data_offset, all stored
  bool write_protected = false;  // the container's own write-protect switch is on
  bool legacy_header = false;    // a 4096-byte header that is no FDI header was skipped
  // When not linear, one element per linear sector of the geometry:
  std::vector<std::int64_t> offsets;  // file position of its data, or -1: not stored
  std::vector<std::uint8_t> fill;     // the byte a sector that is not stored reads as
  std::vector<SectorState> states;    // what a rewrite in place may do
};

// Recognises the `size` bytes at `data` and fills `map`. 0, or -1 after printing one
// line through err_printf that names `name` (the file's path) and what is wrong.
// REQUIRES: size fits a 32-bit signed length.
int container_map(const std::uint8_t* data, std::size_t size, const char* name, ContainerMap* map);
