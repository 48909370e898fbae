// Whole-program runs of the six patch tools on the sample disk and on variants of it:
// the exact transcript, the exact output image (the sample with each rebuilt file in
// place of the old one), and the refusals that save nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/sample_workspace.h"

using namespace testing_support;
using Files = std::vector<sample::SampleFile>;

namespace {

struct Tool {
  const char* program;
  bool fdi;
  int revision;
};

const Tool kTools[] = {
    {"parlefix-fdi", true, 1},   {"parlefix-fdi2", true, 2},   {"parlefix-fdi3", true, 3},
    {"parlefix-xdf", false, 1},  {"parlefix-xdf2", false, 2},  {"parlefix-xdf3", false, 3},
};

Files with_chain(ChainLayout chain) {
  Files files = sample::sample_files();
  for (sample::SampleFile& f : files) f.chain = chain;
  return files;
}

Files lower_case_names() {
  Files files = sample::sample_files();
  for (sample::SampleFile& f : files) {
    std::transform(f.name.begin(), f.name.end(), f.name.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  }
  return files;
}

struct Variant {
  const char* name;
  Files files;
  int geometry;
};

TEST(PatchRunTest, EveryToolRebuildsTheSampleDisk) {
  const Variant variants[] = {
      {"the sample disk (TOWNE.TLK scattered)", sample::sample_files(), kGeometry1232},
      {"every chain contiguous", with_chain(ChainLayout::kContiguous), kGeometry1232},
      {"every chain scattered", with_chain(ChainLayout::kScattered), kGeometry1232},
      {"names in lower case in the directory", lower_case_names(), kGeometry1232},
      {"720 KiB volume", sample::sample_files(), kGeometry720},
      {"640 KiB volume, every chain scattered", with_chain(ChainLayout::kScattered), kGeometry640},
  };
  for (const Variant& v : variants) {
    for (const Tool& t : kTools) {
      const std::string row = std::string(v.name) + ", " + t.program;
      Workspace ws(t.fdi, v.files, v.geometry);
      const RunResult r = ws.run(t.program, {});
      const PassTranscript pass = patch_transcript(t.revision, file_map(v.files), "", "");
      ASSERT_TRUE(pass.ok) << row;
      EXPECT_EQ(r.out, pass.out + "completed\n") << row;
      EXPECT_EQ(r.status, 0) << row;
      const std::vector<std::uint8_t> expected =
          sample::sample_image(t.fdi, rebuilt_sample(t.revision, v.files), v.geometry);
      EXPECT_EQ(read_file(ws.dir / derived_image_name(t.fdi)), expected) << row;
    }
  }
}

// A tool's own output no longer holds the bytes it verifies: the run fails in its first
// target, revision 1 at 0x19F8 of DWELLING.TLK, revisions 2 and 3 in KEEP.TLK.
TEST(PatchRunTest, ToolRefusesItsOwnOutput) {
  for (const Tool& t : kTools) {
    const Files patched = rebuilt_sample(t.revision, sample::sample_files());
    Workspace ws(t.fdi, patched);
    const RunResult r = ws.run(t.program, {});
    const PassTranscript pass = patch_transcript(t.revision, file_map(patched), "", "");
    EXPECT_FALSE(pass.ok) << t.program;
    EXPECT_EQ(r.out, pass.out) << t.program;
    EXPECT_EQ(r.status, 1) << t.program;
    const std::string first = revision_files(t.revision).front();
    EXPECT_EQ(r.out.find("modifying", 1), std::string::npos) << t.program << ": went past " << first;
    EXPECT_NE(r.out.find("ERROR: modify '" + first + "'\n"), std::string::npos) << t.program;
    EXPECT_EQ(list_dir(ws.dir.path()), std::vector<std::string>{ws.image_name}) << t.program;
  }
  // Revision 1 stops at once.
  Workspace ws(true, rebuilt_sample(1, sample::sample_files()));
  EXPECT_EQ(ws.run("parlefix-fdi", {}).out,
            "modifying DWELLING.TLK\ncopy all\nchange data 19F8:D3 -> 19F8:DF\ndata mismatch DF\n"
            "ERROR: modify 'DWELLING.TLK'\n");
}

sample::SampleFile& file_named(Files& files, const std::string& name) {
  for (sample::SampleFile& f : files) {
    if (f.name == name) return f;
  }
  throw std::invalid_argument(name);
}

struct Fault {
  const char* name;
  const char* program;
  std::vector<std::string> args;
  std::function<void(Files&)> damage;
  std::string ending;  // how the transcript ends
};

// Each fixture is the sample disk with one file changed a little. The run stops at the
// failing target with the lines of its step, saves nothing and ends with status 1.
TEST(PatchRunTest, DamagedFilesSaveNothing) {
  const Fault faults[] = {
      {"KEEP.TLK missing",
       "parlefix-fdi3",
       {},
       [](Files& f) { std::erase_if(f, [](const sample::SampleFile& s) { return s.name == "KEEP.TLK"; }); },
       "modifying KEEP.TLK\ncan't find 'KEEP.TLK'\nERROR: read disk image 'K7_Wealdmor.fdi/KEEP.TLK'\n"},
      {"KEEP.TLK missing, revision 1 patches DWELLING.TLK first",
       "parlefix-xdf",
       {},
       [](Files& f) { std::erase_if(f, [](const sample::SampleFile& s) { return s.name == "KEEP.TLK"; }); },
       "modified\n\nmodifying KEEP.TLK\ncan't find 'KEEP.TLK'\nERROR: read disk image 'k7-wealdmoor.xdf/KEEP.TLK'\n"},
      {"mismatch in the second target",
       "parlefix-fdi2",
       {},
       [](Files& f) { file_named(f, "TOWNE.TLK").data[0x689D] = 0xFC; },
       "change data 689D:FB -> 689D:B4\ndata mismatch FC\nERROR: modify 'TOWNE.TLK'\n"},
      {"mismatch among the dropped bytes of KEEP.TLK",
       "parlefix-xdf",
       {},
       [](Files& f) { file_named(f, "KEEP.TLK").data[0x04AC] = 0x29; },
       "erace data 04AC:28\ndata mismatch 29\nERROR: modify 'KEEP.TLK'\n"},
      {"mismatch in the last target of revision 1",
       "parlefix-fdi",
       {},
       [](Files& f) { file_named(f, "TOWNE.TLK").data[0x2B30] = 0xD1; },
       "change data 2B30:DA -> 2B28:D1\ndata mismatch D1\nERROR: modify 'TOWNE.TLK'\n"},
      {"KEEP.TLK one byte too long",
       "parlefix-xdf3",
       {},
       [](Files& f) { file_named(f, "KEEP.TLK").data.push_back(0x1A); },
       "modifying KEEP.TLK\nfile size error 'KEEP.TLK' 22559 > 22558\n"
       "ERROR: read disk image 'k7-wealdmoor.xdf/KEEP.TLK'\n"},
      {"KEEP.TLK without its last ten bytes meets zeros",
       "parlefix-fdi2",
       {"K7_Wealdmor.fdi"},
       [](Files& f) { file_named(f, "KEEP.TLK").data.resize(22548); },
       "change data 5814:2D -> 5814:00\ndata mismatch 00\nERROR: modify 'KEEP.TLK'\n"},
      // Every target starts from zeroed buffers: past the end of a short TOWNE.TLK the
      // source holds zeros, not the bytes KEEP.TLK, read just before, left there.
      {"revision 1, TOWNE.TLK shorter than the earlier files meets zeros",
       "parlefix-xdf",
       {},
       [](Files& f) { file_named(f, "TOWNE.TLK").data.resize(9000); },
       "change data 2A4C:1C -> 2A4C:1C\ndata mismatch 00\nERROR: modify 'TOWNE.TLK'\n"},
      {"DWELLING.TLK too short to be written back, named by the output path",
       "parlefix-fdi",
       {"-o", "patched.fdi"},
       [](Files& f) { file_named(f, "DWELLING.TLK").data.resize(9000); },
       "change data 1A06:DB -> 1A06:D9\nfile size error 'DWELLING.TLK' 9000 < 9466\n"
       "ERROR: write disk image 'patched.fdi/DWELLING.TLK'\n"},
  };
  // The short TOWNE.TLK row tells zeros from KEEP.TLK's leftovers only if KEEP.TLK's
  // byte at 0x2A4C is neither 0 nor the byte revision 1 expects there.
  Files sample = sample::sample_files();
  ASSERT_NE(file_named(sample, "KEEP.TLK").data.at(0x2A4C), 0x00);
  ASSERT_NE(file_named(sample, "KEEP.TLK").data.at(0x2A4C), 0x1C);
  for (const Fault& c : faults) {
    const Tool& tool = *std::find_if(std::begin(kTools), std::end(kTools),
                                     [&](const Tool& t) { return std::string(t.program) == c.program; });
    Files files = sample::sample_files();
    c.damage(files);
    Workspace ws(tool.fdi, files);
    const RunResult r = ws.run(c.program, c.args);
    const std::string output = c.args.size() == 2 ? c.args[1] : derived_image_name(tool.fdi);
    const PassTranscript pass = patch_transcript(tool.revision, file_map(files), ws.image_name, output);
    EXPECT_FALSE(pass.ok) << "row: " << c.name;
    EXPECT_EQ(r.out, pass.out) << "row: " << c.name;
    ASSERT_GE(r.out.size(), c.ending.size()) << "row: " << c.name;
    EXPECT_EQ(r.out.substr(r.out.size() - c.ending.size()), c.ending) << "row: " << c.name;
    EXPECT_EQ(r.status, 1) << "row: " << c.name;
    EXPECT_EQ(list_dir(ws.dir.path()), std::vector<std::string>{ws.image_name}) << "row: " << c.name;
  }
}

}  // namespace
