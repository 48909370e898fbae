// The container layer: recognising each form from its bytes, mapping every sector,
// refusing damaged containers with one line, and rewriting in place.
//
// Images come from the image builder's container writers; damaged ones are good ones
// with a few bytes changed, each change named by its fixture. The expected mapping is the
// builder's raw volume, and the expected file after a rewrite is the writer's output for
// the volume with the same rewrite: both made apart from the reader under test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/le.h"
#include "common/replace_file.h"
#include "tests/support/pattern.h"
#include "tests/support/process.h"
#include "volume/builder.h"
#include "volume/container_layout.h"
#include "volume/fat_layout.h"
#include "volume/file.h"
#include "volume/image.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;


// The test volume: two files, one contiguous and one scattered, so that a rewrite touches
// sectors on several tracks.
VolumeBuilder test_volume(int geometry) {
  VolumeBuilder v(geometry);
  v.add_file("FIRST.DAT", pattern(1, 5000));
  v.add_file("SECOND.DAT", pattern(2, 7000), ChainLayout::kScattered);
  return v;
}

// The volume with SECOND.DAT rewritten as `data` does it: the bytes of its clusters, in
// chain order, from the builder's own record of the chain.
Bytes rewritten_volume(const VolumeBuilder& v, const Bytes& data) {
  Bytes out = v.volume();
  std::size_t at = 0;
  for (int cluster : v.chain_of(1)) {
    const std::size_t n = std::min(v.cluster_bytes(), data.size() - at);
    std::memcpy(out.data() + v.cluster_offset(cluster), data.data() + at, n);
    at += n;
  }
  return out;
}

struct Loaded {
  int rc = -1;
  std::string printed;
  DiskImage disk{};
  Loaded() = default;
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  ~Loaded() { vol_free(&disk, 0); }
};

void load(Loaded* l, const Bytes& file, const char* name = "img") {
  l->printed = capture_stdout([&] { l->rc = vol_open_any_mem(&l->disk, file.data(), file.size(), name); });
}

// The load of a program that will save the image: `file` written to dir/in and staged
// for dir/out.
void load_staged(Loaded* l, const Bytes& file, const TempDir& dir) {
  write_file(dir / "in", file);
  const int fd = open((dir / "in").c_str(), O_RDONLY | O_CLOEXEC);
  StagedCopy* staged = vol_stage(fd, file.size(), (dir / "out").c_str());
  close(fd);
  ASSERT_NE(staged, nullptr) << "this file system should take a staged copy";
  l->printed = capture_stdout([&] { l->rc = vol_open_any_staged(&l->disk, staged, "img"); });
  // The copy reaches the disk while the program works; here it is made to have reached
  // it, pages the load wrote included, before anything is read back.
  if (l->rc == 0) {
    ASSERT_EQ(fsync(l->disk.staged->fd), 0);
  }
}

const char* const kGeometryNames[] = {"1232K", "720K", "640K"};

// Every form with its options, as a row name, for the loops over forms and geometries.
struct FormCase {
  const char* name;
  ImageForm form;
  ContainerOptions options;
};

std::vector<FormCase> form_cases() {
  std::vector<FormCase> cases = {{"raw", ImageForm::kRaw, {}}, {"fdi", ImageForm::kFdi, {}},
                                 {"dip", ImageForm::kDip, {}}, {"d88", ImageForm::kD88, {}},
                                 {"dim", ImageForm::kDim, {}}, {"nfd r0", ImageForm::kNfd, {}},
                                 {"fdd", ImageForm::kFdd, {}}, {"dcp", ImageForm::kDcp, {}}};
  FormCase c{"fdi 256-byte header", ImageForm::kFdi, {}};
  c.options.fdi_header_size = 256;
  cases.push_back(c);
  c = {"fdi 8192-byte header", ImageForm::kFdi, {}};
  c.options.fdi_header_size = 8192;
  cases.push_back(c);
  c = {"d88 shuffled, second disk, protected", ImageForm::kD88, {}};
  c.options.d88_shuffle = true;
  c.options.d88_second_disk = true;
  c.options.write_protect = true;
  cases.push_back(c);
  c = {"nfd r1", ImageForm::kNfd, {}};
  c.options.nfd_r1 = true;
  cases.push_back(c);
  c = {"nfd r0 protected", ImageForm::kNfd, {}};
  c.options.write_protect = true;
  cases.push_back(c);
  c = {"fdd protected", ImageForm::kFdd, {}};
  c.options.write_protect = true;
  cases.push_back(c);
  return cases;
}

