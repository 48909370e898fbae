#include "volume/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/loaded_image.h"
#include "tests/support/pattern.h"
#include "tests/support/process.h"
#include "volume/builder.h"

using namespace testing_support;

namespace {

constexpr std::uint8_t kSentinel = 0xAA;
constexpr std::uint8_t kJunk = 0x5A;


// Writes `data` along the chain the file in `slot` was given, as the test sees it.
void overlay(VolumeBuilder& img, int slot, const std::vector<std::uint8_t>& data) {
  const std::size_t cluster_bytes = img.cluster_bytes();
  const std::vector<int> chain = img.chain_of(slot);
  for (std::size_t i = 0; i * cluster_bytes < data.size(); ++i) {
    const std::size_t n = std::min(cluster_bytes, data.size() - i * cluster_bytes);
    std::memcpy(img.volume().data() + img.cluster_offset(chain.at(i)), data.data() + i * cluster_bytes, n);
  }
}

// 720K (clusters of two 512-byte sectors): KEEP.TLK of 1500 bytes in clusters 2 and 3,
// an empty file, and TOWNE.TLK of 3000 bytes scattered backwards over 8, 6, 4. The rest
// of KEEP.TLK's last cluster is junk, so that any byte moved past the file's end shows.
struct Files {
  VolumeBuilder img{kGeometry720};
  std::vector<std::uint8_t> keep = pattern(1, 1500), towne = pattern(2, 3000);
  int keep_slot, empty_slot, towne_slot;
  Files() {
    keep_slot = img.add_file("KEEP.TLK", keep);
    empty_slot = img.add_file("EMPTY.TLK", {});
    towne_slot = img.add_file("TOWNE.TLK", towne, ChainLayout::kScattered);
    std::memset(img.volume().data() + img.cluster_offset(3) + 476, kJunk, 1024 - 476);
  }
  const std::vector<std::uint8_t>& data_of(const std::string& upper) const {
    static const std::vector<std::uint8_t> none;
    return upper == "KEEP.TLK" ? keep : upper == "TOWNE.TLK" ? towne : none;
  }
};

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

TEST(FileSizeTest, SizesAndLookupMessages) {
  Files f;
  LoadedImage l(f.img);
  struct Row {
    const char* name;
    int case_flag;
    std::int32_t expected;
    std::string printed;
  };
  const Row rows[] = {
      {"KEEP.TLK", 1, 1500, ""},
      {"keep.tlk", 1, 1500, ""},
      {"keep.tlk", 0, -1, "can't find 'keep.tlk'\n"},
      {"EMPTY.TLK", 0, 0, ""},
      {"TOWNE.TLK", 1, 3000, ""},
      {"DWELLINGS.TLK", 1, -1, "illegal filename 'DWELLINGS.TLK'\n"},
      {"KEEP.TLKX", 1, -1, "illegal filename 'KEEP.TLKX'\n"},
      {"DIR/KEEP.TLK", 1, -1, "can't find 'DIR/KEEP.TLK'\n"},
      {"", 1, -1, "can't find ''\n"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_file_size(&l.disk, r.name, r.case_flag), r.expected) << r.name; }), r.printed)
        << r.name << " flag " << r.case_flag;
  }
}

TEST(ReadFileTest, CopiesTheFileOrSaysWhyNot) {
  Files f;
  LoadedImage l(f.img);
  struct Row {
    const char* label;
    const char* name;
    std::int32_t length;
    int case_flag;
    int rc;
    std::string printed;
    std::size_t copied;  // bytes of the file expected at the buffer's start
  };
  const Row rows[] = {
      {"exact length", "KEEP.TLK", 1500, 1, 0, "", 1500},
      {"lower case finds the upper-case entry", "keep.tlk", 1500, 1, 0, "", 1500},
      {"lower case, exact comparison", "keep.tlk", 1500, 0, -1, "can't find 'keep.tlk'\n", 0},
      {"buffer one byte short", "KEEP.TLK", 1499, 1, -1, "file size error 'KEEP.TLK' 1500 > 1499\n", 0},
      {"buffer longer: the rest is left alone", "KEEP.TLK", 2048, 1, 0,
       "file size mismatch 'KEEP.TLK' 1500 != 2048 ... ignored\n", 1500},
      {"scattered chain", "TOWNE.TLK", 3000, 1, 0, "", 3000},
      {"empty file, no buffer", "EMPTY.TLK", 0, 1, 0, "", 0},
      {"empty file, larger buffer", "EMPTY.TLK", 16, 1, 0, "file size mismatch 'EMPTY.TLK' 0 != 16 ... ignored\n", 0},
      {"nine-character name", "DWELLINGS.TLK", 16, 1, -1, "illegal filename 'DWELLINGS.TLK'\n", 0},
      {"a slash is no path here", "DIR/KEEP.TLK", 16, 1, -1, "can't find 'DIR/KEEP.TLK'\n", 0},
      {"missing file", "CASTLE.TLK", 16, 1, -1, "can't find 'CASTLE.TLK'\n", 0},
  };
  for (const Row& r : rows) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(r.length) + 1, kSentinel);  // +1: never written
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_read_file(&l.disk, r.name, buffer.data(), r.length, r.case_flag), r.rc) << r.label; }),
              r.printed)
        << r.label;
    std::vector<std::uint8_t> expected(buffer.size(), kSentinel);
    const std::vector<std::uint8_t>& data = f.data_of(upper(r.name));
    std::copy_n(data.begin(), r.copied, expected.begin());
    EXPECT_EQ(buffer, expected) << r.label;
  }
}

