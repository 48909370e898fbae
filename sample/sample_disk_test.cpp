// The sample disk: well-formed conversation files, a volume the real FAT tools accept,
// and files that every patch revision rebuilds cleanly into well-formed files again.
#include "sample/sample_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/le.h"
#include "patch/record.h"
#include "patch/sets.h"
#include "tests/support/process.h"
#include "tests/support/rebuilt_files.h"
#include "tools/settings.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

// at() makes sure both bytes lie inside the file.
int le16(const Bytes& f, std::size_t at) { return get_le16(&f.at(at + 1) - 1); }

// The record offsets (the end offset last), or a description of the first fault of the
// header checks: npc count 1 to 255, file longer than the header, every offset below
// the file size; and, as the layout expects, offsets that never decrease.
std::vector<std::int32_t> offsets_of(const Bytes& f, std::string* fault) {
  const int n = le16(f, 0);
  const auto size = static_cast<std::int32_t>(f.size());
  if (n < 1 || n > 255) return *fault = "npc count " + std::to_string(n), std::vector<std::int32_t>{};
  if (size <= 2 * n + 4) return *fault = "file shorter than its header", std::vector<std::int32_t>{};
  std::vector<std::int32_t> offsets;
  for (int i = 0; i <= n; ++i) {
    offsets.push_back(le16(f, static_cast<std::size_t>(2 + 2 * i)));
    if (offsets.back() >= size) return *fault = "offset " + std::to_string(i) + " past the end", offsets;
    if (i > 0 && offsets[static_cast<std::size_t>(i)] < offsets[static_cast<std::size_t>(i) - 1]) {
      return *fault = "offset " + std::to_string(i) + " decreases", offsets;
    }
  }
  return offsets;
}

Bytes record_bytes(const Bytes& f, const std::vector<std::int32_t>& offsets, int i) {
  return Bytes(f.begin() + offsets[static_cast<std::size_t>(i)], f.begin() + offsets[static_cast<std::size_t>(i) + 1]);
}

const Bytes& file_named(const std::vector<sample::SampleFile>& files, const std::string& name) {
  for (const sample::SampleFile& f : files) {
    if (f.name == name) return f.data;
  }
  throw std::invalid_argument(name);
}

// What the descrambled text of a file is made of.
struct TextCounts {
  int words = 0;       // runs of three or more ASCII letters
  int pairs = 0;       // Shift-JIS lead byte with a valid trail byte
  int bad_pairs = 0;   // lead byte with an invalid trail, or none before the record ends
  int codes = 0;       // 05, 06 or FE with all their parameter bytes
  int cut_codes = 0;   // a control code whose parameters run past the record's end
  int line_ends = 0;   // 00 outside parameters and pairs
};

TextCounts count_text(const Bytes& f, const std::vector<std::int32_t>& offsets) {
  TextCounts c;
  for (std::size_t r = 0; r + 1 < offsets.size(); ++r) {
    const auto key = sample::record_key(static_cast<int>(r));
    int letters = 0;
    for (std::int32_t p = offsets[r]; p < offsets[r + 1]; ++p) {
      const std::uint8_t b = f[static_cast<std::size_t>(p)] ^ key;
      const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
      letters = letter ? letters + 1 : 0;
      if (letters == 3) ++c.words;
      if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF)) {
        if (++p == offsets[r + 1]) {
          ++c.bad_pairs;
          break;
        }
        const std::uint8_t t = f[static_cast<std::size_t>(p)] ^ key;
        ++(t >= 0x40 && t <= 0xFC && t != 0x7F ? c.pairs : c.bad_pairs);
      } else if (b == 0x05 || b == 0x06 || b == 0xFE) {
        p += b == 0xFE ? 2 : 1;
        ++(p < offsets[r + 1] ? c.codes : c.cut_codes);
      } else if (b == 0x00) {
        ++c.line_ends;
      }
    }
  }
  return c;
}

struct FileCase {
  const char* name;
  std::int32_t size;
  int npc_count;
};

TEST(SampleDiskTest, ConversationFilesAreWellFormed) {
  const FileCase cases[] = {
      {"CASTLE.TLK", 10213, 200},  // 200 records: the keys wrap from 0xFF to 0x00
      {"DWELLING.TLK", 9466, 20},
      {"KEEP.TLK", 22558, 32},
      {"TOWNE.TLK", 34293, 48},
  };
  const std::vector<sample::SampleFile> files = sample::sample_files();
  ASSERT_EQ(files.size(), std::size(cases));
  for (std::size_t i = 0; i < files.size(); ++i) {
    const FileCase& c = cases[i];
    const Bytes& f = files[i].data;
    EXPECT_EQ(files[i].name, c.name);
    EXPECT_EQ(static_cast<std::int32_t>(f.size()), c.size) << "row: " << c.name;
    EXPECT_EQ(le16(f, 0), c.npc_count) << "row: " << c.name;
    std::string fault;
    const std::vector<std::int32_t> offsets = offsets_of(f, &fault);
    ASSERT_EQ(fault, "") << "row: " << c.name;
    const TextCounts t = count_text(f, offsets);
    EXPECT_GT(t.words, 10) << "row: " << c.name;
    EXPECT_GT(t.pairs, 100) << "row: " << c.name;
    EXPECT_GT(t.codes, 10) << "row: " << c.name;
    EXPECT_GE(t.line_ends, c.npc_count) << "row: " << c.name;
    EXPECT_EQ(t.bad_pairs, 0) << "row: " << c.name;
    EXPECT_EQ(t.cut_codes, 0) << "row: " << c.name;
  }
  // The same bytes on every run.
  EXPECT_EQ(sample::sample_fdi(), sample::sample_fdi());
}

