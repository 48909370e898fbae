// The sample Wealdmoor disk: a FAT12 volume of our own making that the patch and dump
// tools can be run on, since nobody may ship the real game's disk.
//
// It carries CASTLE.TLK, DWELLING.TLK, KEEP.TLK and TOWNE.TLK in the conversation-file
// layout (npc count, record offsets, end offset, then records scrambled with the key
// 0x3B + record index), filled with invented text: ASCII words, Shift-JIS pairs, control
// codes with their parameter bytes and line ends. The three patched files have exactly
// the sizes the patch revisions expect, hold every byte those revisions verify at its
// place (as stored, that is scrambled), and have their record boundaries where the
// revisions' offset-table shifts need them, so that all three revisions apply cleanly
// and every rebuilt file is again a well-formed conversation file. CASTLE.TLK, which no
// revision touches, has 200 records, so its keys wrap from 0xFF to 0x00, one empty
// record and a gap between its header and its first record.
//
// Everything is generated deterministically: the same build always writes the same
// bytes. The volume also holds a small text file first, and TOWNE.TLK lies on a scattered
// cluster chain while the other files are contiguous.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "volume/builder.h"

namespace sample {

// Key of record `index`: the seed plus the index, as an 8-bit value.
inline constexpr std::uint8_t kTlkXorSeed = 0x3B;
inline constexpr std::uint8_t record_key(int index) { return static_cast<std::uint8_t>(kTlkXorSeed + index); }

struct SampleFile {
  std::string name;                // as written into the root directory
  std::vector<std::uint8_t> data;  // the whole file
  ChainLayout chain;               // how its clusters are laid out
};

// The four conversation files, CASTLE, DWELLING, KEEP, TOWNE, in the order they are
// placed on the disk.
std::vector<SampleFile> sample_files();

// A volume holding the text file and `files` (in that order), in the given geometry.
VolumeBuilder sample_volume(const std::vector<SampleFile>& files, int geometry = kGeometry1232);

// That volume as an image file: FDI (a real 4096-byte FDI header describing the
// geometry, then the sectors) or XDF (the raw sectors alone), the two forms the eight
// programs take.
std::vector<std::uint8_t> sample_image(bool fdi, const std::vector<SampleFile>& files, int geometry = kGeometry1232);

// The sample disk in its two forms, built from sample_files().
inline std::vector<std::uint8_t> sample_fdi() { return sample_image(true, sample_files()); }
inline std::vector<std::uint8_t> sample_xdf() { return sample_image(false, sample_files()); }

// The sample disk in every container form that can hold its 1232 KiB volume, each under
// the file name the build writes it as (K7_Wealdmor.fdi and k7-wealdmoor.xdf, the
// default images of the eight programs, then K7_Wealdmor.d88 and so on).
struct SampleForm {
  ImageForm form;
  const char* file_name;
};
inline constexpr SampleForm kSampleForms[] = {
    {ImageForm::kFdi, "K7_Wealdmor.fdi"}, {ImageForm::kRaw, "k7-wealdmoor.xdf"}, {ImageForm::kD88, "K7_Wealdmor.d88"},
    {ImageForm::kRaw, "K7_Wealdmor.hdm"}, {ImageForm::kDip, "K7_Wealdmor.dip"},  {ImageForm::kDim, "K7_Wealdmor.dim"},
    {ImageForm::kNfd, "K7_Wealdmor.nfd"}, {ImageForm::kFdd, "K7_Wealdmor.fdd"},  {ImageForm::kDcp, "K7_Wealdmor.dcp"},
};

}  // namespace sample