// ---------------------------------------------------------------- recognition and mapping

TEST(ContainerMapTest, EveryFormMapsEverySectorToTheVolumesBytes) {
  for (int g = 0; g < 3; ++g) {
    const VolumeBuilder v = test_volume(g);
    for (const FormCase& c : form_cases()) {
      const Bytes file = v.file(c.form, c.options);
      if (file.empty()) continue;  // DIP and DIM hold 1232K only
      SCOPED_TRACE(std::string(c.name) + " " + kGeometryNames[g]);
      Loaded l;
      load(&l, file);
      ASSERT_EQ(l.rc, 0) << l.printed;
      EXPECT_EQ(l.printed, "");
      EXPECT_EQ(l.disk.form, c.form);
      EXPECT_EQ(l.disk.image_size, static_cast<std::int32_t>(file.size()));
      EXPECT_EQ(l.disk.bytes_per_sector, kGeometries[g].bytes_per_sector);
      EXPECT_EQ(l.disk.sectors_per_track, kGeometries[g].sectors_per_track);
      EXPECT_EQ(l.disk.write_protected, c.options.write_protect ? 1 : 0);
      EXPECT_EQ(0, std::memcmp(l.disk.image, file.data(), file.size()));
      const auto bps = static_cast<std::size_t>(l.disk.bytes_per_sector);
      int wrong = 0;
      for (std::int32_t s = 0; s < l.disk.total_sectors; ++s) {
        const std::int32_t at = vol_sector_offset(&l.disk, s);
        ASSERT_GE(at, 0);
        ASSERT_LE(static_cast<std::size_t>(at) + bps, file.size());
        wrong += std::memcmp(l.disk.image + at, v.volume().data() + static_cast<std::size_t>(s) * bps, bps) != 0;
      }
      EXPECT_EQ(wrong, 0);
      EXPECT_EQ(vol_file_size(&l.disk, "SECOND.DAT", 1), 7000);
    }
  }
}

// One row per form, per confusion of equal lengths and per near miss.
struct DetectRow {
  const char* name;
  std::function<Bytes()> make;
  int rc;
  ImageForm form;       // when rc is 0
  int geometry;         // when rc is 0
  std::string printed;  // exact; "img" is the name
};

Bytes with(Bytes b, const std::function<void(Bytes&)>& change) {
  change(b);
  return b;
}

