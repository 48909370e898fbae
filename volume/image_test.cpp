#include "volume/image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/support/process.h"
#include "volume/builder.h"

using namespace testing_support;

namespace {

bool all_zero(const DiskImage& d) {
  DiskImage zero;
  std::memset(&zero, 0, sizeof zero);
  return std::memcmp(&d, &zero, sizeof d) == 0;
}

struct GeometryCase {
  const char* name;
  int geometry;
  bool fdi;
  std::int32_t sectors_per_track, bytes_per_sector, sectors_per_cluster, cluster_count;
};

const GeometryCase kGeometryCases[] = {
    {"1232K fdi", kGeometry1232, true, 8, 1024, 1, 1221}, {"1232K xdf", kGeometry1232, false, 8, 1024, 1, 1221},
    {"720K fdi", kGeometry720, true, 9, 512, 2, 713},     {"720K xdf", kGeometry720, false, 9, 512, 2, 713},
    {"640K fdi", kGeometry640, true, 8, 512, 2, 634},     {"640K xdf", kGeometry640, false, 8, 512, 2, 634},
};

// vol_open, and vol_open_staged for an output beside the input, which must give the same
// results and messages; a staged load that is not saved leaves nothing in the directory.
struct Loader {
  const char* name;
  bool staged;
  int open(DiskImage* d, const TempDir& dir, const std::string& path, std::int32_t header) const {
    return staged ? vol_open_staged(d, path.c_str(), header, (dir / "out").c_str()) : vol_open(d, path.c_str(), header);
  }
};
constexpr Loader kLoaders[] = {{"vol_open", false}, {"vol_open_staged", true}};

TEST(VolOpenTest, LoadsEveryGeometryWithItsHeaderOffset) {
  TempDir dir;
  for (const Loader& loader : kLoaders) {
  for (const GeometryCase& c : kGeometryCases) {
    SCOPED_TRACE(loader.name);
    const std::vector<std::uint8_t> file = VolumeBuilder(c.geometry).file(c.fdi ? ImageForm::kFdi : ImageForm::kRaw);
    write_file(dir / "disk", file);
    DiskImage d;
    std::string printed =
        capture_stdout([&] { ASSERT_EQ(loader.open(&d, dir, dir / "disk", c.fdi ? kFdiHeaderOffset : 0), 0); });
    EXPECT_EQ(printed, "") << c.name;
    // This file system takes a staged copy: the staged load is the one tested.
    EXPECT_EQ(d.staged != nullptr, loader.staged) << c.name;
    EXPECT_EQ(d.image_size, static_cast<std::int32_t>(file.size())) << c.name;
    EXPECT_EQ(d.sectors_per_track, c.sectors_per_track) << c.name;
    EXPECT_EQ(d.bytes_per_sector, c.bytes_per_sector) << c.name;
    EXPECT_EQ(d.sectors_per_cluster, c.sectors_per_cluster) << c.name;
    EXPECT_EQ(d.cluster_count, c.cluster_count) << c.name;
    EXPECT_EQ(d.cylinders, c.geometry == kGeometry1232 ? 77 : 80) << c.name;
    EXPECT_EQ(0, std::memcmp(d.image, file.data(), file.size())) << c.name;
    vol_free(&d, 0);
    EXPECT_TRUE(all_zero(d)) << c.name;

    // The other header offset makes the length unknown.
    const std::string path = dir / "disk";
    const std::string expect = "unsupported image '" + path + "'\n";
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(loader.open(&d, dir, path, c.fdi ? 0 : kFdiHeaderOffset), -1); }),
              expect)
        << c.name;
    EXPECT_TRUE(all_zero(d)) << c.name;
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"disk"})) << c.name;
  }
  }
}

