#include "volume/dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/loaded_image.h"
#include "tests/support/process.h"
#include "volume/builder.h"

using namespace testing_support;

namespace {

// Where a found entry lies in the image bytes; nullopt for none.
std::optional<std::size_t> where(const LoadedImage& l, DirEntry e) {
  if (!e) return std::nullopt;
  return static_cast<std::size_t>(e.raw - l.disk.image);
}

std::size_t slot_at(VolumeBuilder& img, int slot) {
  return static_cast<std::size_t>(img.dir_entry(slot) - img.volume().data());
}

TEST(NameTo83Test, DirectoryForm) {
  struct Row {
    const char* name;
    const char* input;
    const char* expected;  // 11 characters
    int rc;
  };
  const Row rows[] = {
      {"name and extension", "KEEP.TLK", "KEEP    TLK", 0},
      {"eight-character name", "DWELLING.TLK", "DWELLINGTLK", 0},
      {"nine-character name", "DWELLINGS.TLK", "DWELLING   ", -1},
      {"four-character extension", "KEEP.TLKX", "KEEP    TLK", -1},
      {"later dots belong to the extension", "X.Y.Z", "X       Y.Z", 0},
      {"extension only", ".TLK", "        TLK", 0},
      {"no extension", "README", "README     ", 0},
      {"empty name", "", "           ", 0},
      {"case is kept", "keep.tlk", "keep    tlk", 0},
      {"slash is an ordinary character", "DIR/KEEP.TLK", "DIR/KEEPTLK", 0},
      {"first byte 0xE5 is stored as 0x05", "\xE5" "ABC.TLK", "\x05" "ABC    TLK", 0},
      {"0xE5 later is kept", "A\xE5.TLK", "A\xE5      TLK", 0},
  };
  for (const Row& r : rows) {
    char out[12];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(name_to_83(out, r.input), r.rc) << r.name;
    EXPECT_EQ(std::string(out, 11), std::string(r.expected, 11)) << r.name;
    EXPECT_EQ(out[11], '\0') << r.name;
  }
}

TEST(ConversionTest, ClustersSectorsAndTriples) {
  struct Row {
    const char* name;
    int geometry;
    std::int32_t cluster, sector, cylinder, head, track_sector;
  };
  const Row rows[] = {
      {"1232K first cluster", kGeometry1232, 2, 11, 0, 1, 4},
      {"1232K last usable cluster", kGeometry1232, 1220, 1229, 76, 1, 6},
      {"1232K cluster 1", kGeometry1232, 1, -1, 0, 0, 0},
      {"1232K cluster 0", kGeometry1232, 0, -1, 0, 0, 0},
      {"1232K cluster_count", kGeometry1232, 1221, -1, 0, 0, 0},
      {"720K first cluster", kGeometry720, 2, 14, 0, 1, 6},
      {"720K last usable cluster", kGeometry720, 712, 1434, 79, 1, 4},
      {"720K cluster_count", kGeometry720, 713, -1, 0, 0, 0},
      {"640K last usable cluster", kGeometry640, 633, 1274, 79, 1, 3},
      {"640K cluster_count", kGeometry640, 634, -1, 0, 0, 0},
  };
  for (const Row& r : rows) {
    LoadedImage l(VolumeBuilder(r.geometry));
    EXPECT_EQ(vol_cluster_sector(&l.disk, r.cluster), r.sector) << r.name;
    std::int32_t c = -9, h = -9, s = -9;
    vol_cluster_chs(&l.disk, r.cluster, &c, &h, &s);
    EXPECT_EQ(c, r.cylinder) << r.name;
    EXPECT_EQ(h, r.head) << r.name;
    EXPECT_EQ(s, r.track_sector) << r.name;
    if (r.sector < 0) continue;
    // Back again, from every sector of the cluster.
    for (std::int32_t k = 0; k < l.disk.sectors_per_cluster; ++k) {
      std::int32_t within = -9;
      EXPECT_EQ(vol_sector_cluster(&l.disk, r.sector + k, &within), r.cluster) << r.name;
      EXPECT_EQ(within, k) << r.name;
      EXPECT_EQ(vol_chs_cluster(&l.disk, r.cylinder, r.head, r.track_sector + k, &within), r.cluster) << r.name;
      EXPECT_EQ(within, k) << r.name;
    }
    EXPECT_EQ(vol_sector_cluster(&l.disk, r.sector, nullptr), r.cluster) << r.name;
  }
}

TEST(ConversionTest, TripleToClusterGivesTheSectorWithinTheCluster) {
  struct Row {
    const char* name;
    int geometry;
    std::int32_t cylinder, head, sector, cluster, within;
  };
  const Row rows[] = {
      {"1232K 0/1/4", kGeometry1232, 0, 1, 4, 2, 0},
      {"720K 0/1/7 is linear sector 15", kGeometry720, 0, 1, 7, 2, 1},
      {"720K 1/0/1 is linear sector 18", kGeometry720, 1, 0, 1, 4, 0},
  };
  for (const Row& r : rows) {
    LoadedImage l(VolumeBuilder(r.geometry), true);
    std::int32_t within = -9;
    EXPECT_EQ(vol_chs_cluster(&l.disk, r.cylinder, r.head, r.sector, &within), r.cluster) << r.name;
    EXPECT_EQ(within, r.within) << r.name;
  }
}

TEST(FatNextTest, ReturnsTheStoredValueOrMinusOne) {
  VolumeBuilder img(kGeometry1232);
  img.set_fat(5, 0xFF0);
  img.set_fat(1220, 0x123);
  LoadedImage l(img);
  struct Row {
    std::int32_t cluster, expected;
  };
  const Row rows[] = {{-1, -1}, {1221, -1}, {0, 0xFFE}, {1, 0xFFF}, {2, 0}, {5, 0xFF0}, {1220, 0x123}};
  for (const Row& r : rows) EXPECT_EQ(vol_fat_next(&l.disk, r.cluster), r.expected) << "cluster " << r.cluster;
}

TEST(FindEntryTest, RootDirectoryScan) {
  VolumeBuilder img(kGeometry1232);
  // KEEP.TLK's data, in the first sector after the root directory, looks like an entry.
  std::vector<std::uint8_t> keep(100, 0);
  std::memcpy(keep.data(), "BEYOND  TLK", 11);
  const int label = img.add_entry("PARLEDISK  ", 0x08);
  const int file = img.add_file("KEEP.TLK", keep);
  img.add_entry(std::string(11, '\0'), 0);  // free entry
  img.add_entry("\xE5OWNE   TLK", 0x20);    // deleted TOWNE.TLK
  const int late = img.add_file("LATE.TLK", keep);
  const int e5 = img.add_entry("\x05" "ABC    TLK", 0x20);
  const int bracket = img.add_entry("[EEP    TLK", 0x20);
  const int last = img.geometry().root_entries - 1;
  std::memcpy(img.dir_entry(last), "LAST    TLK", 11);
  const std::size_t data_area = img.cluster_offset(2);
  LoadedImage l(img);

  struct Row {
    const char* name;
    const char* name11;
    std::int32_t budget;
    int case_flag;
    std::optional<std::size_t> expected;
  };
  const Row rows[] = {
      {"volume label matches like a file", "PARLEDISK  ", 192, 1, slot_at(img, label)},
      {"file", "KEEP    TLK", 192, 0, slot_at(img, file)},
      {"entry after a free entry", "LATE    TLK", 192, 1, slot_at(img, late)},
      {"deleted entry: its name form never begins with 0xE5", "\x05OWNE   TLK", 192, 1, std::nullopt},
      {"0x05 in the entry stands for 0xE5", "\x05" "ABC    TLK", 192, 1, slot_at(img, e5)},
      {"last root entry with the full budget", "LAST    TLK", 192, 1, slot_at(img, last)},
      {"one entry short of the last", "LAST    TLK", 191, 1, std::nullopt},
      {"budget 0 examines nothing", "PARLEDISK  ", 0, 1, std::nullopt},
      {"negative budget examines nothing", "PARLEDISK  ", -5, 1, std::nullopt},
      {"full budget reads nothing past the root", "BEYOND  TLK", 192, 1, std::nullopt},
      {"a larger budget goes on into the next sector", "BEYOND  TLK", 193, 1, data_area},
      {"huge budget ends at the last sector", "NOWHERE    ", INT32_MAX, 1, std::nullopt},
      {"lower case with the case flag", "keep    tlk", 192, 1, slot_at(img, file)},
      {"lower case, exact comparison", "keep    tlk", 192, 0, std::nullopt},
      {"any non-zero case flag", "kEeP    TlK", 192, 7, slot_at(img, file)},
      {"only letters fold: '[' is not '{'", "{eep    tlk", 192, 1, std::nullopt},
      {"'[' folds to nothing but itself", "[eep    tlk", 192, 1, slot_at(img, bracket)},
  };
  for (const Row& r : rows) {
    for (std::int32_t root : {-1, 0, 1}) {
      EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(where(l, vol_find_entry(&l.disk, root, r.budget, r.name11, r.case_flag)), r.expected) << r.name << ", directory cluster " << root; }), "")
          << r.name;
    }
  }
}