TEST(ContainerDetectTest, TableOfFormsAndNearMisses) {
  const VolumeBuilder v0 = test_volume(kGeometry1232), v1 = test_volume(kGeometry720), v2 = test_volume(kGeometry640);
  const VolumeBuilder* vols[] = {&v0, &v1, &v2};
  auto file = [&](int g, ImageForm form, ContainerOptions o = {}) { return vols[g]->file(form, o); };
  ContainerOptions fdi256;
  fdi256.fdi_header_size = 256;
  const std::string unsupported = "unsupported image 'img': no known container form fits its ";

  const std::vector<DetectRow> rows = {
      {"raw 1232K", [&] { return file(0, ImageForm::kRaw); }, 0, ImageForm::kRaw, 0, ""},
      {"raw 720K", [&] { return file(1, ImageForm::kRaw); }, 0, ImageForm::kRaw, 1, ""},
      {"raw 640K", [&] { return file(2, ImageForm::kRaw); }, 0, ImageForm::kRaw, 2, ""},
      {"fdi 1232K", [&] { return file(0, ImageForm::kFdi); }, 0, ImageForm::kFdi, 0, ""},
      {"fdi 720K", [&] { return file(1, ImageForm::kFdi); }, 0, ImageForm::kFdi, 1, ""},
      {"fdi 640K", [&] { return file(2, ImageForm::kFdi); }, 0, ImageForm::kFdi, 2, ""},
      {"d88 1232K", [&] { return file(0, ImageForm::kD88); }, 0, ImageForm::kD88, 0, ""},
      {"d88 720K", [&] { return file(1, ImageForm::kD88); }, 0, ImageForm::kD88, 1, ""},
      {"d88 640K", [&] { return file(2, ImageForm::kD88); }, 0, ImageForm::kD88, 2, ""},
      {"dim 1232K", [&] { return file(0, ImageForm::kDim); }, 0, ImageForm::kDim, 0, ""},
      {"nfd 720K", [&] { return file(1, ImageForm::kNfd); }, 0, ImageForm::kNfd, 1, ""},
      {"fdd 640K", [&] { return file(2, ImageForm::kFdd); }, 0, ImageForm::kFdd, 2, ""},
      {"dcp 1232K", [&] { return file(0, ImageForm::kDcp); }, 0, ImageForm::kDcp, 0, ""},
      {"dcp 720K", [&] { return file(1, ImageForm::kDcp); }, 0, ImageForm::kDcp, 1, ""},
      {"dcp 640K", [&] { return file(2, ImageForm::kDcp); }, 0, ImageForm::kDcp, 2, ""},
      // 0x134100 bytes: DIP, a DIM of all 154 tracks and FDI behind 256 bytes all have it.
      {"0x134100 dip", [&] { return file(0, ImageForm::kDip); }, 0, ImageForm::kDip, 0, ""},
      {"0x134100 dim", [&] { return file(0, ImageForm::kDim); }, 0, ImageForm::kDim, 0, ""},
      {"0x134100 fdi", [&] { return file(0, ImageForm::kFdi, fdi256); }, 0, ImageForm::kFdi, 0, ""},
      {"0x134100 dip magic one byte off",
       [&] { return with(file(0, ImageForm::kDip), [](Bytes& b) { b[kDipMagic + 3] ^= 1; }); }, -1, ImageForm::kRaw, 0,
       unsupported + "1261824 bytes\n"},
      {"0x134100 fdi header with the cylinders of another size",
       [&] { return with(file(0, ImageForm::kFdi, fdi256), [](Bytes& b) { put_le32(b.data() + kFdiCylinders, 80); }); },
       -1, ImageForm::kRaw, 0, unsupported + "1261824 bytes\n"},
      // An FDI-sized file whose header fields disagree: the legacy rule keeps 4096 bytes.
      {"fdi header whose data size disagrees with the length",
       [&] { return with(file(0, ImageForm::kFdi), [](Bytes& b) { put_le32(b.data() + kFdiDataSize, 0xB4000); }); }, 0,
       ImageForm::kFdi, 0, "no valid fdi header in 'img' ... its first 4096 bytes are kept as they are\n"},
      {"fdi 720K header of 4096 junk bytes",
       [&] {
         Bytes b(4096 + v1.volume().size(), 0xA5);
         std::copy(v1.volume().begin(), v1.volume().end(), b.begin() + 4096);
         return b;
       },
       0, ImageForm::kFdi, 1, "no valid fdi header in 'img' ... its first 4096 bytes are kept as they are\n"},
      {"fdi header of a geometry of another shape",
       [&] {
         return with(file(0, ImageForm::kFdi), [](Bytes& b) {
           put_le32(b.data() + kFdiBytesPerSector, 512);
           put_le32(b.data() + kFdiSectorsPerTrack, 16);
         });
       },
       -1, ImageForm::kRaw, 0,
       "unsupported fdi image 'img': 77 x 2 x 16 sectors of 512 bytes is not a 1232, 720 or 640 KiB volume\n"},
      {"raw one byte short", [&] { return with(file(0, ImageForm::kRaw), [](Bytes& b) { b.pop_back(); }); }, -1,
       ImageForm::kRaw, 0, unsupported + "1261567 bytes\n"},
      {"raw whose boot sector describes another layout",
       [&] { return with(file(0, ImageForm::kRaw), [](Bytes& b) { put_le16(b.data() + kBpbBytesPerSector, 512); }); },
       -1, ImageForm::kRaw, 0,
       "unsupported image 'img': its boot sector describes 8 sectors of 512 bytes per track, its length 8 of 1024 "
       "bytes\n"},
      {"d88 cut short by one byte", [&] { return with(file(0, ImageForm::kD88), [](Bytes& b) { b.pop_back(); }); }, -1,
       ImageForm::kRaw, 0, unsupported + std::to_string(file(0, ImageForm::kD88).size() - 1) + " bytes\n"},
      {"d88 with an unknown media byte",
       [&] { return with(file(0, ImageForm::kD88), [](Bytes& b) { b[kD88Media] = 0x50; }); }, -1, ImageForm::kRaw, 0,
       unsupported + std::to_string(file(0, ImageForm::kD88).size()) + " bytes\n"},
      {"nfd signature of an unknown revision",
       [&] { return with(file(0, ImageForm::kNfd), [](Bytes& b) { b[kNfdSignature + 13] = '2'; }); }, -1,
       ImageForm::kRaw, 0, unsupported + std::to_string(file(0, ImageForm::kNfd).size()) + " bytes\n"},
      {"dim signature misspelled",
       [&] { return with(file(0, ImageForm::kDim), [](Bytes& b) { b[kDimSignature] = 'd'; }); }, -1, ImageForm::kRaw, 0,
       unsupported + "1261824 bytes\n"},
      {"fdd signature misspelled",
       [&] { return with(file(1, ImageForm::kFdd), [](Bytes& b) { b[kFddVersion] = 'W'; }); }, -1, ImageForm::kRaw, 0,
       unsupported + std::to_string(file(1, ImageForm::kFdd).size()) + " bytes\n"},
      {"dcp map byte neither 0 nor 1",
       [&] { return with(file(2, ImageForm::kDcp), [](Bytes& b) { b[kDcpTrackMap + 3] = 2; }); }, -1, ImageForm::kRaw,
       0, unsupported + std::to_string(file(2, ImageForm::kDcp).size()) + " bytes\n"},
      {"dim of a media type without a volume geometry",
       [&] { return with(file(0, ImageForm::kDim), [](Bytes& b) { b[kDimMedia] = 0x02; }); }, -1, ImageForm::kRaw, 0,
       "damaged dim image 'img': its 154 stored tracks make 1182976 bytes, but the file has 1261824; make the image "
       "again from the disk or a good copy\n"},
      {"empty file", [] { return Bytes{}; }, -1, ImageForm::kRaw, 0, "unsupported image 'img': the file is empty\n"},
  };
  for (const DetectRow& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes bytes = row.make();
    Loaded l;
    load(&l, bytes);
    EXPECT_EQ(l.rc, row.rc);
    EXPECT_EQ(l.printed, row.printed);
    if (row.rc == 0 && l.rc == 0) {
      EXPECT_EQ(l.disk.form, row.form);
      EXPECT_EQ(l.disk.total_sectors, kGeometries[row.geometry].total_sectors);
      EXPECT_EQ(vol_file_size(&l.disk, "FIRST.DAT", 1), 5000);
    }
  }
}

