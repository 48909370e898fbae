// The UTF-8 dump text of the sample disk and of each revision's patched sample, read
// through the volume library, and of a record holding every pair there is: it is valid
// UTF-8, and turning every converted character back into its Shift-JIS pair gives the
// Shift-JIS dump text byte for byte, except where a pair had no character and was
// printed as two escapes (or a lone lead at a record's end as one). The characters are
// checked against iconv's CP932 converter and the PC-98 documentation
// (tests/support/sjis_referee.h), never against the table under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dump/tlk.h"
#include "tests/support/process.h"
#include "tests/support/sjis_referee.h"
#include "volume/file.h"
#include "volume/image.h"

using namespace testing_support;

namespace {

#ifndef PARLE_SAMPLE_DIR
#error "PARLE_SAMPLE_DIR must name the directory of the generated sample disk"
#endif

using Bytes = std::vector<std::uint8_t>;

const char* const kNames[] = {"CASTLE.TLK", "DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"};

// The four conversation files of the image at `path`, as the volume library reads them.
std::vector<Bytes> conversation_files(const std::string& path, bool fdi) {
  DiskImage disk{};
  std::vector<Bytes> files;
  if (vol_open(&disk, path.c_str(), fdi ? kFdiHeaderOffset : 0) != 0) {
    ADD_FAILURE() << "cannot open " << path;
    return files;
  }
  for (const char* name : kNames) {
    const std::int32_t size = vol_file_size(&disk, name, 1);
    Bytes data(static_cast<std::size_t>(size > 0 ? size : 0));
    EXPECT_GT(size, 0) << path << " " << name;
    EXPECT_EQ(vol_read_file(&disk, name, data.data(), size, 1), 0) << path << " " << name;
    files.push_back(data);
  }
  vol_free(&disk, 0);
  return files;
}

std::string dump_text(const std::vector<Bytes>& files, bool offsets, TlkText text) {
  return capture_stdout([&] {
    for (const Bytes& f : files)
      EXPECT_EQ(tlk_dump_as(f.data(), static_cast<std::int32_t>(f.size()), offsets, text), 0);
  });
}

bool is_lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }

std::string escape(unsigned char b) {
  char s[8];
  std::snprintf(s, sizeof s, "\\x%02X", b);
  return s;
}

struct Comparison {
  std::string fault;                 // empty when the texts agree
  int converted = 0;                 // pairs printed as their characters
  std::vector<std::string> escaped;  // pairs printed as two escapes, "EB A4"
  int lone_leads = 0;                // leads at a record's end, printed as one escape
};

// Walks the two texts side by side. In the Shift-JIS text every byte from 0x80 up that
// is not a lead or trail byte is already an escape, and trail bytes go with their lead,
// so a lead-range byte met afresh is always a lead.
Comparison compare(const std::string& sjis, const std::string& utf8) {
  Comparison c;
  std::size_t i = 0;
  std::size_t j = 0;
  auto fail = [&](const std::string& what) {
    c.fault = what + " at Shift-JIS offset " + std::to_string(i) + ", UTF-8 offset " + std::to_string(j) + ": \"" +
              utf8.substr(j, 24) + "\"";
  };
  while (i < sjis.size()) {
    const auto b = static_cast<unsigned char>(sjis[i]);
    if (!is_lead(b)) {
      if (j >= utf8.size() || utf8[j] != sjis[i]) return fail("the texts differ"), c;
      ++i;
      ++j;
      continue;
    }
    if (i + 1 >= sjis.size()) return fail("a lead byte ends the Shift-JIS text"), c;
    const auto trail = static_cast<unsigned char>(sjis[i + 1]);
    const std::optional<std::string> want = sjis_expected(b, trail);
    if (want) {
      if (utf8.compare(j, want->size(), *want) != 0) return fail("not the pair's character"), c;
      ++c.converted;
      i += 2;
      j += want->size();
    } else if (utf8.compare(j, 8, escape(b) + escape(trail)) == 0) {
      char name[8];
      std::snprintf(name, sizeof name, "%02X %02X", b, trail);
      c.escaped.push_back(name);
      i += 2;
      j += 8;
    } else if (utf8.compare(j, 4, escape(b)) == 0 && sjis.compare(i + 1, 4, "\n\t}\n") == 0) {
      ++c.lone_leads;
      i += 1;
      j += 4;
    } else {
      return fail("a pair without character is not two escapes"), c;
    }
  }
  if (j != utf8.size()) fail("the UTF-8 text goes on");
  return c;
}

