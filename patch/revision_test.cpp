// Revision verdicts over the sample disk's conversation files: the sample itself, the
// sample as each revision rebuilds it (made by the test helpers' own description of the
// rebuilt files, not by the patch tables), and variants with a few bytes changed.
#include "patch/revision.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sample/sample_disk.h"
#include "tests/support/sample_workspace.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

FileMap sample_map() { return file_map(sample::sample_files()); }

// The sample's files as revision `revision` leaves them.
FileMap patched_map(int revision) { return file_map(rebuilt_sample(revision, sample::sample_files())); }

std::vector<TlkFileData> views(const FileMap& files) {
  std::vector<TlkFileData> v;
  for (const auto& [name, data] : files)
    v.push_back({name.c_str(), data.data(), static_cast<std::int32_t>(data.size()), nullptr});
  return v;
}

using Statuses = std::vector<RevisionStatus>;

Statuses statuses(const FileMap& files) {
  RevisionVerdict verdicts[kRevisionCount];
  revision_verdicts(views(files), verdicts);
  Statuses s;
  for (const RevisionVerdict& v : verdicts) s.push_back(v.status);
  return s;
}

std::string reason(const FileMap& files, int revision) {
  RevisionVerdict verdicts[kRevisionCount];
  revision_verdicts(views(files), verdicts);
  char text[256];
  revision_reason_text(text, sizeof text, verdicts[revision - 1].reason);
  return text;
}

constexpr RevisionStatus kA = RevisionStatus::kApplies;
constexpr RevisionStatus kP = RevisionStatus::kPatched;
constexpr RevisionStatus kN = RevisionStatus::kDoesNotApply;

// Every byte some revision verifies, as stored in the sample (file, offset): taken
// from the description of the revisions, one row per verified run.
struct Verified {
  const char* file;
  std::int32_t first;
  std::int32_t last;
};
const Verified kVerified[] = {
    {"DWELLING.TLK", 0x19F8, 0x19F8}, {"DWELLING.TLK", 0x19FC, 0x19FC}, {"DWELLING.TLK", 0x1A06, 0x1A06},
    {"KEEP.TLK", 0x04A7, 0x04B0},     {"KEEP.TLK", 0x5814, 0x581D},     {"KEEP.TLK", 0x175C, 0x175C},
    {"KEEP.TLK", 0x1911, 0x1911},     {"TOWNE.TLK", 0x689D, 0x689D},    {"TOWNE.TLK", 0x2A4C, 0x2A51},
    {"TOWNE.TLK", 0x2A55, 0x2A5A},    {"TOWNE.TLK", 0x2A9A, 0x2A9F},    {"TOWNE.TLK", 0x2B30, 0x2B30},
    {"TOWNE.TLK", 0x68A5, 0x68A5},
};

TEST(RevisionTest, TheSampleTakesEveryRevisionAndCarriesNone) {
  EXPECT_EQ(statuses(sample_map()), (Statuses{kA, kA, kA}));
  const FileMap sample = sample_map();
  const std::vector<TlkFileData> v = views(sample);
  for (int r = 1; r <= kRevisionCount; ++r) EXPECT_FALSE(revision_carried(patch_revision(r), v)) << r;
}

TEST(RevisionTest, EachRevisionsOutputIsNamedPatchedAndTheOthersDoNotApply) {
  EXPECT_EQ(statuses(patched_map(1)), (Statuses{kP, kN, kN}));
  EXPECT_EQ(statuses(patched_map(2)), (Statuses{kN, kP, kN}));
  EXPECT_EQ(statuses(patched_map(3)), (Statuses{kN, kN, kP}));
  // Revision 3 verifies KEEP.TLK first: its dropped bytes at 0x04A7 now hold what came
  // from 0x04B1.
  const FileMap sample = sample_map();
  const Bytes& keep = sample.at("KEEP.TLK");
  char expected[128];
  std::snprintf(expected, sizeof expected, "KEEP.TLK: byte 0x04A7 is 0x%02X, expected 0x13", keep[0x04B1]);
  EXPECT_EQ(reason(patched_map(2), 3), expected);
}

TEST(RevisionTest, MoreSpecificRevisionsIncludeTheLessSpecific) {
  // What "most specific wins" settles: revision 1's output carries 2's and 3's changes too.
  const struct {
    int patched_by;
    bool carries[3];
  } rows[] = {{1, {true, true, true}}, {2, {false, true, true}}, {3, {false, false, true}}};
  for (const auto& row : rows) {
    const FileMap files = patched_map(row.patched_by);
    for (int r = 1; r <= 3; ++r) {
      EXPECT_EQ(revision_carried(patch_revision(r), views(files)), row.carries[r - 1])
          << "patched by " << row.patched_by << ", carries " << r;
    }
  }
}

