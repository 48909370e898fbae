// The container writers against MAME's floptool: every image the builder makes, in every
// form and geometry floptool reads, converted by floptool to raw sectors, must be the
// volume byte for byte. The raw writer must fit the geometry: xdf for 1232 KiB; for
// 720 KiB pyldin (the FDI, NFD, FDD and DCP loaders always build high-density tracks)
// or pc (D88 follows its media byte and builds double-density ones); for 640 KiB only a
// double-density D88 has a fitting raw writer (mm1). Where floptool's reading differs
// from the form's other readers (DCP map and DIM flags ignored), the row says what
// floptool makes of the file instead. Layout fields are also checked against the
// published tables of each form, written out here as plain numbers.
#include "volume/container_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/pattern.h"
#include "tests/support/process.h"
#include "volume/builder.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Tracks t = C * 2 + H left out of DCP and DIM files, and linear sectors stored as FDD
// fill entries, in rows that ask for them. All lie in the data area on every geometry.
constexpr std::int32_t kAbsentTracks[] = {40, 101};
constexpr std::int32_t kFillSectors[] = {200, 201};
constexpr std::uint8_t kFillBytes[] = {0x00, 0x5A};


// A FAT12 volume whose data area is one file of distinct bytes, so that a sector in the
// wrong place shows, with two tracks of 0xE5 (what a formatter leaves) and two sectors
// of one byte repeated, as the absent-track and fill-sector rows need.
Bytes test_volume(int geometry) {
  VolumeBuilder v(geometry);
  const Geometry& g = v.geometry();
  const std::size_t data_bytes = static_cast<std::size_t>(g.total_sectors - g.data_start - 2 * g.sectors_per_cluster) *
                                 static_cast<std::size_t>(g.bytes_per_sector);
  v.add_file("DATA.BIN", pattern(static_cast<std::uint32_t>(geometry), data_bytes));
  Bytes volume = v.volume();
  const auto track_bytes = static_cast<std::size_t>(g.sectors_per_track * g.bytes_per_sector);
  for (const std::int32_t t : kAbsentTracks) {
    std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(t) * track_bytes), track_bytes,
                0xE5);
  }
  for (std::size_t i = 0; i < std::size(kFillSectors); ++i) {
    const auto at = static_cast<std::size_t>(kFillSectors[i]) * static_cast<std::size_t>(g.bytes_per_sector);
    std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(at), g.bytes_per_sector, kFillBytes[i]);
  }
  return volume;
}

const Bytes& volume_of(int geometry) {
  static const Bytes volumes[] = {test_volume(kGeometry1232), test_volume(kGeometry720), test_volume(kGeometry640)};
  return volumes[geometry];
}

ContainerOptions fdi_header(std::int32_t size) {
  ContainerOptions o;
  o.fdi_header_size = size;
  return o;
}
ContainerOptions shuffled(bool second_disk = false) {
  ContainerOptions o;
  o.d88_shuffle = true;
  o.d88_second_disk = second_disk;
  return o;
}
ContainerOptions protected_() {
  ContainerOptions o;
  o.write_protect = true;
  return o;
}
ContainerOptions nfd_r1(bool write_protect = false) {
  ContainerOptions o;
  o.nfd_r1 = true;
  o.write_protect = write_protect;
  return o;
}
ContainerOptions fill_sectors() {
  ContainerOptions o;
  o.fill_sectors.assign(std::begin(kFillSectors), std::end(kFillSectors));
  return o;
}
ContainerOptions absent_tracks() {
  ContainerOptions o;
  o.absent_tracks.assign(std::begin(kAbsentTracks), std::end(kAbsentTracks));
  return o;
}

// What floptool's raw output must be.
enum class Expect {
  kVolume,          // the volume itself
  kStoredTracks,    // floptool ignores the DCP map and the DIM flags (verified): it reads the
                    // stored tracks back to back, and the tracks after them are unreadable
  kInvertedVolume,  // the second disk of a two-disk D88 file, every byte inverted
};