// Nothing but printable text, tabs and line ends: no stray byte of either encoding.
bool only_text(const std::string& utf8) {
  for (const char ch : utf8) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x20 && b != '\t' && b != '\n') return false;
    if (b == 0x7F) return false;
  }
  return true;
}

struct Sample {
  std::string name;
  bool fdi;
  std::string image;  // path of the image file
  bool patched;
};

class DumpUtf8Test : public testing::Test {
 protected:
  void SetUp() override {
    if (!sjis_referee_available()) GTEST_SKIP() << "iconv has no CP932 converter here";
  }
};

TEST_F(DumpUtf8Test, SampleAndPatchedSamplesReadAsText) {
  std::vector<TempDir> dirs(6);
  std::vector<Sample> samples;
  int next_dir = 0;
  for (const bool fdi : {true, false}) {
    const std::string image_name = fdi ? "K7_Wealdmor.fdi" : "k7-wealdmoor.xdf";
    const std::string disk = std::string(PARLE_SAMPLE_DIR) + "/" + image_name;
    samples.push_back({image_name, fdi, disk, false});
    // Each revision's patched sample, as the patch tool of the same form writes it.
    for (const std::string revision : {"", "2", "3"}) {
      const std::string patcher = std::string("parlefix-") + (fdi ? "fdi" : "xdf") + revision;
      TempDir& dir = dirs[static_cast<std::size_t>(next_dir++)];
      write_file(dir / image_name, read_file(disk));
      RunOptions options;
      options.cwd = dir.path();
      const RunResult r = run_program(program_path(patcher), {}, options);
      ASSERT_EQ(r.status, 0) << patcher << ": " << r.out;
      samples.push_back({patcher, fdi, dir / (fdi ? "K7_Wealdmor.NEW.fdi" : "k7-wealdmoor.NEW.xdf"), true});
    }
  }

  for (const Sample& s : samples) {
    const std::vector<Bytes> files = conversation_files(s.image, s.fdi);
    ASSERT_EQ(files.size(), 4U) << s.name;
    for (const bool offsets : {false, true}) {
      const std::string where = s.name + (offsets ? " with offsets" : "");
      const std::string sjis = dump_text(files, offsets, TlkText::kShiftJis);
      const std::string utf8 = dump_text(files, offsets, TlkText::kUtf8);
      EXPECT_TRUE(valid_utf8(utf8)) << where;
      EXPECT_TRUE(only_text(utf8)) << where;
      const Comparison c = compare(sjis, utf8);
      EXPECT_EQ(c.fault, "") << where;
      EXPECT_GT(c.converted, 1000) << where << ": the sample is mostly Japanese text";
      if (s.patched) {
        // The patches bring in EB A4, a pair code page 932 does not define.
        EXPECT_NE(std::find(c.escaped.begin(), c.escaped.end(), "EB A4"), c.escaped.end()) << where;
        EXPECT_NE(utf8.find("\\xEB\\xA4"), std::string::npos) << where;
      }
    }
  }
}

TEST_F(DumpUtf8Test, EveryPairThroughTheRenderer) {
  // One record holding every lead byte with every trail byte, then a lead left open.
  Bytes plain;
  for (int lead = 0; lead < 256; ++lead) {
    if (!is_lead(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0; trail < 256; ++trail) {
      plain.push_back(static_cast<std::uint8_t>(lead));
      plain.push_back(static_cast<std::uint8_t>(trail));
    }
  }
  plain.push_back(0x88);
  Bytes file = {1, 0, 6, 0, 0, 0};
  for (const std::uint8_t b : plain) file.push_back(static_cast<std::uint8_t>(b ^ 0x3B));
  file[4] = static_cast<std::uint8_t>(file.size() & 0xFF);
  file[5] = static_cast<std::uint8_t>(file.size() >> 8);
  file.push_back(0);  // the byte after the last record

  for (const bool offsets : {false, true}) {
    const std::string sjis = dump_text({file}, offsets, TlkText::kShiftJis);
    const std::string utf8 = dump_text({file}, offsets, TlkText::kUtf8);
    EXPECT_TRUE(valid_utf8(utf8));
    EXPECT_TRUE(only_text(utf8));
    const Comparison c = compare(sjis, utf8);
    EXPECT_EQ(c.fault, "");
    EXPECT_EQ(c.converted + static_cast<int>(c.escaped.size()), 47 * 256);
    EXPECT_EQ(c.lone_leads, 1);
  }
}

}  // namespace
