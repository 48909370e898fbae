// The volume library against the real FAT tools: volumes made by mkfs.fat, filled by
// mcopy, checked by fsck.fat and read back by mtype. The tests build their own volumes
// at run time and skip when the tools are missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/le.h"
#include "tests/support/pattern.h"
#include "tests/support/process.h"
#include "volume/container_writer.h"
#include "volume/dir.h"
#include "volume/file.h"
#include "volume/image.h"

using namespace testing_support;

namespace {

struct Tools {
  std::string mkfs = find_tool("mkfs.fat"), fsck = find_tool("fsck.fat"), mcopy = find_tool("mcopy"),
              mtype = find_tool("mtype"), mmd = find_tool("mmd");
  bool complete() const { return !mkfs.empty() && !fsck.empty() && !mcopy.empty() && !mtype.empty() && !mmd.empty(); }
};


std::vector<std::uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

// The volume's layout, read from the boot sector's parameter block: the referee's own
// view of the disk, independent of the library's fixed geometries.
struct Layout {
  int bytes_per_sector, sectors_per_cluster, reserved, fats, root_entries, sectors_per_fat;
  int root_start() const { return reserved + fats * sectors_per_fat; }
  int data_start() const { return root_start() + root_entries * 32 / bytes_per_sector; }
  int cluster_bytes() const { return bytes_per_sector * sectors_per_cluster; }
  std::size_t cluster_offset(int cluster) const {
    return static_cast<std::size_t>(data_start() + (cluster - 2) * sectors_per_cluster) * static_cast<std::size_t>(bytes_per_sector);
  }
  std::size_t fat_offset(int copy) const {
    return static_cast<std::size_t>(reserved + copy * sectors_per_fat) * static_cast<std::size_t>(bytes_per_sector);
  }
};

Layout read_layout(const std::vector<std::uint8_t>& volume) {
  const std::uint8_t* b = volume.data();
  return {get_le16(b + 11), b[13], get_le16(b + 14), b[16], get_le16(b + 17), get_le16(b + 22)};
}

int fat_get(const std::vector<std::uint8_t>& v, const Layout& l, int cluster) {
  const std::uint8_t* p = v.data() + l.fat_offset(0) + static_cast<std::size_t>(cluster / 2 * 3);
  const int pair = p[0] | (p[1] << 8) | (p[2] << 16);
  return cluster % 2 == 0 ? pair & 0xFFF : pair >> 12;
}

void fat_set(std::vector<std::uint8_t>& v, const Layout& l, int cluster, int value) {
  for (int copy = 0; copy < l.fats; ++copy) {
    std::uint8_t* p = v.data() + l.fat_offset(copy) + static_cast<std::size_t>(cluster / 2 * 3);
    int pair = p[0] | (p[1] << 8) | (p[2] << 16);
    pair = cluster % 2 == 0 ? (pair & 0xFFF000) | value : (pair & 0x000FFF) | (value << 12);
    p[0] = static_cast<std::uint8_t>(pair);
    p[1] = static_cast<std::uint8_t>(pair >> 8);
    p[2] = static_cast<std::uint8_t>(pair >> 16);
  }
}

// The root entry with this 11-byte short name, as a byte offset into the volume.
std::size_t root_entry(const std::vector<std::uint8_t>& v, const Layout& l, const std::string& name11) {
  const std::size_t root = static_cast<std::size_t>(l.root_start()) * static_cast<std::size_t>(l.bytes_per_sector);
  for (int i = 0; i < l.root_entries; ++i) {
    const std::size_t at = root + static_cast<std::size_t>(i) * 32;
    if (std::memcmp(v.data() + at, name11.data(), 11) == 0) return at;
  }
  throw std::runtime_error("no root entry " + name11);
}

std::vector<int> chain_of(const std::vector<std::uint8_t>& v, const Layout& l, std::size_t entry) {
  std::vector<int> chain;
  for (int c = get_le16(v.data() + entry + 26); c >= 2 && c < 0xFF0; c = fat_get(v, l, c)) chain.push_back(c);
  return chain;
}

// Rearranges a file's clusters into reverse order, data and both FAT copies, so that
// every link of its chain jumps backwards.
void reverse_chain(std::vector<std::uint8_t>& v, const Layout& l, std::size_t entry) {
  const std::vector<int> chain = chain_of(v, l, entry);
  const std::size_t n = chain.size();
  const std::vector<std::uint8_t> old = v;
  const auto cb = static_cast<std::size_t>(l.cluster_bytes());
  for (std::size_t i = 0; i < n; ++i) {
    std::memcpy(v.data() + l.cluster_offset(chain[n - 1 - i]), old.data() + l.cluster_offset(chain[i]), cb);
    fat_set(v, l, chain[n - 1 - i], i + 1 < n ? chain[n - 2 - i] : 0xFFF);
  }
  v[entry + 26] = static_cast<std::uint8_t>(chain[n - 1]);
  v[entry + 27] = static_cast<std::uint8_t>(chain[n - 1] >> 8);
}

struct Volume {
  const char* label;
  int geometry;
  bool fdi;
  std::vector<std::string> mkfs_layout;
};

const Volume kVolumes[] = {
    {"1232K xdf", 0, false, {"-S", "1024", "-s", "1", "-r", "192", "-g", "2/8", "-M", "0xFE"}},
    {"1232K fdi", 0, true, {"-S", "1024", "-s", "1", "-r", "192", "-g", "2/8", "-M", "0xFE"}},
    {"720K xdf", 1, false, {"-S", "512", "-s", "2", "-r", "112", "-g", "2/9", "-M", "0xF9"}},
    {"640K fdi", 2, true, {"-S", "512", "-s", "2", "-r", "112", "-g", "2/8", "-M", "0xFB"}},
};

// A file copied in by mcopy: the name it is given and the short name it gets.
struct HostFile {
  const char* name;    // as passed to mcopy
  const char* lookup;  // as the library and mtype are asked for it
  std::size_t size;
};

const HostFile kFiles[] = {
    {"KEEP.TLK", "KEEP.TLK", 1500},
    {"towne.tlk", "towne.tlk", 1024},  // stored upper case with case bits; found by the case flag
    {"EMPTY.DAT", "EMPTY.DAT", 0},
    {"ONE.BIN", "ONE.BIN", 1},
    {"ODD.BIN", "ODD.BIN", 1023},
    {"OVER.BIN", "OVER.BIN", 1025},
    {"Conversation.log", "CONVER~1.LOG", 5000},  // long name entries in front of it
    {"BIG.BIN", "BIG.BIN", 20000},               // fragmented below
};

class RefereeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tools.complete()) GTEST_SKIP() << "mkfs.fat, fsck.fat, mcopy, mtype or mmd not found";
    setenv("MTOOLS_SKIP_CHECK", "1", 1);
  }

  RunResult run(const std::string& tool, const std::vector<std::string>& args) { return run_program(tool, args); }

  // mtools reaches the volume behind an FDI header through an offset suffix.
  static std::string mtools_image(const std::string& path, bool fdi) { return fdi ? path + "@@4096" : path; }

  // fsck.fat knows nothing of containers: it gets the bare volume.
  RunResult fsck(const std::vector<std::uint8_t>& volume, bool verbose) {
    const std::string path = dir / "fsck.img";
    write_file(path, volume);
    return verbose ? run(tools.fsck, {"-v", "-n", path}) : run(tools.fsck, {"-n", path});
  }

  Tools tools;
  TempDir dir;
};