// ---------------------------------------------------------------- damaged containers

// Byte positions in a built D88 file (records of a track in R order, all of one size).
std::size_t d88_track(const Bytes& f, int t) {
  return static_cast<std::size_t>(get_le32(f.data() + kD88TrackTable + 4 * t));
}
std::size_t d88_record(const Bytes& f, int t, int k, int bps) {
  return d88_track(f, t) + static_cast<std::size_t>(k) * static_cast<std::size_t>(kD88SecHeaderSize + bps);
}
std::size_t nfd_r1_table(const Bytes& f, int t) {
  return static_cast<std::size_t>(get_le32(f.data() + kNfdR1TrackTable + 4 * t));
}
std::size_t fdd_entry(int t, int slot) {
  return static_cast<std::size_t>(kFddSectorTable + (t * kFddSlots + slot) * kFddEntrySize);
}

struct DamageRow {
  const char* name;
  ImageForm form;
  ContainerOptions options;
  std::function<void(Bytes&)> damage;
  std::string detail;  // the line is "damaged FORM image 'img': DETAIL; make the image again ..."
};

TEST(ContainerDamageTest, EachDamagedContainerIsRefusedWithOneLine) {
  const VolumeBuilder v = test_volume(kGeometry1232);
  ContainerOptions r1;
  r1.nfd_r1 = true;
  const std::vector<DamageRow> rows = {
      {"d88_track_offset_past_the_disk",
       ImageForm::kD88,
       {},
       [](Bytes& f) { put_le32(f.data() + kD88TrackTable + 4 * 5, static_cast<std::uint32_t>(f.size() + 16)); },
       "the offset of track 5 points past the end of the disk"},
      {"d88_track_offset_into_the_header",
       ImageForm::kD88,
       {},
       [](Bytes& f) { put_le32(f.data() + kD88TrackTable + 4 * 5, 0x100); },
       "the offset of track 5 points into the header"},
      {"d88_duplicate_record",
       ImageForm::kD88,
       {},
       [](Bytes& f) { f[d88_record(f, 3, 1, 1024) + kD88SecRecord] = 1; },
       "cylinder 1 head 1 record 1 is stored twice"},
      {"d88_missing_record",
       ImageForm::kD88,
       {},
       [](Bytes& f) { f[d88_record(f, 3, 0, 1024) + kD88SecRecord] = 9; },
       "cylinder 1 head 1 record 1 is missing"},
      {"d88_record_of_another_size",
       ImageForm::kD88,
       {},
       [](Bytes& f) { f[d88_record(f, 3, 0, 1024) + kD88SecSizeCode] = 2; },
       "cylinder 1 head 1 record 1 is a 512-byte sector in a volume of 1024-byte sectors"},
      {"d88_short_data_length",
       ImageForm::kD88,
       {},
       [](Bytes& f) { put_le16(f.data() + d88_record(f, 3, 7, 1024) + kD88SecDataLength, 512); },
       "cylinder 1 head 1 record 8 stores 512 data bytes, not 1024"},
      {"d88_crc_error",
       ImageForm::kD88,
       {},
       [](Bytes& f) { f[d88_record(f, 3, 2, 1024) + kD88SecStatus] = 0xB0; },
       "cylinder 1 head 1 record 3 is marked as a read error (status B0)"},
      {"d88_deleted_data",
       ImageForm::kD88,
       {},
       [](Bytes& f) { f[d88_record(f, 3, 2, 1024) + kD88SecDeleted] = 0x10; },
       "cylinder 1 head 1 record 3 is marked as deleted data"},
      {"d88_tracks_overlap",
       ImageForm::kD88,
       {},
       [](Bytes& f) {
         put_le32(f.data() + kD88TrackTable + 4 * 5, static_cast<std::uint32_t>(d88_record(f, 4, 1, 1024)));
       },
       "the sector records of tracks 4 and 5 overlap"},
      {"d88_records_past_the_disk",
       ImageForm::kD88,
       {},
       [](Bytes& f) { put_le16(f.data() + d88_track(f, 153) + kD88SecCount, 9); },
       "the sector records of track 153 run past the end of the disk"},
      {"nfd_r0_cut_short",
       ImageForm::kNfd,
       {},
       [](Bytes& f) { f.pop_back(); },
       "its header and sector data make 1329680 bytes, but the file has 1329679"},
      {"nfd_r0_header_size_past_the_end",
       ImageForm::kNfd,
       {},
       [](Bytes& f) { put_le32(f.data() + kNfdHeaderSize, static_cast<std::uint32_t>(f.size() + 1)); },
       "its header size 1329681 reaches past the end of the file"},
      {"nfd_r0_read_error",
       ImageForm::kNfd,
       {},
       [](Bytes& f) { f[kNfdR0SectorTable + 2 * kNfdR0EntrySize + kNfdR0Status] = 0xE0; },
       "cylinder 0 head 0 record 3 is marked as a read error (status E0)"},
      {"nfd_r0_duplicate_record",
       ImageForm::kNfd,
       {},
       [](Bytes& f) { f[kNfdR0SectorTable + (2 * kNfdR0Slots + 4) * kNfdR0EntrySize + kNfdR0Record] = 4; },
       "cylinder 1 head 0 record 4 is stored twice"},
      {"nfd_r1_table_overlaps_the_header", ImageForm::kNfd, r1,
       [](Bytes& f) { put_le32(f.data() + kNfdR1TrackTable + 4 * 2, 0x100); },
       "the sector table of track 2 overlaps the header"},
      {"nfd_r1_tables_overlap", ImageForm::kNfd, r1,
       [](Bytes& f) {
         put_le32(f.data() + kNfdR1TrackTable + 4 * 3,
                  static_cast<std::uint32_t>(nfd_r1_table(f, 2) + kNfdR1EntrySize));
       },
       "the sector tables of tracks 2 and 3 overlap"},
      {"nfd_r1_missing_record", ImageForm::kNfd, r1,
       [](Bytes& f) { f[nfd_r1_table(f, 7) + kNfdR1TrackIdSize + kNfdR1Record] = 30; },
       "cylinder 3 head 1 record 1 is missing"},
      {"fdd_data_past_the_end",
       ImageForm::kFdd,
       {},
       [](Bytes& f) { put_le32(f.data() + fdd_entry(4, 0) + kFddPointer, static_cast<std::uint32_t>(f.size() - 100)); },
       "the data of cylinder 2 head 0 record 1 lies past the end of the file"},
      {"fdd_data_in_the_header",
       ImageForm::kFdd,
       {},
       [](Bytes& f) { put_le32(f.data() + fdd_entry(4, 0) + kFddPointer, 0x100); },
       "the data of cylinder 2 head 0 record 1 overlaps the header"},
      {"fdd_data_overlap",
       ImageForm::kFdd,
       {},
       [](Bytes& f) {
         put_le32(f.data() + fdd_entry(4, 1) + kFddPointer,
                  static_cast<std::uint32_t>(get_le32(f.data() + fdd_entry(4, 0) + kFddPointer) + 512));
       },
       "the data of cylinder 2 head 0 record 1 overlaps that of cylinder 2 head 0 record 2"},
      {"fdd_no_data_pointer",
       ImageForm::kFdd,
       {},
       [](Bytes& f) { put_le32(f.data() + fdd_entry(4, 0) + kFddPointer, kFddNoPointer); },
       "cylinder 2 head 0 record 1 has no data pointer"},
      {"fdd_deleted_data",
       ImageForm::kFdd,
       {},
       [](Bytes& f) { f[fdd_entry(4, 0) + kFddDdam] = 1; },
       "cylinder 2 head 0 record 1 is marked as deleted data"},
      {"fdd_record_missing",
       ImageForm::kFdd,
       {},
       [](Bytes& f) { f[fdd_entry(4, 0) + kFddCylinder] = kFddUnused; },
       "cylinder 2 head 0 record 1 is missing"},
      {"dim_track_flag_2",
       ImageForm::kDim,
       {},
       [](Bytes& f) { f[kDimTrackFlags + 7] = 2; },
       "the flag of track 7 is 02, neither 0 nor 1"},
      {"dim_cut_short",
       ImageForm::kDim,
       {},
       [](Bytes& f) { f.resize(f.size() - 1024); },
       "its 154 stored tracks make 1261824 bytes, but the file has 1260800"},
      {"dim_unknown_media", ImageForm::kDim, {}, [](Bytes& f) { f[kDimMedia] = 0x05; }, "media type 05 is unknown"},
  };
  for (const DamageRow& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes f = v.file(row.form, row.options);
    ASSERT_FALSE(f.empty());
    row.damage(f);
    Loaded l;
    load(&l, f);
    EXPECT_EQ(l.rc, -1);
    EXPECT_EQ(l.printed, std::string("damaged ") + vol_form_name(row.form) + " image 'img': " + row.detail +
                             "; make the image again from the disk or a good copy\n");
    EXPECT_EQ(l.disk.image, nullptr);
  }
}