TEST(VolOpenTest, RefusesLengthsOneByteOffAndFailsEmptyFileAtTheRead) {
  TempDir dir;
  const std::string path = dir / "disk";
  struct Row {
    const char* name;
    std::size_t size;
    std::int32_t header;
    std::string expected;
  };
  const Row rows[] = {
      {"1232K + 1", 0x134000 + 1, 0, "unsupported image '" + path + "'\n"},
      {"1232K - 1", 0x134000 - 1, 0, "unsupported image '" + path + "'\n"},
      {"fdi 1232K + 1", 4096 + 0x134000 + 1, 4096, "unsupported image '" + path + "'\n"},
      {"720K - 1", 0xB4000 - 1, 0, "unsupported image '" + path + "'\n"},
      {"640K + 1", 0xA0000 + 1, 4096, "unsupported image '" + path + "'\n"},
      {"empty", 0, 0, "read error '" + path + "'\n"},
      {"empty, fdi", 0, 4096, "read error '" + path + "'\n"},
  };
  for (const Loader& loader : kLoaders) {
  for (const Row& r : rows) {
    SCOPED_TRACE(loader.name);
    write_file(path, std::vector<std::uint8_t>(r.size, 0));
    DiskImage d;
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(loader.open(&d, dir, path, r.header), -1); }), r.expected) << r.name;
    EXPECT_TRUE(all_zero(d)) << r.name;
    vol_free(&d, 0);  // harmless on an empty record
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"disk"})) << r.name;
  }
  }
}

TEST(VolOpenTest, RefusesAHugeFileWithoutReadingIt) {
  TempDir dir;
  const std::string path = dir / "huge";
  // A sparse file of 4 GiB + 0x134000: its length wraps to a supported one in 32 bits.
  write_file(path, {});
  ASSERT_EQ(truncate(path.c_str(), (1LL << 32) + 0x134000), 0);
  DiskImage d;
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_open(&d, path.c_str(), 0), -1); }), "unsupported image '" + path + "'\n");
  EXPECT_TRUE(all_zero(d));
}

TEST(VolOpenTest, MissingFileIsAnOpenError) {
  DiskImage d;
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_open(&d, "/nonexistent/x.fdi", 4096), -1); }), "open error '/nonexistent/x.fdi'\n");
  EXPECT_TRUE(all_zero(d));
}

TEST(VolDecodeFatTest, DecodesPairsFromTheFirstCopyOnly) {
  TempDir dir;
  VolumeBuilder img(kGeometry640);
  std::uint8_t* fat1 = img.volume().data() + img.sector_offset(1);
  const std::uint8_t head[] = {0xF0, 0xFF, 0xFF, 0x03, 0x40, 0x00};
  std::memcpy(fat1, head, sizeof head);
  // The second copy says something else entirely; it must not matter.
  std::uint8_t* fat2 = img.volume().data() + img.sector_offset(1 + 2);
  std::memset(fat2, 0x77, 6);
  write_file(dir / "d.fdi", img.file(ImageForm::kFdi));
  DiskImage d;
  ASSERT_EQ(vol_open(&d, (dir / "d.fdi").c_str(), 4096), 0);
  EXPECT_EQ(d.fat[0], 0xFF0);
  EXPECT_EQ(d.fat[1], 0xFFF);
  EXPECT_EQ(d.fat[2], 0x003);
  EXPECT_EQ(d.fat[3], 0x004);
  vol_free(&d, 0);
}

TEST(VolDecodeFatTest, AbsentRecordOrImageFailsSilently) {
  DiskImage d;
  std::memset(&d, 0, sizeof d);
  EXPECT_EQ(capture_stdout([&] {
              EXPECT_EQ(vol_decode_fat(nullptr), -1);
              EXPECT_EQ(vol_decode_fat(&d), -1);
            }),
            "");
}

TEST(VolDecodeFatTest, FatTooSmallForTheClusters) {
  DiskImage d;
  std::memset(&d, 0, sizeof d);
  std::uint8_t bytes[2048] = {};
  d.image = bytes;
  d.total_sectors = 2000;
  d.data_start = 11;
  d.sectors_per_cluster = 1;
  d.sectors_per_fat = 1;
  d.bytes_per_sector = 1024;
  d.fat_start = 1;
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_decode_fat(&d), -1); }), "can't calculate FAT size\n");
}