struct Row {
  const char* label;
  int geometry;
  ImageForm form;
  ContainerOptions options;
  const char* reader;  // floptool's name of the form
  const char* writer;  // floptool's raw writer that fits the geometry
  Expect expect = Expect::kVolume;
};

std::vector<Row> rows() {
  return {
      {"1232K raw", kGeometry1232, ImageForm::kRaw, {}, "xdf", "xdf"},
      {"1232K fdi", kGeometry1232, ImageForm::kFdi, {}, "pc98_fdi", "xdf"},
      {"1232K fdi, 32-byte header", kGeometry1232, ImageForm::kFdi, fdi_header(32), "pc98_fdi", "xdf"},
      {"1232K fdi, 256-byte header (the DIP size)", kGeometry1232, ImageForm::kFdi, fdi_header(256), "pc98_fdi", "xdf"},
      {"1232K fdi, 8192-byte header", kGeometry1232, ImageForm::kFdi, fdi_header(8192), "pc98_fdi", "xdf"},
      {"1232K dip", kGeometry1232, ImageForm::kDip, {}, "dip", "xdf"},
      {"1232K d88", kGeometry1232, ImageForm::kD88, {}, "d88", "xdf"},
      {"1232K d88, shuffled", kGeometry1232, ImageForm::kD88, shuffled(), "d88", "xdf"},
      {"1232K d88, write protected", kGeometry1232, ImageForm::kD88, protected_(), "d88", "xdf"},
      {"1232K d88, two disks: the first", kGeometry1232, ImageForm::kD88, shuffled(true), "d88", "xdf"},
      {"1232K d88, two disks: the second", kGeometry1232, ImageForm::kD88, shuffled(true), "d88", "xdf",
       Expect::kInvertedVolume},
      {"1232K dim", kGeometry1232, ImageForm::kDim, {}, "dim", "xdf"},
      {"1232K dim, absent tracks", kGeometry1232, ImageForm::kDim, absent_tracks(), "dim", "xdf", Expect::kStoredTracks},
      {"1232K nfd r0", kGeometry1232, ImageForm::kNfd, {}, "nfd", "xdf"},
      {"1232K nfd r0, write protected", kGeometry1232, ImageForm::kNfd, protected_(), "nfd", "xdf"},
      {"1232K nfd r1", kGeometry1232, ImageForm::kNfd, nfd_r1(), "nfd", "xdf"},
      {"1232K nfd r1, write protected", kGeometry1232, ImageForm::kNfd, nfd_r1(true), "nfd", "xdf"},
      {"1232K fdd", kGeometry1232, ImageForm::kFdd, {}, "fdd", "xdf"},
      {"1232K fdd, fill sectors", kGeometry1232, ImageForm::kFdd, fill_sectors(), "fdd", "xdf"},
      {"1232K fdd, write protected", kGeometry1232, ImageForm::kFdd, protected_(), "fdd", "xdf"},
      {"1232K dcp", kGeometry1232, ImageForm::kDcp, {}, "dcx", "xdf"},
      {"1232K dcp, absent tracks", kGeometry1232, ImageForm::kDcp, absent_tracks(), "dcx", "xdf", Expect::kStoredTracks},

      {"720K fdi", kGeometry720, ImageForm::kFdi, {}, "pc98_fdi", "pyldin"},
      {"720K fdi, 256-byte header", kGeometry720, ImageForm::kFdi, fdi_header(256), "pc98_fdi", "pyldin"},
      {"720K d88", kGeometry720, ImageForm::kD88, {}, "d88", "pc"},
      {"720K d88, shuffled", kGeometry720, ImageForm::kD88, shuffled(), "d88", "pc"},
      {"720K d88, write protected", kGeometry720, ImageForm::kD88, protected_(), "d88", "pc"},
      {"720K d88, two disks: the first", kGeometry720, ImageForm::kD88, shuffled(true), "d88", "pc"},
      {"720K d88, two disks: the second", kGeometry720, ImageForm::kD88, shuffled(true), "d88", "pc",
       Expect::kInvertedVolume},
      {"720K nfd r0", kGeometry720, ImageForm::kNfd, {}, "nfd", "pyldin"},
      {"720K nfd r1", kGeometry720, ImageForm::kNfd, nfd_r1(), "nfd", "pyldin"},
      {"720K fdd", kGeometry720, ImageForm::kFdd, {}, "fdd", "pyldin"},
      {"720K fdd, fill sectors", kGeometry720, ImageForm::kFdd, fill_sectors(), "fdd", "pyldin"},
      {"720K dcp", kGeometry720, ImageForm::kDcp, {}, "dcx", "pyldin"},
      {"720K dcp, absent tracks", kGeometry720, ImageForm::kDcp, absent_tracks(), "dcx", "pyldin", Expect::kStoredTracks},

      {"640K d88", kGeometry640, ImageForm::kD88, {}, "d88", "mm1"},
      {"640K d88, shuffled", kGeometry640, ImageForm::kD88, shuffled(), "d88", "mm1"},
      {"640K d88, two disks: the first", kGeometry640, ImageForm::kD88, shuffled(true), "d88", "mm1"},
      {"640K d88, two disks: the second", kGeometry640, ImageForm::kD88, shuffled(true), "d88", "mm1",
       Expect::kInvertedVolume},
  };
}

