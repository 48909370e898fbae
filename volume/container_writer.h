// Container writers: a raw FAT12 volume wrapped into any image form of container_layout.h.
//
// build_container takes the volume's raw sectors (linear order, as an XDF file holds
// them) and returns a whole image file of the requested form, laid out the way the
// usual tools of each form write it: the same volume in every form, so that tests, the
// sample generator and a converting command can all start from one volume. Options make
// the unusual but legal layouts that readers must cope with.
//
// The result is a new buffer owned by the caller; the volume is only read. An empty
// result means the form cannot hold the geometry (DIP and DIM exist only for 1232 KiB),
// or the options do not fit: a fill sector or absent track whose bytes are not what the
// container would give back, an FDI header shorter than its fields, or an option given
// to a form it does not belong to (each option names its forms). Nothing is printed.
//
// What the writers put in the fields no option sets, as the usual tools write them:
// FDI type 0x90 (2HD) or 0x10 (2DD); D88 media 0x20 or 0x10, records in R order, MFM,
// status 0, the disk named "PARLE"; DIM media 0x00 (2HD); NFD drive mode (PDA) 0x90 or
// 0x10, MFM, ST0 = head << 2, unused slots C H R N = FF; FDD MFM, HD flag 1 for 2HD, the
// data right after the header in table order, unused slots all FF, no special read;
// DCP media 0x01, 0x05 (720 KiB) or 0x04 (640 KiB), the map filled in and the
// all-tracks flag left 0 as DCP tools leave it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "volume/image.h"

struct ContainerOptions {
  std::int32_t fdi_header_size = 4096;      // FDI: header size field and data offset (>= 32)
  bool write_protect = false;               // D88, NFD, FDD: set the container's write-protect switch
  bool d88_shuffle = false;                 // D88: sector records of each track in a fixed scrambled order
  bool d88_second_disk = false;             // D88: a second (different) disk appended after the first
  bool nfd_r1 = false;                      // NFD: revision 1 layout instead of r0
  std::vector<std::int32_t> fill_sectors;   // FDD: these linear sectors stored as fill entries (their bytes
                                            // must be one value repeated, not 0xFF)
  std::vector<std::int32_t> absent_tracks;  // DCP, DIM: tracks t = C*2+H not stored (their bytes must all be
                                            // 0xE5)
};

// Wraps `volume` (the raw sectors of `geometry`, linear order) into a file of `form`.
// Empty result when the form cannot hold the geometry (DIP and DIM: 1232K only) or the
// options don't fit.
// REQUIRES: volume.size() == geometry.data_size, geometry one of kGeometries (otherwise
// the result is empty).
std::vector<std::uint8_t> build_container(std::span<const std::uint8_t> volume, const Geometry& geometry,
                                          ImageForm form, const ContainerOptions& options = {});