TEST(RevisionTest, AnUnpatchedDiskIsNeverCalledPatched) {
  // Every verified byte of the sample changed, one at a time, to every other value that
  // a patch would write there or to its complement: no revision may be called patched.
  for (const Verified& v : kVerified) {
    for (std::int32_t at = v.first; at <= v.last; ++at) {
      FileMap files = sample_map();
      Bytes& f = files.at(v.file);
      const auto original = f[static_cast<std::size_t>(at)];
      for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xB4}, static_cast<std::uint8_t>(~original)}) {
        if (value == original) continue;
        f[static_cast<std::size_t>(at)] = value;
        for (const RevisionStatus s : statuses(files)) {
          EXPECT_NE(s, kP) << v.file << " byte " << at << " = " << int{value};
        }
      }
    }
  }
}

TEST(RevisionTest, AnOutputWithOneChangeUndoneIsNotPatched) {
  struct Row {
    int revision;
    const char* file;
    std::int32_t offset;
    std::uint8_t value;  // the byte the unpatched file held there
  };
  const Row rows[] = {
      {3, "KEEP.TLK", 0x5814, 0x2D},     {3, "TOWNE.TLK", 0x689D, 0xFB}, {2, "KEEP.TLK", 0x1907, 0x8C},
      {1, "DWELLING.TLK", 0x19FC, 0xDB}, {1, "KEEP.TLK", 0x1752, 0x8B},  {1, "TOWNE.TLK", 0x2B28, 0xDA},
  };
  for (const Row& row : rows) {
    FileMap files = patched_map(row.revision);
    files.at(row.file)[static_cast<std::size_t>(row.offset)] = row.value;
    EXPECT_FALSE(revision_carried(patch_revision(row.revision), views(files))) << row.revision << " " << row.file;
  }
}

TEST(RevisionTest, DisksOfOneReleaseTakeOnlyTheirRevisions) {
  struct Row {
    const char* name;
    const char* file;
    std::int32_t offset;
    Statuses expected;
  };
  // Revisions 2 and 3 verify TOWNE.TLK's 0xFB at 0x689D, revision 1 at 0x68A5; only
  // revisions 1 and 2 verify KEEP.TLK's 0x8C at 0x1911; only revision 1 touches
  // DWELLING.TLK.
  const Row rows[] = {
      {"only revision 1", "TOWNE.TLK", 0x689D, {kA, kN, kN}},
      {"only revision 3", "KEEP.TLK", 0x1911, {kN, kN, kA}},
      {"revisions 2 and 3", "DWELLING.TLK", 0x19F8, {kN, kA, kA}},
  };
  for (const Row& row : rows) {
    FileMap files = sample_map();
    files.at(row.file)[static_cast<std::size_t>(row.offset)] ^= 0xFF;
    EXPECT_EQ(statuses(files), row.expected) << row.name;
  }
}

TEST(RevisionTest, ReasonsNameTheFirstFaultTheyMeet) {
  FileMap files = sample_map();
  files.at("KEEP.TLK")[0x04A8] = 0x47;
  files.at("TOWNE.TLK")[0x689D] = 0x00;
  // Revision 1 takes DWELLING.TLK, then KEEP.TLK; revisions 2 and 3 start at KEEP.TLK.
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(reason(files, r), "KEEP.TLK: byte 0x04A8 is 0x47, expected 0x48") << r;

  FileMap short_keep = sample_map();
  short_keep.at("KEEP.TLK").resize(100);
  EXPECT_EQ(reason(short_keep, 3), "KEEP.TLK: 100 bytes, expected 22558");
  EXPECT_EQ(statuses(short_keep), (Statuses{kN, kN, kN}));

  FileMap no_dwelling = sample_map();
  no_dwelling.erase("DWELLING.TLK");
  EXPECT_EQ(reason(no_dwelling, 1), "DWELLING.TLK: not found");
  EXPECT_EQ(statuses(no_dwelling), (Statuses{kN, kA, kA}));

  // A file the caller could not read carries the caller's text.
  const FileMap sample = sample_map();
  std::vector<TlkFileData> v = views(sample);
  for (TlkFileData& f : v) {
    if (std::string(f.name) == "TOWNE.TLK") f = {f.name, nullptr, 0, "illegal cluster 0xFF7"};
  }
  EXPECT_EQ(revision_check(patch_revision(2), v).kind, RefusalKind::kUnreadable);
  RevisionVerdict verdicts[kRevisionCount];
  revision_verdicts(v, verdicts);
  char text[128];
  revision_reason_text(text, sizeof text, verdicts[2].reason);
  EXPECT_STREQ(text, "TOWNE.TLK: illegal cluster 0xFF7");
}

TEST(RevisionTest, NamesAreMatchedWhateverTheirCase) {
  FileMap lower;
  for (const auto& [name, data] : sample_map()) {
    std::string n = name;
    for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    lower[n] = data;
  }
  EXPECT_EQ(statuses(lower), (Statuses{kA, kA, kA}));
}

}  // namespace