// ---------------------------------------------------------------- sectors not stored

// A volume whose SECOND.DAT covers exactly track 2 (cylinder 1, head 0) of the 1232K
// geometry with `fill` bytes: FIRST.DAT takes clusters 2 to 6 (sectors 11 to 15).
VolumeBuilder fill_volume(std::uint8_t fill) {
  VolumeBuilder v(kGeometry1232);
  v.add_file("FIRST.DAT", pattern(1, 5 * 1024));
  v.add_file("SECOND.DAT", Bytes(8 * 1024, fill));
  return v;
}

struct FillRow {
  const char* name;
  ImageForm form;
  ContainerOptions options;
  std::uint8_t fill;
  std::string refusal;
};

TEST(ContainerFillTest, SectorsNotStoredReadAsTheirFillByteAndRefuseARewrite) {
  std::vector<FillRow> rows;
  FillRow fdd{"fdd fill sectors",
              ImageForm::kFdd,
              {},
              0x00,
              "can't rewrite cylinder 1 head 0 record 1 of this fdd image: it stores only the fill byte 00 for that "
              "sector; convert the image to raw sectors to change it\n"};
  for (int s = 16; s < 24; ++s) fdd.options.fill_sectors.push_back(s);
  rows.push_back(fdd);
  FillRow dim{"dim absent track",
              ImageForm::kDim,
              {},
              0xE5,
              "can't rewrite cylinder 1 head 0 record 1 of this dim image: its track is not stored; convert the image "
              "to raw sectors to change it\n"};
  dim.options.absent_tracks = {2};
  rows.push_back(dim);
  FillRow dcp{"dcp absent track",
              ImageForm::kDcp,
              {},
              0xE5,
              "can't rewrite cylinder 1 head 0 record 1 of this dcp image: its track is not stored; convert the image "
              "to raw sectors to change it\n"};
  dcp.options.absent_tracks = {2};
  rows.push_back(dcp);

  // Read into memory, and staged for a save, where the fill area lies after the copy.
  for (const bool staged : {false, true}) {
  for (const FillRow& row : rows) {
    SCOPED_TRACE(std::string(row.name) + (staged ? ", staged" : ""));
    const VolumeBuilder v = fill_volume(row.fill);
    const Bytes f = v.file(row.form, row.options);
    ASSERT_FALSE(f.empty());
    ASSERT_EQ(f.size() + 8 * 1024, v.file(row.form).size()) << "the writer left the track's data out";
    Loaded l;
    TempDir dir;
    if (staged) {
      load_staged(&l, f, dir);
    } else {
      load(&l, f);
    }
    ASSERT_EQ(l.rc, 0) << l.printed;
    ASSERT_NE(l.disk.sector_states, nullptr);
    EXPECT_EQ(l.disk.sector_states[16], SectorState::kFill);
    EXPECT_EQ(l.disk.sector_states[15], SectorState::kStored);

    Bytes read(8 * 1024);
    EXPECT_EQ(vol_read_file(&l.disk, "SECOND.DAT", read.data(), 8 * 1024, 1), 0);
    EXPECT_EQ(read, Bytes(8 * 1024, row.fill));

    // The same bytes again change nothing and are allowed.
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_write_file(&l.disk, "SECOND.DAT", read.data(), 8 * 1024, 1), 0); }),
              "");

    // A change is refused before anything is written: the last sector is changed only,
    // and the first sectors, which would be written first, stay as they are.
    Bytes changed = read;
    changed.back() ^= 0x5A;
    const Bytes before(l.disk.image, l.disk.image + l.disk.image_size);
    const std::string printed =
        capture_stdout([&] { EXPECT_EQ(vol_write_file(&l.disk, "SECOND.DAT", changed.data(), 8 * 1024, 1), -1); });
    std::string expected = row.refusal;
    expected.replace(expected.find("record 1"), 8, "record 8");
    EXPECT_EQ(printed, expected);
    EXPECT_EQ(Bytes(l.disk.image, l.disk.image + l.disk.image_size), before);
    EXPECT_EQ(vol_read_file(&l.disk, "SECOND.DAT", read.data(), 8 * 1024, 1), 0);
    EXPECT_EQ(read, Bytes(8 * 1024, row.fill));

    // A change of the first sector names that one.
    changed = read;
    changed[0] ^= 1;
    EXPECT_EQ(
        capture_stdout([&] { EXPECT_EQ(vol_write_file(&l.disk, "SECOND.DAT", changed.data(), 8 * 1024, 1), -1); }),
        row.refusal);

    // Saved, the file is the container as it came: the fill area is never written.
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_save(&l.disk, (dir / "out").c_str()), 0); }), "");
    EXPECT_EQ(read_file(dir / "out"), f);
  }
  }
}

