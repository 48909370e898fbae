// The container layer against MAME's floptool: an image of each form is rewritten through
// vol_open_any, vol_write_file and vol_save, and floptool's raw conversion of the saved
// file must equal the raw volume with the same rewrite, byte for byte. The saved file
// must differ from the original in exactly as many bytes as the two raw volumes do: the
// rewritten sectors' data, and nothing of the container around it.
//
// Where floptool reads a form differently from the emulators (tracks a DIM or DCP file
// leaves out, NFD r1 retry copies) or cannot produce the geometry (640 KiB from its
// high-density loaders), the case is left out; the reader's own tests cover those.
// floptool can spin on malformed input, so it always runs under a timeout. The test skips
// itself when floptool is missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "common/le.h"
#include "tests/support/pattern.h"
#include "tests/support/process.h"
#include "volume/builder.h"
#include "volume/file.h"
#include "volume/image.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string find_tool(const std::string& name) {
  if (const char* path = std::getenv("PATH")) {
    std::stringstream in(path);
    for (std::string dir; std::getline(in, dir, ':');) {
      const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return "";
}


// One form and geometry that floptool reads: its input format name and the raw writer
// whose output is the plain volume for that geometry.
struct RefereeCase {
  const char* name;
  int geometry;
  ImageForm form;
  ContainerOptions options;
  const char* input_format;
  const char* writer;
};

std::vector<RefereeCase> referee_cases() {
  ContainerOptions none;
  ContainerOptions fdi256;
  fdi256.fdi_header_size = 256;
  ContainerOptions fdi8192;
  fdi8192.fdi_header_size = 8192;
  ContainerOptions d88_odd;
  d88_odd.d88_shuffle = true;
  d88_odd.d88_second_disk = true;
  d88_odd.write_protect = true;
  ContainerOptions r1;
  r1.nfd_r1 = true;
  ContainerOptions protect;
  protect.write_protect = true;
  ContainerOptions fill;
  fill.fill_sectors = {1000, 1001, 1100};  // free data-area sectors, zeros
  // floptool's PC-98 loaders build high-density tracks whatever the geometry; the 720K
  // volume comes out of them only through the pyldin writer. D88 follows its media byte.
  return {
      {"raw 1232K", kGeometry1232, ImageForm::kRaw, none, "pc98", "xdf"},
      {"fdi 1232K", kGeometry1232, ImageForm::kFdi, none, "pc98_fdi", "xdf"},
      {"fdi 1232K header 256", kGeometry1232, ImageForm::kFdi, fdi256, "pc98_fdi", "xdf"},
      {"fdi 1232K header 8192", kGeometry1232, ImageForm::kFdi, fdi8192, "pc98_fdi", "xdf"},
      {"dip 1232K", kGeometry1232, ImageForm::kDip, none, "dip", "xdf"},
      {"d88 1232K", kGeometry1232, ImageForm::kD88, none, "d88", "xdf"},
      {"d88 1232K shuffled, two disks, protected", kGeometry1232, ImageForm::kD88, d88_odd, "d88", "xdf"},
      {"dim 1232K", kGeometry1232, ImageForm::kDim, none, "dim", "xdf"},
      {"nfd r0 1232K", kGeometry1232, ImageForm::kNfd, none, "nfd", "xdf"},
      {"nfd r0 1232K protected", kGeometry1232, ImageForm::kNfd, protect, "nfd", "xdf"},
      {"nfd r1 1232K", kGeometry1232, ImageForm::kNfd, r1, "nfd", "xdf"},
      {"fdd 1232K", kGeometry1232, ImageForm::kFdd, none, "fdd", "xdf"},
      {"fdd 1232K fill sectors", kGeometry1232, ImageForm::kFdd, fill, "fdd", "xdf"},
      {"dcp 1232K", kGeometry1232, ImageForm::kDcp, none, "dcx", "xdf"},
      {"fdi 720K", kGeometry720, ImageForm::kFdi, none, "pc98_fdi", "pyldin"},
      {"d88 720K", kGeometry720, ImageForm::kD88, none, "d88", "pc98"},
      {"d88 720K shuffled, two disks", kGeometry720, ImageForm::kD88, d88_odd, "d88", "pc98"},
      {"nfd r0 720K", kGeometry720, ImageForm::kNfd, none, "nfd", "pyldin"},
      {"nfd r1 720K", kGeometry720, ImageForm::kNfd, r1, "nfd", "pyldin"},
      {"fdd 720K", kGeometry720, ImageForm::kFdd, none, "fdd", "pyldin"},
      {"dcp 720K", kGeometry720, ImageForm::kDcp, none, "dcx", "pyldin"},
      {"d88 640K", kGeometry640, ImageForm::kD88, none, "d88", "cpis"},
      {"d88 640K shuffled, two disks", kGeometry640, ImageForm::kD88, d88_odd, "d88", "cpis"},
  };
}

class ContainerRefereeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    floptool_ = find_tool("floptool");
    timeout_ = find_tool("timeout");
    if (floptool_.empty() || timeout_.empty()) GTEST_SKIP() << "floptool (mame-tools) or timeout not installed";
  }
  // floptool's conversion of `in` to the raw writer's form; empty when it fails.
  Bytes convert(const RefereeCase& c, const std::string& in, const std::string& out) {
    std::remove(out.c_str());
    const RunResult r = run_program(timeout_, {"60", floptool_, "flopconvert", c.input_format, c.writer, in, out});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return file_exists(out) ? read_file(out) : Bytes{};
  }
  std::string floptool_, timeout_;
};