// The volume as floptool reads a file whose tracks in kAbsentTracks are left out: the
// others back to back, then unreadable tracks, which its raw writers give as 0xFF.
Bytes stored_tracks(const Bytes& volume, const Geometry& g) {
  const auto track_bytes = static_cast<std::size_t>(g.sectors_per_track * g.bytes_per_sector);
  Bytes out;
  for (std::int32_t t = 0; t < g.cylinders * g.heads; ++t) {
    if (std::find(std::begin(kAbsentTracks), std::end(kAbsentTracks), t) != std::end(kAbsentTracks)) continue;
    const auto from = volume.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(t) * track_bytes);
    out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(track_bytes));
  }
  out.resize(volume.size(), 0xFF);
  return out;
}

class FloptoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (floptool_.empty()) GTEST_SKIP() << "floptool (package mame-tools) not found";
  }

  // floptool flopconvert on `file`, under a time limit since it can spin on input it
  // dislikes; the raw sectors it writes, or the reason there are none.
  Bytes convert(const Bytes& file, const char* reader, const char* writer, std::string* failure) {
    const std::string in = dir_ / "in.img";
    const std::string out = dir_ / "out.raw";
    write_file(in, file);
    std::remove(out.c_str());
    const RunResult r = run_program(timeout_, {"60", floptool_, "flopconvert", reader, writer, in, out});
    if (r.status != 0 || !file_exists(out)) {
      *failure = "floptool status " + std::to_string(r.status) + ": " + r.out + r.err;
      return {};
    }
    return read_file(out);
  }

  void run_rows(int geometry) {
    for (const Row& row : rows()) {
      if (row.geometry != geometry) continue;
      SCOPED_TRACE(row.label);
      const Geometry& g = kGeometries[geometry];
      const Bytes& volume = volume_of(geometry);
      Bytes file = build_container(volume, g, row.form, row.options);
      ASSERT_FALSE(file.empty()) << "row: " << row.label;
      Bytes expected = volume;
      if (row.expect == Expect::kStoredTracks) expected = stored_tracks(volume, g);
      if (row.expect == Expect::kInvertedVolume) {
        // Each disk's size field leads to the next: floptool is given the second alone.
        const std::size_t first = static_cast<std::size_t>(file[0x1C]) | (static_cast<std::size_t>(file[0x1D]) << 8) |
                                  (static_cast<std::size_t>(file[0x1E]) << 16);
        ASSERT_LT(first, file.size()) << "row: " << row.label;
        file.erase(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(first));
        for (std::uint8_t& b : expected) b = static_cast<std::uint8_t>(~b);
      }
      std::string failure;
      const Bytes raw = convert(file, row.reader, row.writer, &failure);
      ASSERT_EQ(failure, "") << "row: " << row.label;
      ASSERT_EQ(raw.size(), expected.size()) << "row: " << row.label;
      const auto diff = std::mismatch(raw.begin(), raw.end(), expected.begin());
      EXPECT_TRUE(diff.first == raw.end()) << "row: " << row.label << ": first difference at raw offset "
                                           << (diff.first - raw.begin());
    }
  }

  std::string floptool_ = find_tool("floptool");
  std::string timeout_ = find_tool("timeout");
  TempDir dir_;
};

