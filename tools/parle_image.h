// Loading an image for parle and reading its conversation files, with every failure
// turned into a text that parle prints in a line of its own (nothing is printed here).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "patch/revision.h"
#include "volume/image.h"

// A DiskImage released when it goes.
struct OwnedDisk {
  DiskImage disk{};
  OwnedDisk() = default;
  ~OwnedDisk() { vol_free(&disk, 0); }
  OwnedDisk(const OwnedDisk&) = delete;
  OwnedDisk& operator=(const OwnedDisk&) = delete;
};

// Reads the file at `path` and loads it in whatever container form it has. 0, or -1
// with `error` set to why, without the path ("cannot open: No such file or directory",
// or the volume library's own line) and `disk` empty.
// With `stage_for`, the output the image will be saved as, the image is loaded into a
// staged copy beside it where the system allows (see vol_stage): the same results.
int parle_load(const char* path, DiskImage* disk, std::string* error, const char* stage_for = nullptr);

// One conversation file read out of the root directory.
struct TlkFile {
  std::string name;                // as in tlk_file_names ("KEEP.TLK")
  bool ok = false;                 // read whole
  std::vector<std::uint8_t> data;  // the file's bytes, when ok
  std::string error;               // why not, when !ok ("not found", the library's line)
  std::uint32_t crc32 = 0;         // zlib's CRC-32 of data, when ok
};

// The four conversation files, in the order of tlk_file_names.
// The CRC-32 is left out (0) unless `with_crc`: dump prints none and need not pay for it.
std::vector<TlkFile> read_tlk_files(const DiskImage& disk, bool with_crc = true);

// zlib's CRC-32 of `size` bytes at `bytes`.
std::uint32_t crc32_of(const std::uint8_t* bytes, std::size_t size);

// zlib's CRC-32 of a file's bytes (that of no bytes for a file not read).
std::uint32_t tlk_crc32(const TlkFile& file);

// The views the revision checks take; they point into `files`, which must outlive them.
std::vector<TlkFileData> tlk_file_views(const std::vector<TlkFile>& files);

// A CRC-32 as eight upper-case hexadecimal digits.
std::string crc_text(std::uint32_t crc);