TEST(WriteFileTest, OverwritesOnlyTheFileBytes) {
  struct Row {
    const char* label;
    const char* name;
    std::int32_t length;
    int case_flag;
    int rc;
    std::string printed;
    bool written;  // the data reached the image
  };
  const Row rows[] = {
      {"exact size", "KEEP.TLK", 1500, 1, 0, "", true},
      {"lower case finds the upper-case entry", "keep.tlk", 1500, 1, 0, "", true},
      {"scattered chain", "TOWNE.TLK", 3000, 1, 0, "", true},
      {"fewer bytes: the old ones after them stay", "KEEP.TLK", 1000, 1, 0,
       "file size mismatch 'KEEP.TLK' 1500 != 1000 ... ignored\n", true},
      {"no bytes", "KEEP.TLK", 0, 1, 0, "file size mismatch 'KEEP.TLK' 1500 != 0 ... ignored\n", false},
      {"one byte more than the file", "KEEP.TLK", 1501, 1, -1, "file size error 'KEEP.TLK' 1500 < 1501\n", false},
      {"empty file, no bytes", "EMPTY.TLK", 0, 1, 0, "", false},
      {"empty file, some bytes", "EMPTY.TLK", 1, 1, -1, "file size error 'EMPTY.TLK' 0 < 1\n", false},
      {"lower case, exact comparison", "keep.tlk", 1500, 0, -1, "can't find 'keep.tlk'\n", false},
      {"nine-character name", "DWELLINGS.TLK", 1500, 1, -1, "illegal filename 'DWELLINGS.TLK'\n", false},
  };
  for (const Row& r : rows) {
    Files f;
    LoadedImage l(f.img);
    const std::vector<std::uint8_t> data = pattern(9, static_cast<std::size_t>(r.length));
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_write_file(&l.disk, r.name, data.data(), r.length, r.case_flag), r.rc) << r.label; }),
              r.printed)
        << r.label;
    // The whole image as it must be now: directory entries, both FATs, the junk after
    // KEEP.TLK's end and every other file exactly as before.
    VolumeBuilder expected = f.img;
    if (r.written) overlay(expected, upper(r.name) == "KEEP.TLK" ? f.keep_slot : f.towne_slot, data);
    EXPECT_TRUE(l.bytes() == expected.volume()) << r.label;
    if (r.written && r.length == static_cast<std::int32_t>(f.data_of(upper(r.name)).size())) {
      std::vector<std::uint8_t> back(data.size());
      EXPECT_EQ(vol_read_file(&l.disk, r.name, back.data(), r.length, 1), 0) << r.label;
      EXPECT_EQ(back, data) << r.label;
    }
  }
}