TEST_F(ContainerRefereeTest, RewrittenImagesConvertToTheRewrittenVolume) {
  TempDir dir;
  for (const RefereeCase& c : referee_cases()) {
    SCOPED_TRACE(c.name);
    VolumeBuilder v(c.geometry);
    v.add_file("FIRST.DAT", pattern(1, 3000));
    const int slot = v.add_file("SECOND.DAT", pattern(2, 9000), ChainLayout::kScattered);
    v.add_file("THIRD.DAT", pattern(3, 4000));
    const Bytes original = v.file(c.form, c.options);
    ASSERT_FALSE(original.empty());
    write_file(dir / "in", original);
    // The referee reads the unchanged image as the builder's volume to begin with.
    ASSERT_TRUE(convert(c, dir / "in", dir / "raw") == v.volume());

    const Bytes data = pattern(4, 9000);
    DiskImage d;
    ASSERT_EQ(capture_stdout([&] { ASSERT_EQ(vol_open_any(&d, (dir / "in").c_str()), 0); }), "");
    EXPECT_EQ(d.form, c.form);
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_write_file(&d, "SECOND.DAT", data.data(), 9000, 1), 0); }), "");
    ASSERT_EQ(vol_save(&d, (dir / "out").c_str()), 0);
    vol_free(&d, 0);

    // The same rewrite on the raw volume, cluster by cluster from the builder's record.
    Bytes expected = v.volume();
    std::size_t at = 0;
    for (int cluster : v.chain_of(slot)) {
      const std::size_t n = std::min(v.cluster_bytes(), data.size() - at);
      std::memcpy(expected.data() + v.cluster_offset(cluster), data.data() + at, n);
      at += n;
    }
    const Bytes saved = read_file(dir / "out");
    ASSERT_EQ(saved.size(), original.size());
    EXPECT_TRUE(convert(c, dir / "out", dir / "raw") == expected);
    std::size_t file_changes = 0, volume_changes = 0;
    for (std::size_t i = 0; i < saved.size(); ++i) file_changes += saved[i] != original[i];
    for (std::size_t i = 0; i < expected.size(); ++i) volume_changes += expected[i] != v.volume()[i];
    EXPECT_GT(volume_changes, 8000u);
    EXPECT_EQ(file_changes, volume_changes);
  }
}

}  // namespace