// Runs a revision's own record lists over the sample's files, as the patch pass does:
// zeroed 64 KiB buffers, the file read into the source, the result in the target.
TEST(SampleDiskTest, EveryRevisionAppliesAndGivesTheRebuiltFiles) {
  const std::vector<sample::SampleFile> files = sample::sample_files();
  const PatchSet* sets[] = {&kPatchRevision1, &kPatchRevision2, &kPatchRevision3};
  for (int revision = 1; revision <= 3; ++revision) {
    const PatchSet& set = *sets[revision - 1];
    ASSERT_EQ(static_cast<std::size_t>(set.target_count), revision_files(revision).size());
    for (int t = 0; t < set.target_count; ++t) {
      const PatchTarget& target = set.targets[t];
      const std::string row = "revision " + std::to_string(revision) + " " + target.file_name;
      EXPECT_EQ(target.file_name, revision_files(revision)[static_cast<std::size_t>(t)]) << row;
      const Bytes& file = file_named(files, target.file_name);
      ASSERT_EQ(static_cast<std::int32_t>(file.size()), target.file_length) << row;
      Bytes source(kPatchBufferSize, 0), rebuilt(kPatchBufferSize, 0);
      std::copy(file.begin(), file.end(), source.begin());
      int result = 1;
      const std::string out = capture_stdout(
          [&] { result = patch_apply(target.records, rebuilt.data(), source.data(), target.file_length); });
      EXPECT_EQ(result, 0) << row << "\n" << out;
      EXPECT_EQ(out.find("mismatch"), std::string::npos) << row;
      rebuilt.resize(file.size());
      EXPECT_EQ(rebuilt, rebuilt_file(revision, target.file_name, file)) << row;
    }
  }
}

struct RecordChange {
  int record;
  int length_change;
};

struct RebuildCase {
  int revision;
  const char* file;
  std::vector<RecordChange> changed;  // every other record keeps its bytes
};

// The offset tables before and after: a rebuilt file passes the header checks, and its
// records are the old ones, each found again through the shifted offsets, except the
// records the revision changes.
TEST(SampleDiskTest, RebuiltFilesKeepTheirRecordsInPlace) {
  const RebuildCase cases[] = {
      {1, "DWELLING.TLK", {{12, 0}}},
      {1, "KEEP.TLK", {{1, -10}, {2, 0}, {3, 0}}},
      {2, "KEEP.TLK", {{1, -10}, {3, 0}}},
      {3, "KEEP.TLK", {{1, -10}}},
      {1, "TOWNE.TLK", {{14, -8}, {15, 0}, {36, +1}}},
      {2, "TOWNE.TLK", {{36, +1}}},
      {3, "TOWNE.TLK", {{36, +1}}},
  };
  const std::vector<sample::SampleFile> files = sample::sample_files();
  for (const RebuildCase& c : cases) {
    const std::string row = "revision " + std::to_string(c.revision) + " " + c.file;
    const Bytes& before = file_named(files, c.file);
    const Bytes after = rebuilt_file(c.revision, c.file, before);
    std::string fault;
    const std::vector<std::int32_t> old_offsets = offsets_of(before, &fault);
    const std::vector<std::int32_t> new_offsets = offsets_of(after, &fault);
    ASSERT_EQ(fault, "") << row;
    ASSERT_EQ(new_offsets.size(), old_offsets.size()) << row;
    const TextCounts t = count_text(after, new_offsets);
    EXPECT_EQ(t.bad_pairs, 0) << row;
    EXPECT_EQ(t.cut_codes, 0) << row;
    for (int r = 0; r + 1 < static_cast<int>(old_offsets.size()); ++r) {
      const Bytes old_record = record_bytes(before, old_offsets, r);
      const Bytes new_record = record_bytes(after, new_offsets, r);
      bool changed = false;
      for (const RecordChange& ch : c.changed) {
        if (ch.record != r) continue;
        changed = true;
        EXPECT_EQ(static_cast<int>(new_record.size()) - static_cast<int>(old_record.size()), ch.length_change)
            << row << " record " << r;
        EXPECT_NE(new_record, old_record) << row << " record " << r;
      }
      if (!changed) {
        EXPECT_EQ(new_record, old_record) << row << " record " << r;
      }
    }
  }
}