TEST(ContainerFillTest, NfdR1WithRetryCopiesIsReadButNeverRewritten) {
  const VolumeBuilder v = test_volume(kGeometry1232);
  ContainerOptions r1;
  r1.nfd_r1 = true;
  Bytes f = v.file(ImageForm::kNfd, r1);
  // The last sector entry of the last track gets one retry copy: its data again, after it.
  const std::size_t table = nfd_r1_table(f, 153);
  const int sectors = get_le16(f.data() + table + kNfdR1TrackSectors);
  f[table + kNfdR1TrackIdSize + static_cast<std::size_t>(sectors - 1) * kNfdR1EntrySize + kNfdR1Retry] = 1;
  f.resize(f.size() + 1024);
  std::copy(f.end() - 2048, f.end() - 1024, f.end() - 1024);

  Loaded l;
  load(&l, f);
  ASSERT_EQ(l.rc, 0) << l.printed;
  ASSERT_NE(l.disk.sector_states, nullptr);
  EXPECT_EQ(l.disk.sector_states[0], SectorState::kReadOnly);
  Bytes read(7000);
  EXPECT_EQ(vol_read_file(&l.disk, "SECOND.DAT", read.data(), 7000, 1), 0);
  EXPECT_EQ(read, pattern(2, 7000));
  EXPECT_EQ(vol_write_file(&l.disk, "SECOND.DAT", read.data(), 7000, 1), 0);
  read[0] ^= 1;
  const int first = v.chain_of(1)[0] - 2 + kGeometries[0].data_start;
  const std::string expected = "can't rewrite cylinder " + std::to_string(first / 16) + " head " +
                               std::to_string(first / 8 % 2) + " record " + std::to_string(first % 8 + 1) +
                               " of this nfd image: it keeps retry copies of sectors, which emulators place "
                               "differently; convert the image to raw sectors to change it\n";
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_write_file(&l.disk, "SECOND.DAT", read.data(), 7000, 1), -1); }),
            expected);
}