TEST_F(RefereeTest, ReadsAndRewritesVolumesOfTheRealTools) {
  for (const Volume& vol : kVolumes) {
    SCOPED_TRACE(vol.label);
    const Geometry& g = kGeometries[vol.geometry];
    const std::string raw = dir / "raw.img";
    write_file(raw, std::vector<std::uint8_t>(static_cast<std::size_t>(g.data_size), 0));
    std::vector<std::string> args = {"-F", "12", "-R", "1", "-f", "2", "-a", "--invariant", "-n", "PARLEDISK"};
    args.insert(args.end(), vol.mkfs_layout.begin(), vol.mkfs_layout.end());
    args.push_back(raw);
    const RunResult made = run(tools.mkfs, args);
    ASSERT_EQ(made.status, 0) << made.out << made.err;

    // The layout the tools made is the one the library assumes for this length.
    const RunResult checked = fsck(read_file(raw), true);
    ASSERT_EQ(checked.status, 0) << checked.out;
    const int clusters = (g.total_sectors - g.data_start) / g.sectors_per_cluster;
    for (const std::string& line : std::vector<std::string>{
             std::to_string(g.bytes_per_sector) + " bytes per logical sector",
             std::to_string(g.bytes_per_sector * g.sectors_per_cluster) + " bytes per cluster",
             "First FAT starts at byte " + std::to_string(g.fat_start * g.bytes_per_sector) + " (sector 1)",
             "2 FATs, 12 bit entries",
             std::to_string(g.sectors_per_fat * g.bytes_per_sector) + " bytes per FAT (= " + std::to_string(g.sectors_per_fat) + " sectors)",
             "Root directory starts at byte " + std::to_string(g.root_start * g.bytes_per_sector) + " (sector " + std::to_string(g.root_start) + ")",
             std::to_string(g.root_entries) + " root directory entries",
             "Data area starts at byte " + std::to_string(g.data_start * g.bytes_per_sector) + " (sector " + std::to_string(g.data_start) + ")",
             std::to_string(clusters) + " data clusters",
             std::to_string(g.sectors_per_track) + " sectors/track, 2 heads",
             std::to_string(g.total_sectors) + " sectors total",
         }) {
      EXPECT_NE(checked.out.find(line), std::string::npos) << line << "\n" << checked.out;
    }

    // Fill it: the files of the table, and one inside a subdirectory.
    std::vector<std::vector<std::uint8_t>> contents;
    for (std::size_t i = 0; i < std::size(kFiles); ++i) {
      contents.push_back(pattern(static_cast<int>(i), kFiles[i].size));
      write_file(dir / "host", contents.back());
      const RunResult copied = run(tools.mcopy, {"-i", raw, dir / "host", std::string("::") + kFiles[i].name});
      ASSERT_EQ(copied.status, 0) << kFiles[i].name << copied.out << copied.err;
    }
    ASSERT_EQ(run(tools.mmd, {"-i", raw, "::SAVES"}).status, 0);
    const std::vector<std::uint8_t> game = pattern(77, 700);
    write_file(dir / "host", game);
    ASSERT_EQ(run(tools.mcopy, {"-i", raw, dir / "host", "::SAVES/GAME.DAT"}).status, 0);

    // Fragment BIG.BIN; the referee must still accept the volume and read the same bytes.
    std::vector<std::uint8_t> volume = read_file(raw);
    const Layout layout = read_layout(volume);
    const std::size_t big_entry = root_entry(volume, layout, "BIG     BIN");
    reverse_chain(volume, layout, big_entry);
    const std::vector<int> big_chain = chain_of(volume, layout, big_entry);
    ASSERT_EQ(big_chain.size(), 20u);
    ASSERT_GT(big_chain[0], big_chain[1]);
    const RunResult fragmented = fsck(volume, false);
    ASSERT_EQ(fragmented.status, 0) << fragmented.out;

    // The image as the tools hand it over: bare, or behind an FDI container header.
    const std::vector<std::uint8_t> image = build_container(volume, g, vol.fdi ? ImageForm::kFdi : ImageForm::kRaw);
    ASSERT_EQ(image.size(), volume.size() + (vol.fdi ? kFdiHeaderOffset : 0));
    const std::string in = dir / (vol.fdi ? "in.fdi" : "in.xdf");
    write_file(in, image);
    const std::int32_t header = vol.fdi ? kFdiHeaderOffset : 0;

    DiskImage disk{};
    ASSERT_EQ(vol_open(&disk, in.c_str(), header), 0);
    for (std::size_t i = 0; i < std::size(kFiles); ++i) {
      const HostFile& f = kFiles[i];
      const RunResult typed = run(tools.mtype, {"-i", mtools_image(in, vol.fdi), std::string("::") + f.lookup});
      ASSERT_EQ(typed.status, 0) << f.lookup << typed.err;
      EXPECT_EQ(bytes_of(typed.out), contents[i]) << f.lookup << ": the referee disagrees with the source";

      std::int32_t size = -2;
      std::vector<std::uint8_t> buffer(f.size);
      EXPECT_EQ(capture_stdout([&] {
                  size = vol_file_size(&disk, f.lookup, 1);
                  EXPECT_EQ(vol_read_file(&disk, f.lookup, buffer.data(), size, 1), 0) << f.lookup;
                }),
                "")
          << f.lookup;
      EXPECT_EQ(size, static_cast<std::int32_t>(typed.out.size())) << f.lookup;
      EXPECT_EQ(buffer, bytes_of(typed.out)) << f.lookup;
    }

    // The subdirectory made by mmd: the path resolves to its cluster, and its entries are
    // found along its chain (its own entry records size 0, so the budget is given here).
    std::int32_t saves = -1, budget = -1;
    const std::string walked = capture_stdout([&] { EXPECT_EQ(vol_walk_path(&disk, "/saves/", &saves, &budget, 1), 0); });
    EXPECT_EQ(walked.rfind(std::string("DEBUG: ") + "saves      " + " ", 0), 0u) << walked;
    EXPECT_EQ(budget, 0);
    const DirEntry dot = vol_find_entry(&disk, saves, 2, ".          ", 0);
    ASSERT_TRUE(dot);
    EXPECT_EQ(dent_cluster(dot), saves);
    const DirEntry found = vol_find_entry(&disk, saves, 32, "GAME    DAT", 0);
    ASSERT_TRUE(found);
    EXPECT_EQ(dent_size(found), 700);
    std::vector<std::uint8_t> game_read(700);
    const std::int32_t game_first = vol_cluster_sector(&disk, dent_cluster(found));
    ASSERT_GE(game_first, 0);
    std::memcpy(game_read.data(), disk.image + vol_sector_offset(&disk, game_first), 700);
    EXPECT_EQ(game_read, game);

    // Rewrite the fragmented file and save; only its bytes may differ afterwards.
    const std::vector<std::uint8_t> fresh = pattern(1000, 20000);
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(vol_write_file(&disk, "big.bin", fresh.data(), 20000, 1), 0); }), "");
    const std::string out = dir / (vol.fdi ? "out.fdi" : "out.xdf");
    ASSERT_EQ(vol_save(&disk, out.c_str()), 0);
    vol_free(&disk, 0);

    std::vector<std::uint8_t> expected = image;
    const std::size_t cb = static_cast<std::size_t>(layout.cluster_bytes());
    for (std::size_t i = 0; i < big_chain.size(); ++i) {
      const std::size_t n = std::min(cb, fresh.size() - i * cb);
      std::memcpy(expected.data() + static_cast<std::size_t>(header) + layout.cluster_offset(big_chain[i]), fresh.data() + i * cb, n);
    }
    const std::vector<std::uint8_t> saved = read_file(out);
    EXPECT_TRUE(saved == expected) << "bytes outside the rewritten file changed, or the file's bytes are wrong";

    const RunResult sound = fsck(std::vector<std::uint8_t>(saved.begin() + header, saved.end()), false);
    EXPECT_EQ(sound.status, 0) << sound.out;
    const RunResult typed = run(tools.mtype, {"-i", mtools_image(out, vol.fdi), "::BIG.BIN"});
    EXPECT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(bytes_of(typed.out), fresh);
  }
}

}  // namespace