TEST_F(FloptoolTest, Every1232KImageReadsAsTheVolume) { run_rows(kGeometry1232); }
TEST_F(FloptoolTest, Every720KImageReadsAsTheVolume) { run_rows(kGeometry720); }
TEST_F(FloptoolTest, Every640KD88ReadsAsTheVolume) { run_rows(kGeometry640); }

// Fields of each form's header and records as the form's published tables give them
// for our geometries (offsets and values written out here, not taken from the layout
// header), and the data of the first sector where the table says it lies.
struct Field {
  const char* label;
  int geometry;
  ImageForm form;
  std::size_t offset;
  Bytes bytes;
};

const Field kFields[] = {
    // FDI: reserved 0, type, header size, data size, bytes/sector, sectors, heads, cylinders.
    {"fdi 1232K header", kGeometry1232, ImageForm::kFdi, 0x00,
     {0, 0, 0, 0, 0x90, 0, 0, 0, 0x00, 0x10, 0, 0, 0x00, 0x40, 0x13, 0x00, 0x00, 0x04, 0, 0, 8, 0, 0, 0, 2, 0, 0, 0,
      77, 0, 0, 0}},
    {"fdi 720K header", kGeometry720, ImageForm::kFdi, 0x00,
     {0, 0, 0, 0, 0x10, 0, 0, 0, 0x00, 0x10, 0, 0, 0x00, 0x40, 0x0B, 0x00, 0x00, 0x02, 0, 0, 9, 0, 0, 0, 2, 0, 0, 0,
      80, 0, 0, 0}},
    {"fdi 640K header", kGeometry640, ImageForm::kFdi, 0x00,
     {0, 0, 0, 0, 0x10, 0, 0, 0, 0x00, 0x10, 0, 0, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x02, 0, 0, 8, 0, 0, 0, 2, 0, 0, 0,
      80, 0, 0, 0}},
    {"dip magic", kGeometry1232, ImageForm::kDip, 0x00, {0x01, 0x08, 0x00, 0x13, 0x41, 0x00, 0x01, 0x00}},
    // D88: media byte and disk size; track 0 at 0x2B0; its first record C H R N, count 8,
    // MFM, not deleted, status 0, 1024 bytes of data.
    {"d88 1232K media and size", kGeometry1232, ImageForm::kD88, 0x1B, {0x20, 0xB0, 0x8F, 0x13, 0x00}},
    {"d88 1232K first track", kGeometry1232, ImageForm::kD88, 0x20, {0xB0, 0x02, 0x00, 0x00}},
    {"d88 1232K first record", kGeometry1232, ImageForm::kD88, 0x2B0,
     {0, 0, 1, 3, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x04}},
    {"d88 720K media", kGeometry720, ImageForm::kD88, 0x1B, {0x10}},
    {"d88 720K first record", kGeometry720, ImageForm::kD88, 0x2B0, {0, 0, 1, 2, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x02}},
    {"d88 640K media", kGeometry640, ImageForm::kD88, 0x1B, {0x10}},
    // DIM: media 0x00 (2HD), flags of tracks 0 and 153 set and 154 clear, the signature.
    {"dim media and first flag", kGeometry1232, ImageForm::kDim, 0x00, {0x00, 0x01}},
    {"dim last flags", kGeometry1232, ImageForm::kDim, 0x01 + 153, {0x01, 0x00}},
    {"dim signature", kGeometry1232, ImageForm::kDim, 0xAB,
     {'D', 'I', 'F', 'C', ' ', 'H', 'E', 'A', 'D', 'E', 'R', ' ', ' ', 0, 0}},
    // NFD r0: the header size 0x10A10, then the first entry: C H R N, MFM, DDAM 0,
    // status 0, ST0, ST1, ST2, PDA (0x90 for 2HD, 0x10 for 2DD).
    {"nfd r0 1232K header size", kGeometry1232, ImageForm::kNfd, 0x110, {0x10, 0x0A, 0x01, 0x00, 0x00, 0x02}},
    {"nfd r0 1232K first entry", kGeometry1232, ImageForm::kNfd, 0x120, {0, 0, 1, 3, 1, 0, 0, 0, 0, 0, 0x90}},
    {"nfd r0 1232K head 1", kGeometry1232, ImageForm::kNfd, 0x120 + 26 * 16, {0, 1, 1, 3, 1, 0, 0, 4, 0, 0, 0x90}},
    {"nfd r0 720K first entry", kGeometry720, ImageForm::kNfd, 0x120, {0, 0, 1, 2, 1, 0, 0, 0, 0, 0, 0x10}},
    {"nfd r0 640K first entry", kGeometry640, ImageForm::kNfd, 0x120, {0, 0, 1, 2, 1, 0, 0, 0, 0, 0, 0x10}},
    {"nfd r0 1232K unused slot", kGeometry1232, ImageForm::kNfd, 0x120 + 8 * 16, {0xFF}},
    // FDD: the version, then the first entry: C H R N, fill 0xFF (stored), DDAM 0, MFM
    // 1, HD flag, data pointer 0xC3FC.
    {"fdd version", kGeometry1232, ImageForm::kFdd, 0x00, {'V', 'F', 'D', '1', '.', '0', '0', 0}},
    {"fdd 1232K first entry", kGeometry1232, ImageForm::kFdd, 0xDC, {0, 0, 1, 3, 0xFF, 0, 1, 1, 0xFC, 0xC3, 0, 0}},
    {"fdd 720K first entry", kGeometry720, ImageForm::kFdd, 0xDC, {0, 0, 1, 2, 0xFF, 0, 1, 0, 0xFC, 0xC3, 0, 0}},
    {"fdd 640K first entry", kGeometry640, ImageForm::kFdd, 0xDC, {0, 0, 1, 2, 0xFF, 0, 1, 0, 0xFC, 0xC3, 0, 0}},
    {"fdd 1232K unused slot", kGeometry1232, ImageForm::kFdd, 0xDC + 8 * 12, {0xFF}},
    // DCP: media 0x01, 0x05, 0x04; the map; the all-tracks flag left 0.
    {"dcp 1232K media and map", kGeometry1232, ImageForm::kDcp, 0x00, {0x01, 0x01}},
    {"dcp 1232K map end", kGeometry1232, ImageForm::kDcp, 0x01 + 153, {0x01, 0x00}},
    {"dcp 1232K all-tracks flag", kGeometry1232, ImageForm::kDcp, 0xA1, {0x00}},
    {"dcp 720K media", kGeometry720, ImageForm::kDcp, 0x00, {0x05}},
    {"dcp 640K media and map end", kGeometry640, ImageForm::kDcp, 0x00, {0x04}},
    {"dcp 640K map end", kGeometry640, ImageForm::kDcp, 0x01 + 159, {0x01, 0x00}},
};