// A file's chain broken in one place, read and written: the message names the value met,
// and the bytes moved before it stay moved.
TEST(ChainCopyTest, BrokenChainStopsWithTheValueMet) {
  struct Row {
    const char* label;
    int geometry;
    std::size_t size;
    int broken_cluster;  // -1: the entry's first cluster field; else this FAT entry
    int value;
    std::string printed;
    std::size_t moved;
  };
  const Row rows[] = {
      {"end marker one cluster early", kGeometry720, 1500, 2, 0xFFF, "illegal cluster 0xFFF\n", 1024},
      {"0xFF8 one cluster early", kGeometry720, 1500, 2, 0xFF8, "illegal cluster 0xFF8\n", 1024},
      {"reserved 0xFF0 ends a chain too", kGeometry720, 1500, 2, 0xFF0, "illegal cluster 0xFF0\n", 1024},
      {"free entry inside the chain", kGeometry720, 1500, 2, 0, "illegal cluster 0x0\n", 1024},
      {"reserved cluster 1", kGeometry720, 1500, 2, 1, "illegal cluster 0x1\n", 1024},
      {"first cluster 0 on a non-empty file", kGeometry720, 1500, -1, 0, "illegal cluster 0x0\n", 0},
      {"cluster_count on 720K", kGeometry720, 1500, 2, 713, "can't get sector from cluster 0x2C9\n", 1024},
      {"0xFEF is past every disk's clusters", kGeometry720, 1500, 2, 0xFEF, "can't get sector from cluster 0xFEF\n",
       1024},
      {"640K chain runs into cluster 634", kGeometry640, 3000, 3, 634, "can't get sector from cluster 0x27A\n", 2048},
      {"first cluster is cluster_count", kGeometry640, 3000, -1, 634, "can't get sector from cluster 0x27A\n", 0},
  };
  for (const Row& r : rows) {
    VolumeBuilder img(r.geometry);
    const std::vector<std::uint8_t> old_data = pattern(3, r.size);
    const int slot = img.add_file("KEEP.TLK", old_data);
    if (r.broken_cluster < 0) {
      img.dir_entry(slot)[26] = static_cast<std::uint8_t>(r.value);
      img.dir_entry(slot)[27] = static_cast<std::uint8_t>(r.value >> 8);
    } else {
      img.set_fat(r.broken_cluster, r.value);
    }
    LoadedImage l(img, true);
    const std::int32_t size = static_cast<std::int32_t>(r.size);

    std::vector<std::uint8_t> buffer(r.size, kSentinel);
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_read_file(&l.disk, "keep.tlk", buffer.data(), size, 1), -1) << r.label; }), r.printed)
        << r.label << " (read)";
    std::vector<std::uint8_t> expected(r.size, kSentinel);
    std::copy_n(old_data.begin(), r.moved, expected.begin());
    EXPECT_EQ(buffer, expected) << r.label << " (read)";

    const std::vector<std::uint8_t> new_data = pattern(4, r.size);
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_write_file(&l.disk, "KEEP.TLK", new_data.data(), size, 1), -1) << r.label; }), r.printed)
        << r.label << " (write)";
    VolumeBuilder after = img;
    overlay(after, slot, std::vector<std::uint8_t>(new_data.begin(), new_data.begin() + static_cast<std::ptrdiff_t>(r.moved)));
    EXPECT_TRUE(l.bytes() == after.file(ImageForm::kFdi)) << r.label << " (write)";
  }
}

// A chain that loops back ends all the same: every cluster moves at least one byte, so
// the count of bytes, not the chain, ends the copy. The bytes are those the chain names.
TEST(ChainCopyTest, CyclicChainEndsWithTheBytesItNames) {
  struct Row {
    const char* label;
    int link_from, link_to;
    std::int32_t size_field;
    std::vector<int> clusters_read;  // in order; 1024 bytes each, the last one cut
  };
  const Row rows[] = {
      {"3 -> 2", 3, 2, 3000, {2, 3, 2}},
      {"2 -> 2 with a size far past the chain", 2, 2, 60000, std::vector<int>(59, 2)},
  };
  for (const Row& r : rows) {
    VolumeBuilder img(kGeometry640);
    const std::vector<std::uint8_t> data = pattern(5, 3000);  // clusters 2, 3, 4
    const int slot = img.add_file("KEEP.TLK", data);
    img.set_fat(r.link_from, r.link_to);
    for (int i = 0; i < 4; ++i) img.dir_entry(slot)[28 + i] = static_cast<std::uint8_t>(r.size_field >> (8 * i));
    LoadedImage l(img);

    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(r.size_field));
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_read_file(&l.disk, "KEEP.TLK", buffer.data(), r.size_field, 1), 0) << r.label; }), "")
        << r.label;
    std::vector<std::uint8_t> expected;
    for (int c : r.clusters_read) {
      const std::uint8_t* at = img.volume().data() + img.cluster_offset(c);
      expected.insert(expected.end(), at, at + 1024);
    }
    expected.resize(buffer.size());
    EXPECT_EQ(buffer, expected) << r.label;
  }
}

}  // namespace