// On 720K and 640K a cluster is two sectors, and the root scan takes the root directory
// two sectors at a time: its seven sectors end in the middle of a pair. The last entries,
// slots 96 to 111 in the seventh sector, must be found all the same, and nothing past
// the 112th entry.
TEST(FindEntryTest, LastRootSlotsOnTheTwoSectorClusterGeometries) {
  for (const int geometry : {kGeometry720, kGeometry640}) {
    VolumeBuilder img(geometry);
    ASSERT_EQ(img.geometry().root_entries, 112);
    char name[12];
    for (int slot = 0; slot < 112; ++slot) {
      std::snprintf(name, sizeof name, "SLOT%03d TLK", slot);
      ASSERT_EQ(img.add_entry(name, 0x20), slot);
    }
    // The first entry after the root directory, in the data area, looks like one too.
    std::memcpy(img.volume().data() + img.cluster_offset(2), "SLOT112 TLK", 11);
    LoadedImage l(img);
    for (int slot = 100; slot < 112; ++slot) {
      std::snprintf(name, sizeof name, "SLOT%03d TLK", slot);
      EXPECT_EQ(where(l, vol_find_entry(&l.disk, 0, 112, name, 1)), slot_at(img, slot))
          << "geometry " << geometry << ", slot " << slot;
    }
    EXPECT_EQ(where(l, vol_find_entry(&l.disk, 0, 112, "SLOT112 TLK", 1)), std::nullopt) << "geometry " << geometry;
  }
}