// Where the first sector's data lies in each form (header size, or first record + 16).
struct DataStart {
  ImageForm form;
  int geometry;
  std::size_t offset;
};
const DataStart kDataStarts[] = {
    {ImageForm::kRaw, kGeometry1232, 0},         {ImageForm::kFdi, kGeometry1232, 4096},
    {ImageForm::kDip, kGeometry1232, 0x100},     {ImageForm::kD88, kGeometry1232, 0x2B0 + 16},
    {ImageForm::kDim, kGeometry1232, 0x100},     {ImageForm::kNfd, kGeometry1232, 0x10A10},
    {ImageForm::kFdd, kGeometry1232, 0xC3FC},    {ImageForm::kDcp, kGeometry1232, 0xA2},
    {ImageForm::kFdi, kGeometry640, 4096},       {ImageForm::kNfd, kGeometry640, 0x10A10},
    {ImageForm::kFdd, kGeometry640, 0xC3FC},     {ImageForm::kDcp, kGeometry640, 0xA2},
    {ImageForm::kD88, kGeometry640, 0x2B0 + 16},
};

TEST(ContainerLayoutTest, HeaderFieldsAreThoseOfEachFormsTables) {
  for (const Field& f : kFields) {
    const Bytes file = build_container(volume_of(f.geometry), kGeometries[f.geometry], f.form);
    ASSERT_GE(file.size(), f.offset + f.bytes.size()) << "row: " << f.label;
    EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(f.offset),
                    file.begin() + static_cast<std::ptrdiff_t>(f.offset + f.bytes.size())),
              f.bytes)
        << "row: " << f.label;
  }
  for (const DataStart& d : kDataStarts) {
    const Bytes& volume = volume_of(d.geometry);
    const Bytes file = build_container(volume, kGeometries[d.geometry], d.form);
    const std::size_t n = static_cast<std::size_t>(kGeometries[d.geometry].bytes_per_sector);
    ASSERT_GE(file.size(), d.offset + n) << vol_form_name(d.form);
    EXPECT_TRUE(std::equal(volume.begin(), volume.begin() + static_cast<std::ptrdiff_t>(n),
                           file.begin() + static_cast<std::ptrdiff_t>(d.offset)))
        << vol_form_name(d.form) << " geometry " << d.geometry;
  }
}

