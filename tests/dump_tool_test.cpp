// Whole-program runs of the dump tools: exact standard output and exit status, and an
// input image that never changes. Expected dump text comes from the small reference
// renderer below, written for the tests alone, never from the code under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sample/sample_disk.h"
#include "tests/support/process.h"
#include "tools/settings.h"
#include "volume/builder.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- Reference renderer ------------------------------------------------------------
// Deliberately plain: the whole text is built in a string with snprintf, straight from
// the description of the format, and assumes a well-formed file.

std::string hex_escape(unsigned c) {
  char s[8];
  std::snprintf(s, sizeof s, "\\x%02X", c);
  return s;
}

std::string reference_file(const Bytes& f, bool offsets) {
  std::string out;
  const unsigned n = f[0] | (f[1] << 8);
  for (unsigned i = 0; i < n; ++i) {
    const unsigned start = f[2 + 2 * i] | (f[3 + 2 * i] << 8);
    const unsigned end = f[4 + 2 * i] | (f[5 + 2 * i] << 8);
    const unsigned key = (0x3B + i) % 256;
    char head[32];
    std::snprintf(head, sizeof head, "\t[%2u] = {\n", i);
    out += head;
    bool new_line = true, trail = false;
    int params = 0;
    for (unsigned p = start; p < end; ++p) {
      if (new_line) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%08X:\t", p);
        out += offsets ? std::string(prefix) : std::string("\t\t");
        new_line = false;
      }
      const unsigned c = f[p] ^ key;
      if (trail) {
        out += static_cast<char>(c);
        trail = false;
      } else if (params > 0) {
        out += hex_escape(c);
        --params;
      } else if (c == '\\') {
        out += "\\\\";
      } else if (c >= 0x20 && c <= 0x7E) {
        out += static_cast<char>(c);
      } else if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF)) {
        out += static_cast<char>(c);
        trail = true;
      } else {
        out += hex_escape(c);
        if (c == 0x05 || c == 0x06) params = 1;
        if (c == 0xFE) params = 2;
        if (c == 0x00) {
          out += "\n";
          new_line = true;
        }
      }
    }
    out += "\n\t}\n\n";
  }
  return out;
}

// ---- Conversation files for test images ----------------------------------------------

// A conversation file from plain records: header, records scrambled with 0x3B + i, one
// spare byte at the end.
Bytes encode_tlk(const std::vector<Bytes>& records) {
  const std::size_t n = records.size();
  Bytes f(2 + 2 * (n + 1), 0);
  f[0] = static_cast<std::uint8_t>(n);
  f[1] = static_cast<std::uint8_t>(n >> 8);
  for (std::size_t i = 0; i <= n; ++i) {
    f[2 + 2 * i] = static_cast<std::uint8_t>(f.size());
    f[3 + 2 * i] = static_cast<std::uint8_t>(f.size() >> 8);
    if (i == n) break;
    for (const std::uint8_t b : records[i]) f.push_back(static_cast<std::uint8_t>(b ^ ((0x3B + i) % 256)));
  }
  f.push_back(0x00);
  return f;
}

// Text-like records from a seed: letters, Shift-JIS pairs, line ends, codes with
// parameters, and now and then any byte value at all.
Bytes plain_record(std::uint32_t seed, int length) {
  Bytes r;
  std::uint32_t x = seed * 2654435761u + 12345u;
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return (x >> 16) & 0x7FFF;
  };
  while (static_cast<int>(r.size()) < length) {
    const unsigned kind = next() % 10;
    if (kind < 4) {
      r.push_back(static_cast<std::uint8_t>('A' + next() % 58));  // letters, [\]^_` among them
    } else if (kind == 4) {
      r.push_back(static_cast<std::uint8_t>(0x82 + next() % 2));
      r.push_back(static_cast<std::uint8_t>(0x40 + next() % 0xBC));
    } else if (kind == 5) {
      r.push_back(0x00);
    } else if (kind == 6) {
      r.push_back(static_cast<std::uint8_t>(next() % 2 ? 0x05 : 0x06));
      r.push_back(static_cast<std::uint8_t>(next() % 256));
    } else if (kind == 7) {
      r.push_back(0xFE);
      r.push_back(static_cast<std::uint8_t>(next() % 256));
      r.push_back(static_cast<std::uint8_t>(next() % 256));
    } else {
      r.push_back(static_cast<std::uint8_t>(next() % 256));
    }
  }
  return r;
}