TEST(FindEntryTest, SubdirectoryChain) {
  // 720K: two 512-byte sectors of 16 entries per cluster. The directory's chain is
  // 10 -> 12 -> (the row's value); DEEP lies in cluster 13, right after 12 on the disk.
  struct Row {
    const char* name;
    const char* name11;
    int after_12;
    std::int32_t budget;
    std::optional<std::pair<int, int>> expected;  // cluster, entry index within it
  };
  const Row rows[] = {
      {"second sector of the first cluster", "NEAR    TLK", 0xFFF, 100, std::pair{10, 16}},
      {"last entry of the second cluster", "MID     TLK", 0xFFF, 100, std::pair{12, 31}},
      {"budget ends one entry before it", "MID     TLK", 0xFFF, 63, std::nullopt},
      {"chain goes on to 13", "DEEP    TLK", 13, 100, std::pair{13, 0}},
      {"0xFFF ends the chain", "DEEP    TLK", 0xFFF, 100, std::nullopt},
      {"0xFF8 ends the chain", "DEEP    TLK", 0xFF8, 100, std::nullopt},
      {"0xFF0 ends the chain", "DEEP    TLK", 0xFF0, 100, std::nullopt},
      {"0xFEF is no cluster of the disk", "DEEP    TLK", 0xFEF, 100, std::nullopt},
      {"free entry ends the chain", "DEEP    TLK", 0, 100, std::nullopt},
      {"cycle back to 10 ends with the budget", "DEEP    TLK", 10, 100000, std::nullopt},
  };
  for (const Row& r : rows) {
    VolumeBuilder img(kGeometry720);
    std::memcpy(img.volume().data() + img.cluster_offset(10) + 16 * 32, "NEAR    TLK", 11);
    std::memcpy(img.volume().data() + img.cluster_offset(12) + 31 * 32, "MID     TLK", 11);
    std::memcpy(img.volume().data() + img.cluster_offset(13), "DEEP    TLK", 11);
    img.set_fat(10, 12);
    img.set_fat(12, r.after_12);
    img.set_fat(13, 0xFFF);
    LoadedImage l(img);
    std::optional<std::size_t> expected;
    if (r.expected) expected = img.cluster_offset(r.expected->first) + static_cast<std::size_t>(r.expected->second) * 32;
    EXPECT_EQ(where(l, vol_find_entry(&l.disk, 10, r.budget, r.name11, 1)), expected) << r.name;
  }
}