// The file sizes the forms' size rules give: header plus data, D88 records of 16 + 1024
// bytes, NFD r1 tables of 16 + 16 bytes per sector.
TEST(ContainerLayoutTest, FileSizesFollowTheSizeRules) {
  struct Size {
    const char* label;
    int geometry;
    ImageForm form;
    ContainerOptions options;
    std::size_t size;
  };
  const Size sizes[] = {
      {"raw 640K", kGeometry640, ImageForm::kRaw, {}, 0xA0000},
      {"fdi 1232K", kGeometry1232, ImageForm::kFdi, {}, 4096 + 0x134000},
      {"fdi 1232K, 256-byte header", kGeometry1232, ImageForm::kFdi, fdi_header(256), 0x134100},
      {"dip", kGeometry1232, ImageForm::kDip, {}, 0x134100},
      {"dim, every track", kGeometry1232, ImageForm::kDim, {}, 0x134100},
      {"dim, two tracks absent", kGeometry1232, ImageForm::kDim, absent_tracks(), 0x100 + 152 * 8192},
      {"d88 1232K", kGeometry1232, ImageForm::kD88, {}, 0x2B0 + 1232 * (16 + 1024)},
      {"d88 720K, two disks", kGeometry720, ImageForm::kD88, shuffled(true), 2 * (0x2B0 + 1440 * (16 + 512))},
      {"nfd r0 720K", kGeometry720, ImageForm::kNfd, {}, 0x10A10 + 0xB4000},
      {"nfd r1 1232K", kGeometry1232, ImageForm::kNfd, nfd_r1(), 0x3C0 + 154 * (16 + 8 * 16) + 0x134000},
      {"fdd 1232K", kGeometry1232, ImageForm::kFdd, {}, 0xC3FC + 0x134000},
      {"fdd 1232K, two fill sectors", kGeometry1232, ImageForm::kFdd, fill_sectors(), 0xC3FC + 0x134000 - 2 * 1024},
      {"dcp 720K", kGeometry720, ImageForm::kDcp, {}, 0xA2 + 0xB4000},
      {"dcp 640K, two tracks absent", kGeometry640, ImageForm::kDcp, absent_tracks(), 0xA2 + 0xA0000 - 2 * 4096},
  };
  for (const Size& s : sizes) {
    EXPECT_EQ(build_container(volume_of(s.geometry), kGeometries[s.geometry], s.form, s.options).size(), s.size)
        << "row: " << s.label;
  }
}

