// The image builder against the real FAT tools: every volume it makes, on each geometry
// and with either chain layout, is one fsck.fat finds nothing to repair in and from
// which mtools' mtype reads back exactly the files given. Skips when the tools are missing.
#include "volume/builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/pattern.h"
#include "tests/support/process.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;


struct FileCase {
  const char* name;
  std::size_t size;
};

// An empty file, a byte, a cluster exactly (1024 bytes on every geometry), one byte
// more, and files of many clusters.
const FileCase kFiles[] = {{"EMPTY.DAT", 0},   {"ONE.BIN", 1},      {"CLUSTER.BIN", 1024},
                           {"OVER.BIN", 1025}, {"KEEP.TLK", 22558}, {"TOWNE.TLK", 34293}};

TEST(BuilderTest, RealFatToolsReadEveryGeometryAndChainLayout) {
  const std::string fsck = find_tool("fsck.fat");
  const std::string mtype = find_tool("mtype");
  if (fsck.empty() || mtype.empty()) GTEST_SKIP() << "dosfstools or mtools not found";
  setenv("MTOOLS_SKIP_CHECK", "1", 1);
  TempDir dir;
  for (const int geometry : {kGeometry1232, kGeometry720, kGeometry640}) {
    for (const ChainLayout chain : {ChainLayout::kContiguous, ChainLayout::kScattered}) {
      const std::string row =
          "geometry " + std::to_string(geometry) + (chain == ChainLayout::kScattered ? ", scattered" : ", contiguous");
      VolumeBuilder v(geometry);
      std::vector<Bytes> contents;
      for (std::size_t i = 0; i < std::size(kFiles); ++i) {
        contents.push_back(pattern(static_cast<std::uint32_t>(i), kFiles[i].size));
        ASSERT_EQ(v.add_file(kFiles[i].name, contents.back(), chain), static_cast<int>(i)) << row;
      }
      if (chain == ChainLayout::kScattered) {
        const std::vector<int> clusters = v.chain_of(5);
        ASSERT_GT(clusters.size(), 2u) << row;
        EXPECT_EQ(clusters[0], clusters[1] + 2) << row << ": every link jumps back over a free cluster";
      }
      const std::string image = dir / "volume.img";
      write_file(image, v.volume());

      const RunResult checked = run_program(fsck, {"-n", "-v", image});
      EXPECT_EQ(checked.status, 0) << row << "\n" << checked.out;
      const Geometry& g = v.geometry();
      EXPECT_NE(checked.out.find(std::to_string(g.sectors_per_track) + " sectors/track, 2 heads"), std::string::npos)
          << row << "\n"
          << checked.out;
      EXPECT_NE(checked.out.find(std::to_string(g.total_sectors) + " sectors total"), std::string::npos) << row << "\n"
                                                                                                         << checked.out;
      for (std::size_t i = 0; i < std::size(kFiles); ++i) {
        const RunResult typed = run_program(mtype, {"-i", image, std::string("::") + kFiles[i].name});
        EXPECT_EQ(typed.status, 0) << row << " " << kFiles[i].name << typed.err;
        EXPECT_TRUE(Bytes(typed.out.begin(), typed.out.end()) == contents[i]) << row << " " << kFiles[i].name;
      }
    }
  }
}

TEST(BuilderTest, FullRootOrFullDiskIsRefusedAndChangesNothing) {
  {
    VolumeBuilder v(kGeometry640);
    for (int slot = 0; slot < 112; ++slot) ASSERT_EQ(v.add_entry("FILLER  BIN", 0x20), slot);
    const Bytes before = v.volume();
    int slot = 0;
    EXPECT_EQ(capture_stdout([&] { slot = v.add_file("LATE.BIN", pattern(1, 10)); }), "root directory full\n");
    EXPECT_EQ(slot, -1);
    EXPECT_TRUE(v.volume() == before) << "nothing of the refused file may be written";
  }
  {
    // 634 clusters of 1024 bytes, 632 of them usable: a file of 633 clusters cannot fit,
    // nor a scattered one of 317 (it spans 634).
    VolumeBuilder v(kGeometry640);
    const Bytes before = v.volume();
    int slot = 0;
    EXPECT_EQ(capture_stdout([&] { slot = v.add_file("BIG.BIN", pattern(2, 633 * 1024)); }),
              "no room for 'BIG.BIN' on the volume\n");
    EXPECT_EQ(slot, -1);
    EXPECT_EQ(capture_stdout([&] { slot = v.add_file("WIDE.BIN", pattern(3, 317 * 1024), ChainLayout::kScattered); }),
              "no room for 'WIDE.BIN' on the volume\n");
    EXPECT_EQ(slot, -1);
    EXPECT_TRUE(v.volume() == before);
    EXPECT_EQ(v.add_file("FITS.BIN", pattern(4, 632 * 1024)), 0) << "the disk's usable clusters, exactly";
  }
}

}  // namespace