Bytes sample_tlk(std::uint32_t seed, int records, int length) {
  std::vector<Bytes> plain;
  for (int i = 0; i < records; ++i) plain.push_back(plain_record(seed * 1000 + static_cast<std::uint32_t>(i), length + i % 7));
  return encode_tlk(plain);
}

const char* const kNames[] = {"CASTLE.TLK", "DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"};

struct TlkSet {
  Bytes files[4];
  TlkSet() {
    files[0] = sample_tlk(1, 12, 40);
    files[1] = sample_tlk(2, 3, 900);  // three clusters on every geometry
    files[2] = sample_tlk(3, 210, 5);  // the key wraps past 0xFF
    files[3] = sample_tlk(4, 1, 1);
  }
};

std::string heading_and_text(int index, const Bytes& file, bool offsets) {
  return std::string(kNames[index]) + ":\n" + reference_file(file, offsets);
}

// ---- Running the tools -------------------------------------------------------------

struct ToolText {
  const char* program;
  bool fdi;
  const char* default_image;
  const char* line1;
  const char* line5;
  const char* line6;
};

const ToolText kTools[] = {
    {"parledump-fdi", true, "K7_Wealdmor.fdi", "usage: parledump-fdi [options] [DISK-IMG]\n",
     "supported disk image format is *.fdi only\n", "read Wealdmoor disk image from 'K7_Wealdmor.fdi' if not specified\n"},
    {"parledump-xdf", false, "k7-wealdmoor.xdf", "usage: parledump-xdf [options] [DISK-IMG]\n",
     "supported disk image format is *.xdf only\n", "read Wealdmoor disk image from 'k7-wealdmoor.xdf' if not specified\n"},
};

std::string usage(const ToolText& t) {
  return std::string(t.line1) +
         "option: --print-offset      print file offset\n"
         "        --help              print usage\n"
         "\n" +
         t.line5 + t.line6;
}

// A working directory holding one image under the tool's default name.
struct Workspace {
  TempDir dir;
  std::string image_name;
  Bytes image;
  Workspace(const ToolText& tool, const Bytes& bytes) : image_name(tool.default_image), image(bytes) {
    write_file(dir / image_name, image);
  }
  Workspace(const ToolText& tool, const VolumeBuilder& img)
      : Workspace(tool, img.file(tool.fdi ? ImageForm::kFdi : ImageForm::kRaw)) {}
  RunResult run(const ToolText& tool, const std::vector<std::string>& args) {
    RunOptions options;
    options.cwd = dir.path();
    RunResult r = run_program(program_path(tool.program), args, options);
    EXPECT_EQ(r.err, "") << "nothing may reach standard error";
    EXPECT_EQ(read_file(dir / image_name), image) << "the input image changed";
    EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{image_name}) << "a dump creates no file";
    return r;
  }
};

// An image holding the four files, the second one scattered over the disk.
VolumeBuilder image_with(const TlkSet& set, int geometry = kGeometry1232) {
  VolumeBuilder img(geometry);
  for (int i = 0; i < 4; ++i) {
    img.add_file(kNames[i], set.files[i], i == 1 ? ChainLayout::kScattered : ChainLayout::kContiguous);
  }
  return img;
}

std::string whole_dump(const TlkSet& set, bool offsets) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += heading_and_text(i, set.files[i], offsets);
  return s;
}

TEST(DumpToolTest, DumpsAllFourFilesOnEveryGeometry) {
  const TlkSet set;
  for (const ToolText& tool : kTools) {
    for (const int g : {kGeometry1232, kGeometry720, kGeometry640}) {
      Workspace ws(tool, image_with(set, g));
      RunResult r = ws.run(tool, {});
      EXPECT_EQ(r.out, whole_dump(set, false)) << tool.program << " geometry " << g;
      EXPECT_EQ(r.status, 0) << tool.program << " geometry " << g;
    }
  }
}