// ---------------------------------------------------------------- rewriting in place

TEST(ContainerRewriteTest, SavedFileDiffersOnlyInTheRewrittenSectorsData) {
  TempDir dir;
  const Bytes data = pattern(9, 7000);
  for (int g = 0; g < 3; ++g) {
    const VolumeBuilder v = test_volume(g);
    VolumeBuilder after = test_volume(g);
    after.volume() = rewritten_volume(v, data);
    for (const FormCase& c : form_cases()) {
      const Bytes file = v.file(c.form, c.options);
      if (file.empty()) continue;
      SCOPED_TRACE(std::string(c.name) + " " + kGeometryNames[g]);
      write_file(dir / "in", file);
      DiskImage d;
      ASSERT_EQ(capture_stdout([&] { ASSERT_EQ(vol_open_any(&d, (dir / "in").c_str()), 0); }), "");
      EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_write_file(&d, "SECOND.DAT", data.data(), 7000, 1), 0); }), "");
      EXPECT_EQ(vol_save(&d, (dir / "out").c_str()), 0);
      vol_free(&d, 0);
      // What the writer makes of the rewritten volume: every header, table and record
      // header the same, only the sectors' data new.
      Bytes expected = after.file(c.form, c.options);
      const Bytes saved = read_file(dir / "out");
      ASSERT_EQ(saved.size(), file.size());
      if (c.options.d88_second_disk) {
        // The second disk, made from the volume before the rewrite, stays as it was.
        const auto first_disk = static_cast<std::size_t>(get_le32(file.data() + kD88DiskSize));
        ASSERT_LT(first_disk, file.size());
        std::copy(file.begin() + static_cast<std::ptrdiff_t>(first_disk), file.end(),
                  expected.begin() + static_cast<std::ptrdiff_t>(first_disk));
      }
      EXPECT_TRUE(saved == expected);
      std::size_t changed = 0;
      for (std::size_t i = 0; i < saved.size(); ++i) changed += saved[i] != file[i];
      EXPECT_GT(changed, 0u);
      EXPECT_LE(changed, 7000u);
    }
  }
}

// ---------------------------------------------------------------- files and the fixed programs

TEST(ContainerOpenTest, FilesAreReadOnceAndHugeOnesRefusedUnread) {
  TempDir dir;
  const std::string huge = dir / "huge";
  write_file(huge, {});
  ASSERT_EQ(truncate(huge.c_str(), 9 << 20), 0);
  DiskImage d;
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_open_any(&d, huge.c_str()), -1); }),
            "unsupported image '" + huge + "': 9437184 bytes is longer than any floppy image\n");
  const std::string missing = dir / "missing";
  EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_open_any(&d, missing.c_str()), -1); }),
            "open error '" + missing + "'\n");
}

TEST(ContainerOpenTest, TheFixedOpenStillTakesTheFormFromTheLength) {
  TempDir dir;
  const VolumeBuilder v = test_volume(kGeometry1232);
  for (ImageForm form : {ImageForm::kD88, ImageForm::kNfd, ImageForm::kDip}) {
    const std::string path = dir / vol_form_name(form);
    write_file(path, v.file(form));
    DiskImage d;
    for (std::int32_t header : {0, kFdiHeaderOffset}) {
      EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_open(&d, path.c_str(), header), -1); }),
                "unsupported image '" + path + "'\n");
    }
  }
}

}  // namespace