TEST(FindEntryTest, UnusableStartingClusterFindsNothing) {
  VolumeBuilder img(kGeometry720);
  std::memcpy(img.volume().data() + img.cluster_offset(2), "KEEP    TLK", 11);
  LoadedImage l(img);
  EXPECT_TRUE(vol_find_entry(&l.disk, 2, 32, "KEEP    TLK", 1));
  EXPECT_FALSE(vol_find_entry(&l.disk, 713, 32, "KEEP    TLK", 1));
}

TEST(WalkPathTest, ResultsAndMessages) {
  VolumeBuilder img(kGeometry1232);
  const std::vector<std::uint8_t> keep(1500, 0x33);
  img.add_file("KEEP.TLK", keep);                    // clusters 2 and 3
  img.add_entry("SUB        ", 0x10, 10, 0);           // a directory as FAT records it: size 0
  img.add_entry("DATA       ", 0x10 | 0x01, 11, 96);   // a directory claiming three entries
  std::uint8_t* data = img.volume().data() + img.cluster_offset(11);
  builder_put_entry(data, ".          ", 0x10, 11, 0);
  builder_put_entry(data + 32, "..         ", 0x10, 0, 0);
  builder_put_entry(data + 64, "INNER      ", 0x10, 12, 0, 0xBF7D, 0x2A21);
  for (int c : {10, 11, 12}) img.set_fat(c, 0xFFF);
  LoadedImage l(img);

  const std::string sub = "DEBUG: SUB         " "         0" " 2025-04-11 12:00:00 ----d- 000A\n";
  const std::string data_line = "DEBUG: DATA        " "        96" " 2025-04-11 12:00:00 r---d- 000B\n";
  const std::string inner = "DEBUG: INNER       " "         0" " 2001-01-01 23:59:58 ----d- 000C\n";
  const std::string keep_line = "DEBUG: KEEP    TLK " "      1500" " 2025-04-11 12:00:00 -----a 0002\n";
  struct Row {
    const char* name;
    const char* path;
    int case_flag;
    int rc;
    std::int32_t cluster, budget;
    std::string printed;
  };
  const Row rows[] = {
      {"absent path", nullptr, 1, 0, 0, 192, ""},
      {"empty path", "", 1, 0, 0, 192, ""},
      {"only slashes", "///", 1, 0, 0, 192, ""},
      {"one directory", "SUB", 1, 0, 10, 0, sub},
      {"empty components do not count", "/SUB//", 1, 0, 10, 0, sub},
      {"lower case with the case flag", "sub", 1, 0, 10, 0,
       "DEBUG: sub         " "         0" " 2025-04-11 12:00:00 ----d- 000A\n"},
      {"lower case, exact comparison", "sub", 0, -1, 0, 192, "can't find 'sub'\n"},
      {"a size-0 directory holds no entries to search", "SUB/KEEP.TLK", 1, -1, 10, 0,
       sub + "can't find 'SUB/KEEP.TLK'\n"},
      {"two levels", "/DATA/INNER", 1, 0, 12, 0, data_line + inner},
      {"a file is not a directory", "KEEP.TLK", 1, -1, 2, 46, keep_line + "'KEEP.TLK' is not directory\n"},
      {"the component as written", "//keep.tlk", 1, -1, 2, 46,
       "DEBUG: keep    tlk " "      1500" " 2025-04-11 12:00:00 -----a 0002\n'keep.tlk' is not directory\n"},
      {"missing", "NOPE", 1, -1, 0, 192, "can't find 'NOPE'\n"},
      {"illegal component names the whole path", "DATA/DWELLINGS.TLK", 1, -1, 11, 3,
       data_line + "illegal filename 'DATA/DWELLINGS.TLK'\n"},
  };
  for (const Row& r : rows) {
    std::int32_t cluster = -9, budget = -9;
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_walk_path(&l.disk, r.path, &cluster, &budget, r.case_flag), r.rc) << r.name; }),
              r.printed)
        << r.name;
    EXPECT_EQ(cluster, r.cluster) << r.name;
    EXPECT_EQ(budget, r.budget) << r.name;
  }
}