TEST(DumpToolTest, CommandLine) {
  const TlkSet set;
  for (const ToolText& tool : kTools) {
    Workspace ws(tool, image_with(set));
    const std::string path = tool.default_image;
    const std::string plain = whole_dump(set, false);
    const std::string offsets = whole_dump(set, true);
    struct Case {
      const char* name;
      std::vector<std::string> args;
      std::string out;
      int status;
    };
    const Case cases[] = {
        {"path given", {path}, plain, 0},
        {"--print-offset before the path", {"--print-offset", path}, offsets, 0},
        {"--print-offset after the path", {path, "--print-offset"}, offsets, 0},
        {"--print-offset twice", {"--print-offset", "--print-offset"}, offsets, 0},
        {"--help", {"--help"}, usage(tool), 1},
        {"--help after a valid path", {path, "--help"}, usage(tool), 1},
        {"second path before --help", {"x.img", "y.img", "--help"}, "unneeded parameter 'y.img'\n\n", 1},
        {"-h", {"-h"}, "unknown option '-h'\n", 1},
        {"--Print-Offset", {"--Print-Offset"}, "unknown option '--Print-Offset'\n", 1},
        {"lone dash", {"-"}, "unknown option '-'\n", 1},
        {"percent signs", {"-%s%n"}, "unknown option '-%s%n'\n", 1},
        {"empty argument is the path", {""}, "open error ''\nERROR: read disk image ''\n", 1},
        {"missing image", {"none.img"}, "open error 'none.img'\nERROR: read disk image 'none.img'\n", 1},
    };
    for (const Case& c : cases) {
      RunResult r = ws.run(tool, c.args);
      EXPECT_EQ(r.out, c.out) << tool.program << " row: " << c.name;
      EXPECT_EQ(r.status, c.status) << tool.program << " row: " << c.name;
    }
  }
  // The settings table the programs are built from says the same.
  for (std::size_t i = 0; i < std::size(kTools); ++i) {
    EXPECT_STREQ(kDumpTools[i]->program, kTools[i].program);
    EXPECT_STREQ(kDumpTools[i]->default_image, kTools[i].default_image);
  }
}

TEST(DumpToolTest, ImageOfTheOtherFormIsRefused) {
  const TlkSet set;
  const ToolText& fdi = kTools[0];
  const ToolText& xdf = kTools[1];
  {
    Workspace ws(xdf, image_with(set).file(ImageForm::kFdi));  // an FDI image under the XDF tool's name
    RunResult r = ws.run(xdf, {});
    EXPECT_EQ(r.out, "unsupported image 'k7-wealdmoor.xdf'\nERROR: read disk image 'k7-wealdmoor.xdf'\n");
    EXPECT_EQ(r.status, 1);
  }
  {
    Workspace ws(fdi, image_with(set).file(ImageForm::kRaw));
    RunResult r = ws.run(fdi, {});
    EXPECT_EQ(r.out, "unsupported image 'K7_Wealdmor.fdi'\nERROR: read disk image 'K7_Wealdmor.fdi'\n");
    EXPECT_EQ(r.status, 1);
  }
}

// ---- Damaged images ----------------------------------------------------------------

struct DamageCase {
  const char* name;
  VolumeBuilder (*build)(const TlkSet&);
  std::string (*expected)(const TlkSet&, const std::string& path);
};