// Forms that cannot hold the geometry, and options the volume or the form cannot honour,
// give no file at all rather than a different one.
TEST(ContainerLayoutTest, RefusesWhatTheFormCannotHold) {
  Bytes mixed = volume_of(kGeometry1232);  // a fill sector that is not one byte repeated
  mixed[static_cast<std::size_t>(kFillSectors[0]) * 1024 + 5] ^= 1;
  Bytes all_ff = volume_of(kGeometry1232);  // 0xFF repeated means "stored" in an FDD entry
  std::fill_n(all_ff.begin() + kFillSectors[0] * 1024, 1024, 0xFF);
  Bytes live_track = volume_of(kGeometry1232);  // an absent track with data on it
  live_track[static_cast<std::size_t>(kAbsentTracks[1]) * 8192 + 100] = 0x00;
  ContainerOptions one_fill;
  one_fill.fill_sectors = {kFillSectors[0]};
  ContainerOptions past_end;
  past_end.fill_sectors = {1232};
  ContainerOptions track_past_end;
  track_past_end.absent_tracks = {154};
  struct Refusal {
    const char* label;
    const Bytes* volume;
    int geometry;
    ImageForm form;
    ContainerOptions options;
  };
  const Bytes& v720 = volume_of(kGeometry720);
  const Bytes& v640 = volume_of(kGeometry640);
  const Bytes& v1232 = volume_of(kGeometry1232);
  const Refusal refusals[] = {
      {"dip 720K", &v720, kGeometry720, ImageForm::kDip, {}},
      {"dip 640K", &v640, kGeometry640, ImageForm::kDip, {}},
      {"dim 720K", &v720, kGeometry720, ImageForm::kDim, {}},
      {"dim 640K", &v640, kGeometry640, ImageForm::kDim, {}},
      {"fdi header shorter than its fields", &v1232, kGeometry1232, ImageForm::kFdi, fdi_header(31)},
      {"fill sector of mixed bytes", &mixed, kGeometry1232, ImageForm::kFdd, one_fill},
      {"fill sector of 0xFF", &all_ff, kGeometry1232, ImageForm::kFdd, one_fill},
      {"fill sector past the disk", &v1232, kGeometry1232, ImageForm::kFdd, past_end},
      {"absent dcp track with data", &live_track, kGeometry1232, ImageForm::kDcp, absent_tracks()},
      {"absent dim track with data", &live_track, kGeometry1232, ImageForm::kDim, absent_tracks()},
      {"absent track past the disk", &v1232, kGeometry1232, ImageForm::kDcp, track_past_end},
      {"fill sectors asked of a dcp file", &v1232, kGeometry1232, ImageForm::kDcp, fill_sectors()},
      {"absent tracks asked of an fdd file", &v1232, kGeometry1232, ImageForm::kFdd, absent_tracks()},
      {"shuffling asked of an nfd file", &v1232, kGeometry1232, ImageForm::kNfd, shuffled()},
      {"write protection asked of a dcp file", &v1232, kGeometry1232, ImageForm::kDcp, protected_()},
      {"r1 asked of a d88 file", &v1232, kGeometry1232, ImageForm::kD88, nfd_r1()},
      {"another fdi header size asked of raw sectors", &v1232, kGeometry1232, ImageForm::kRaw, fdi_header(256)},
      {"volume of another geometry's size", &v720, kGeometry1232, ImageForm::kRaw, {}},
  };
  for (const Refusal& r : refusals) {
    EXPECT_TRUE(build_container(*r.volume, kGeometries[r.geometry], r.form, r.options).empty()) << "row: " << r.label;
  }
}

}  // namespace
