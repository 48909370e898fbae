// Reading and rewriting the contents of root-directory files of a loaded DiskImage.
//
// Files are found by name in the root directory only. Data moves sector by sector
// between the image bytes and the caller's buffer along the file's cluster chain;
// writing changes only the bytes inside the file's sectors, never a directory entry or
// the FAT. Every failure prints one line through err_printf and returns -1.
#pragma once

#include <cstdint>

#include "volume/image.h"

// The size field of the file's entry, or -1.
std::int32_t vol_file_size(const DiskImage* disk, const char* name, int case_flag);
// Copies the whole file (its recorded size) to the start of `buffer`; 0 or -1.
int vol_read_file(const DiskImage* disk, const char* name, std::uint8_t* buffer, std::int32_t buffer_length,
                  int case_flag);
// Copies `data_length` bytes of `data` over the file's contents; 0 or -1.
int vol_write_file(DiskImage* disk, const char* name, const std::uint8_t* data, std::int32_t data_length,
                   int case_flag);