TEST(VolSaveTest, SaveAfterLoadIsByteIdentical) {
  for (const Loader& loader : kLoaders) {
    TempDir dir;
    for (bool fdi : {true, false}) {
      SCOPED_TRACE(loader.name);
      VolumeBuilder img(kGeometry1232);
      const std::uint8_t data[] = {1, 2, 3};
      img.add_file("KEEP.TLK", data);
      const std::vector<std::uint8_t> file = img.file(fdi ? ImageForm::kFdi : ImageForm::kRaw);
      write_file(dir / "in", file);
      DiskImage d;
      ASSERT_EQ(loader.open(&d, dir, dir / "in", fdi ? kFdiHeaderOffset : 0), 0);
      EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_save(&d, (dir / "out").c_str()), 0); }), "");
      EXPECT_EQ(read_file(dir / "out"), file);
      vol_free(&d, 0);
    }
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"in", "out"}));
  }
}

// A loaded image of the smallest geometry, for the save tests: read into memory, or
// staged for the output named `output` in its directory.
struct Loaded {
  TempDir dir;
  VolumeBuilder img{kGeometry640};
  DiskImage disk{};
  Loaded(bool staged, const std::string& output) {
    write_file(dir / "in.xdf", img.volume());
    const std::string in = dir / "in.xdf";
    const int r = staged ? vol_open_staged(&disk, in.c_str(), 0, (dir / output).c_str()) : vol_open(&disk, in.c_str(), 0);
    if (r != 0 || (disk.staged != nullptr) != staged) throw std::runtime_error("load");
  }
  ~Loaded() { vol_free(&disk, 0); }
};

TEST(VolSaveTest, ReplacingKeepsPermissionBitsAndLinks) {
  for (const bool staged : {false, true}) {
    SCOPED_TRACE(staged ? "staged" : "in memory");
    Loaded l(staged, "link.xdf");
    const std::string target = l.dir / "target.xdf";
    write_file(target, {9, 9, 9});
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink("target.xdf", (l.dir / "link.xdf").c_str()), 0);

    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_save(&l.disk, (l.dir / "link.xdf").c_str()), 0); }), "");
    struct stat st;
    ASSERT_EQ(lstat((l.dir / "link.xdf").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(read_file(target), l.img.volume());
    EXPECT_EQ(list_dir(l.dir.path()), (std::vector<std::string>{"in.xdf", "link.xdf", "target.xdf"}));
  }
}

TEST(VolSaveTest, NewFileGetsUmaskMode) {
  for (const bool staged : {false, true}) {
    SCOPED_TRACE(staged ? "staged" : "in memory");
    Loaded l(staged, "new.xdf");
    const mode_t old = umask(022);
    EXPECT_EQ(vol_save(&l.disk, (l.dir / "new.xdf").c_str()), 0);
    umask(old);
    struct stat st;
    ASSERT_EQ(stat((l.dir / "new.xdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
  }
}

TEST(VolSaveTest, FailuresNameTheGivenPath) {
  for (const bool staged : {false, true}) {
    SCOPED_TRACE(staged ? "staged" : "in memory");
    // A staged load made for one output and saved to others: the save still judges
    // the path it is given, and writes the staged bytes wherever the copy cannot go.
    Loaded l(staged, "out.xdf");
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_save(&l.disk, "/nonexistent/dir/out.xdf"), -1); }),
              "open error '/nonexistent/dir/out.xdf'\n");
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_save(&l.disk, l.dir.path().c_str()), -1); }),
              "open error '" + l.dir.path() + "'\n");
    // A device is written in place, and a full one reports the failure.
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_save(&l.disk, "/dev/full"), -1); }), "write error '/dev/full'\n");
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_save(&l.disk, "/dev/null"), 0); }), "");
    EXPECT_EQ(list_dir(l.dir.path()), (std::vector<std::string>{"in.xdf"}));
  }
}

}  // namespace