void set_size_field(VolumeBuilder& img, int slot, std::uint32_t size) {
  std::uint8_t* e = img.dir_entry(slot);
  for (int i = 0; i < 4; ++i) e[28 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

// Builds an image whose file `index` is replaced by `data` (all others good).
VolumeBuilder image_replacing(const TlkSet& set, int index, const Bytes& data) {
  VolumeBuilder img(kGeometry1232);
  for (int i = 0; i < 4; ++i) img.add_file(kNames[i], i == index ? data : set.files[i]);
  return img;
}

std::string first_files(const TlkSet& set, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += heading_and_text(i, set.files[i], false);
  return s;
}

Bytes big_file(int size) {
  // One record running to one byte before the end.
  Bytes f(static_cast<std::size_t>(size), 'a' ^ 0x3B);
  f[0] = 1;
  f[1] = 0;
  f[2] = 6;
  f[3] = 0;
  f[4] = static_cast<std::uint8_t>((size - 1) & 0xFF);
  f[5] = static_cast<std::uint8_t>((size - 1) >> 8);
  return f;
}

const DamageCase kDamage[] = {
    {"KEEP.TLK missing",
     [](const TlkSet& set) {
       VolumeBuilder img(kGeometry1232);
       for (int i : {0, 1, 3}) img.add_file(kNames[i], set.files[i]);
       return img;
     },
     [](const TlkSet& set, const std::string& path) {
       return first_files(set, 2) + "KEEP.TLK:\ncan't find 'KEEP.TLK'\nERROR: read disk image '" + path + "/KEEP.TLK'\n";
     }},
    {"size field with its top bit set",
     [](const TlkSet& set) {
       VolumeBuilder img = image_with(set);
       set_size_field(img, 0, 0x80000010u);
       return img;
     },
     [](const TlkSet&, const std::string& path) {
       return "CASTLE.TLK:\nERROR: read disk image '" + path + "/CASTLE.TLK'\n";
     }},
    {"empty file", [](const TlkSet& set) { return image_replacing(set, 0, {}); },
     [](const TlkSet&, const std::string&) { return std::string("CASTLE.TLK:\nERROR: file size: 0\n"); }},
    {"file of 6 bytes",
     [](const TlkSet& set) {
       return image_replacing(set, 1, {1, 0, 6, 0, 6, 0});
     },
     [](const TlkSet& set, const std::string&) {
       return first_files(set, 1) + "DWELLING.TLK:\nERROR: file size: 6\n";
     }},
    // With npc count 0 the header check would say "npc count: 0": the size bound comes first.
    {"file of 6 bytes with npc count 0",
     [](const TlkSet& set) {
       return image_replacing(set, 1, {0, 0, 6, 0, 6, 0});
     },
     [](const TlkSet& set, const std::string&) {
       return first_files(set, 1) + "DWELLING.TLK:\nERROR: file size: 6\n";
     }},
    {"file of 7 bytes goes on to the header checks",
     [](const TlkSet& set) {
       return image_replacing(set, 1, {1, 0, 6, 0, 7, 0, 0});
     },
     [](const TlkSet& set, const std::string&) {
       return first_files(set, 1) + "DWELLING.TLK:\nERROR: file size: 7\n";
     }},
    {"npc count 0", [](const TlkSet& set) { return image_replacing(set, 2, Bytes(20, 0)); },
     [](const TlkSet& set, const std::string&) { return first_files(set, 2) + "KEEP.TLK:\nERROR: npc count: 0\n"; }},
    {"file larger than the buffer", [](const TlkSet& set) { return image_replacing(set, 3, big_file(65537)); },
     [](const TlkSet& set, const std::string&) {
       return first_files(set, 3) + "TOWNE.TLK:\nERROR: file size: 65537\n";
     }},
    {"chain shorter than the file",
     [](const TlkSet& set) {
       VolumeBuilder img = image_with(set);
       img.set_fat(img.chain_of(1).front(), 0xFFF);  // the chain ends after one of three
       return img;
     },
     [](const TlkSet& set, const std::string& path) {
       return first_files(set, 1) + "DWELLING.TLK:\nillegal cluster 0xFFF\nERROR: read disk image '" + path +
              "/DWELLING.TLK'\n";
     }},
};

TEST(DumpToolTest, DamagedImages) {
  const TlkSet set;
  ASSERT_GT(set.files[1].size(), 2048u);
  for (const ToolText& tool : kTools) {
    for (const DamageCase& c : kDamage) {
      Workspace ws(tool, c.build(set));
      RunResult r = ws.run(tool, {});
      EXPECT_EQ(r.out, c.expected(set, tool.default_image)) << tool.program << " row: " << c.name;
      EXPECT_EQ(r.status, 1) << tool.program << " row: " << c.name;
    }
  }
}

TEST(DumpToolTest, LowerCaseNamesAndTheLargestFile) {
  TlkSet set;
  set.files[3] = big_file(65536);  // as large as the buffer: still accepted
  const ToolText& tool = kTools[1];
  VolumeBuilder img(kGeometry1232);
  const char* const lower[] = {"castle.tlk", "Dwelling.Tlk", "keep.tlk", "towne.tlk"};
  for (int i = 0; i < 4; ++i) img.add_file(lower[i], set.files[i]);
  Workspace ws(tool, img);
  RunResult r = ws.run(tool, {"--print-offset"});
  EXPECT_EQ(r.out, whole_dump(set, true));
  EXPECT_EQ(r.status, 0);
}

// ---- The sample disk ---------------------------------------------------------------

#ifndef PARLE_SAMPLE_DIR
#error "PARLE_SAMPLE_DIR must name the directory of the generated sample disk"
#endif

// The four conversation files as they lie in `bytes`, an image laid out like `layout`:
// read along the cluster chains the layout recorded, without the volume library.
std::vector<Bytes> files_in(const VolumeBuilder& layout, const Bytes& bytes,
                            const std::vector<sample::SampleFile>& files) {
  std::vector<Bytes> out;
  const std::size_t cluster_bytes = layout.cluster_bytes();
  const std::size_t header = bytes.size() - layout.volume().size();  // FDI header, or none
  for (const char* name : kNames) {
    int slot = 0;
    while (std::string(reinterpret_cast<const char*>(layout.dir_entry(slot)), 11) != builder_dir_name(name)) ++slot;
    std::size_t size = 0;
    for (const sample::SampleFile& f : files) {
      if (f.name == name) size = f.data.size();
    }
    Bytes data;
    for (const int cluster : layout.chain_of(slot)) {
      const std::size_t at = header + layout.cluster_offset(cluster);
      const std::size_t n = std::min(size - data.size(), cluster_bytes);
      data.insert(data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(data);
  }
  return out;
}

std::string whole_dump(const std::vector<Bytes>& files, bool offsets) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += heading_and_text(i, files[static_cast<std::size_t>(i)], offsets);
  return s;
}

TEST(DumpToolTest, SampleDiskAndItsPatchedForms) {
  const std::vector<sample::SampleFile> files = sample::sample_files();
  for (const ToolText& tool : kTools) {
    const VolumeBuilder layout = sample::sample_volume(files);
    const Bytes disk = read_file(std::string(PARLE_SAMPLE_DIR) + "/" + tool.default_image);
    ASSERT_EQ(disk, layout.file(tool.fdi ? ImageForm::kFdi : ImageForm::kRaw))
        << "the generated sample disk is the one described";

    // The sample as generated: the files are those of the generator.
    std::vector<Bytes> plain;
    for (const char* name : kNames) {
      for (const sample::SampleFile& f : files) {
        if (f.name == name) plain.push_back(f.data);
      }
    }
    ASSERT_EQ(files_in(layout, disk, files), plain);
    Workspace ws(tool, disk);
    for (const bool offsets : {false, true}) {
      RunResult r = ws.run(tool, offsets ? std::vector<std::string>{"--print-offset"} : std::vector<std::string>{});
      EXPECT_EQ(r.out, whole_dump(plain, offsets)) << tool.program << " offsets " << offsets;
      EXPECT_EQ(r.status, 0) << tool.program;
    }

    // Each revision's patched sample, as the patch tool of the same form writes it.
    const std::string form = tool.fdi ? "fdi" : "xdf";
    for (const std::string revision : {"", "2", "3"}) {
      const std::string patcher = "parlefix-" + form + revision;
      TempDir patch_dir;
      write_file(patch_dir / tool.default_image, disk);
      RunOptions options;
      options.cwd = patch_dir.path();
      const RunResult patched = run_program(program_path(patcher), {}, options);
      ASSERT_EQ(patched.status, 0) << patcher << ": " << patched.out;
      const Bytes image = read_file(patch_dir / (tool.fdi ? "K7_Wealdmor.NEW.fdi" : "k7-wealdmoor.NEW.xdf"));

      Workspace patched_ws(tool, image);
      RunResult r = patched_ws.run(tool, {"--print-offset"});
      EXPECT_EQ(r.out, whole_dump(files_in(layout, image, files), true)) << patcher;
      EXPECT_EQ(r.status, 0) << patcher;
    }
  }
}

// ---- Output that cannot be written -------------------------------------------------

TEST(DumpToolTest, LostOutputIsNotSuccess) {
  const TlkSet set;
  for (const ToolText& tool : kTools) {
    Workspace ws(tool, image_with(set));
    const std::string program = program_path(tool.program);
    struct Case {
      const char* name;
      std::string redirect;
    };
    const Case cases[] = {
        {"stdout to /dev/full", ">/dev/full"},
        {"stdout closed", ">&-"},
    };
    for (const Case& c : cases) {
      RunOptions options;
      options.cwd = ws.dir.path();
      const std::string script = "exec \"$0\" --print-offset " + c.redirect;
      RunResult r = run_program("/bin/sh", {"-c", script, program}, options);
      EXPECT_EQ(r.status, 1) << tool.program << " row: " << c.name;
      EXPECT_EQ(r.out, "") << tool.program << " row: " << c.name;
      EXPECT_EQ(r.err, "") << tool.program << " row: " << c.name;
    }
    EXPECT_EQ(read_file(ws.dir / ws.image_name), ws.image);
  }
}

}  // namespace