TEST(EntryFieldsTest, ValuesAndTexts) {
  struct Row {
    const char* name;
    int date, time;
    std::uint8_t attributes;
    const char *date_text, *time_text, *attr_text;
  };
  const Row rows[] = {
      {"ordinary", 0x2A21, 0xBF7D, 0x21, "2001-01-01", "23:59:58", "r----a"},
      {"all zero", 0, 0, 0, "1980-00-00", "00:00:00", "------"},
      {"all ones: fields are not range-tested", 0xFFFF, 0xFFFF, 0xFF, "2107-15-31", "31:63:62", "rhsvda"},
      {"label and directory", 0x5A8B, 0x6000, 0x18, "2025-04-11", "12:00:00", "---vd-"},
      {"bits 0x40 and 0x80 are not shown", 0x5A8B, 0x6000, 0xC2, "2025-04-11", "12:00:00", "-h----"},
  };
  for (const Row& r : rows) {
    std::uint8_t raw[32];
    builder_put_entry(raw, "KEEP    TLK", r.attributes, 0xFFFF, 0xFFFFFFFFu, r.time, r.date);
    const DirEntry e{raw};
    char date[11], time[9], attr[7];
    std::memset(date, '#', sizeof date);
    std::memset(time, '#', sizeof time);
    std::memset(attr, '#', sizeof attr);
    dent_date_text(date, e);
    dent_time_text(time, e);
    dent_attr_text(attr, e);
    EXPECT_STREQ(date, r.date_text) << r.name;
    EXPECT_STREQ(time, r.time_text) << r.name;
    EXPECT_STREQ(attr, r.attr_text) << r.name;
    EXPECT_EQ(dent_cluster(e), 65535) << r.name;
    EXPECT_EQ(dent_size(e), -1) << r.name;
  }
  std::uint8_t raw[32];
  builder_put_entry(raw, "KEEP    TLK", 0x20, 0x0102, 0x12345678u);
  EXPECT_EQ(dent_cluster(DirEntry{raw}), 0x0102);
  EXPECT_EQ(dent_size(DirEntry{raw}), 0x12345678);
}

}  // namespace