// The real FAT tools find the same files in both forms and find nothing to repair.
TEST(SampleDiskTest, RealFatToolsAgree) {
  const std::string mcopy = "/usr/bin/mcopy";
  const std::string fsck = "/usr/sbin/fsck.fat";
  if (!file_exists(mcopy) || !file_exists(fsck)) GTEST_SKIP() << "mtools or dosfstools missing";
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  TempDir dir;
  const std::vector<sample::SampleFile> files = sample::sample_files();
  write_file(dir / "disk.fdi", sample::sample_image(true, files));
  write_file(dir / "disk.xdf", sample::sample_image(false, files));

  const RunResult check = run_program(fsck, {"-n", dir / "disk.xdf"});
  EXPECT_EQ(check.status, 0) << check.out;
  for (const std::string& image : {dir / "disk.fdi@@4096", dir / "disk.xdf"}) {
    for (const sample::SampleFile& f : files) {
      const std::string copy = dir / ("copy-" + f.name);
      const RunResult r = run_program(mcopy, {"-n", "-i", image, "::" + f.name, copy});
      ASSERT_EQ(r.status, 0) << image << " " << f.name << ": " << r.out << r.err;
      EXPECT_EQ(read_file(copy), f.data) << image << " " << f.name;
    }
  }
}

// The images the build wrote are the ones this code makes, header and all: the same
// volume in every form, under the names the programs read by default and beside them.
TEST(SampleDiskTest, BuildWroteTheSampleDiskInEveryForm) {
  const VolumeBuilder volume = sample::sample_volume(sample::sample_files());
  EXPECT_STREQ(sample::kSampleForms[0].file_name, kFdiDefaultImage);
  EXPECT_STREQ(sample::kSampleForms[1].file_name, kXdfDefaultImage);
  for (const sample::SampleForm& f : sample::kSampleForms) {
    const Bytes expected = volume.file(f.form);
    ASSERT_FALSE(expected.empty()) << f.file_name;
    EXPECT_TRUE(read_file(std::string(PARLE_SAMPLE_DIR) + "/" + f.file_name) == expected) << f.file_name;
  }
  // The two forms of the eight programs: the raw volume, and the same volume behind a
  // 4096-byte FDI header, so that they take the FDI file unchanged.
  const Bytes fdi = sample::sample_fdi();
  ASSERT_EQ(fdi.size(), static_cast<std::size_t>(kFdiHeaderOffset + 0x134000));
  EXPECT_EQ(Bytes(fdi.begin() + kFdiHeaderOffset, fdi.end()), sample::sample_xdf());
  EXPECT_EQ(sample::sample_xdf(), volume.volume());
}

// Every form of the sample, as MAME's floptool reads it, is the sample volume: each
// file converted by floptool to raw sectors equals k7-wealdmoor.xdf byte for byte.
TEST(SampleDiskTest, FloptoolReadsEveryFormAsTheVolume) {
  const std::string floptool = find_tool("floptool");
  const std::string timeout = find_tool("timeout");
  if (floptool.empty() || timeout.empty()) GTEST_SKIP() << "floptool (package mame-tools) not found";
  struct Reader {
    ImageForm form;
    const char* name;  // floptool's name of the form
  };
  const Reader readers[] = {{ImageForm::kRaw, "xdf"}, {ImageForm::kFdi, "pc98_fdi"}, {ImageForm::kDip, "dip"},
                            {ImageForm::kD88, "d88"}, {ImageForm::kDim, "dim"},      {ImageForm::kNfd, "nfd"},
                            {ImageForm::kFdd, "fdd"}, {ImageForm::kDcp, "dcx"}};
  const Bytes volume = read_file(std::string(PARLE_SAMPLE_DIR) + "/k7-wealdmoor.xdf");
  TempDir dir;
  for (const sample::SampleForm& f : sample::kSampleForms) {
    const Reader* reader =
        std::find_if(std::begin(readers), std::end(readers), [&f](const Reader& r) { return r.form == f.form; });
    ASSERT_NE(reader, std::end(readers)) << f.file_name;
    std::remove((dir / "out.xdf").c_str());
    // floptool can spin on input it dislikes: it runs under a time limit.
    const RunResult r = run_program(timeout, {"60", floptool, "flopconvert", reader->name, "xdf",
                                              std::string(PARLE_SAMPLE_DIR) + "/" + f.file_name, dir / "out.xdf"});
    ASSERT_EQ(r.status, 0) << f.file_name << ": " << r.out << r.err;
    EXPECT_TRUE(read_file(dir / "out.xdf") == volume) << f.file_name;
  }
}

}  // namespace
