// Whole-program runs of parle: exact standard output, standard error, exit status and
// files. The patched volumes parle must make are made by the patch programs themselves
// (or by the test helpers' own description of the rebuilt files); CRC-32 values come
// from a small bitwise implementation here, not from the library parle uses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/version.h"
#include "sample/sample_disk.h"
#include "tests/support/process.h"
#include "tests/support/sample_workspace.h"
#include "volume/image.h"

#ifndef PARLE_SAMPLE_DIR
#error "PARLE_SAMPLE_DIR must name the folder of the built sample disk"
#endif

using namespace testing_support;

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- Independent helpers -------------------------------------------------------------

// CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320, inverted in and out).
std::uint32_t crc32_of(const Bytes& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string crc_hex(const Bytes& data) {
  char s[16];
  std::snprintf(s, sizeof s, "%08X", static_cast<unsigned>(crc32_of(data)));
  return s;
}

std::string hex2(unsigned v) {
  char s[8];
  std::snprintf(s, sizeof s, "%02X", v);
  return s;
}

TEST(ParleToolTest, TheTestsCrcIsZlibs) {
  const std::string check = "123456789";
  EXPECT_EQ(crc_hex(Bytes(check.begin(), check.end())), "CBF43926");
}

// A working directory for parle: files put in it, parle run in it, and a check that
// the files parle was not asked to write are left as they were.
struct Scratch {
  TempDir dir;
  void put(const std::string& name, const Bytes& bytes) const { write_file(dir / name, bytes); }
  Bytes get(const std::string& name) const { return read_file(dir / name); }
  std::map<std::string, Bytes> snapshot() const {
    std::map<std::string, Bytes> all;
    for (const std::string& n : list_dir(dir.path()))
      all[n] = std::filesystem::is_directory(std::filesystem::symlink_status(dir / n)) ||
                       std::filesystem::is_symlink(std::filesystem::symlink_status(dir / n))
                   ? Bytes{}
                   : get(n);
    return all;
  }
  RunResult parle(const std::vector<std::string>& args, RunOptions options = {}) const {
    options.cwd = dir.path();
    return run_program(program_path("parle"), args, options);
  }
  RunResult tool(const std::string& program, const std::vector<std::string>& args) const {
    RunOptions options;
    options.cwd = dir.path();
    return run_program(program_path(program), args, options);
  }
};

// An image built by the sample helpers, as the bytes of its file (the helpers hand back
// either the bytes or an image object that holds them).
[[maybe_unused]] Bytes image_bytes(const Bytes& bytes) { return bytes; }
template <typename Image>
Bytes image_bytes(const Image& image) {
  return image.bytes();
}

Bytes sample_xdf_bytes() { return image_bytes(sample::sample_xdf()); }
Bytes sample_fdi_bytes() { return image_bytes(sample::sample_fdi()); }
Bytes sample_image_bytes(bool fdi, const std::vector<sample::SampleFile>& files) {
  return image_bytes(sample::sample_image(fdi, files));
}

// The sample's files as stored, by name.
const Bytes& sample_file(const std::string& name) {
  static const FileMap files = file_map(sample::sample_files());
  return files.at(name);
}

// What fix prints for a revision's rebuilt files over the sample, before its last line.
std::string fix_lines(int revision, const FileMap& files) {
  std::string out;
  for (const std::string& name : revision_files(revision)) {
    out += name + ": rebuilt by revision " + std::to_string(revision) + " (crc32 " + crc_hex(files.at(name)) + " -> " +
           crc_hex(rebuilt_file(revision, name, files.at(name))) + ")\n";
  }
  return out;
}

// Info's block for an image of the sample's geometry with `files`, and `verdicts` for
// the three revision lines.
std::string info_block(const std::string& image, const std::string& form, const FileMap& files,
                       const std::vector<std::string>& verdicts, bool write_protected = false) {
  std::string out = image + ": " + form + ", 77 cylinders, 2 heads, 8 sectors of 1024 bytes" +
                    (write_protected ? ", write-protected" : "") + "\n";
  for (const char* name : {"CASTLE.TLK", "DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"}) {
    char line[96];
    std::snprintf(line, sizeof line, "  %-12s %6zu bytes  crc32 %s\n", name, files.at(name).size(),
                  crc_hex(files.at(name)).c_str());
    out += line;
  }
  for (int r = 1; r <= 3; ++r) out += "  revision " + std::to_string(r) + ": " + verdicts[r - 1] + "\n";
  return out;
}

// The sample's files after `revision` (0: untouched).
FileMap sample_after(int revision) {
  return revision == 0 ? file_map(sample::sample_files()) : file_map(rebuilt_sample(revision, sample::sample_files()));
}

// ---- The sample in every form the build made -------------------------------------

struct FormSample {
  std::string file;    // name in the sample folder
  std::string form;    // what info must call it
  const char* reader;  // floptool's name of the form
};

std::vector<FormSample> sample_forms() {
  static const std::map<std::string, std::pair<std::string, const char*>> kFormOfExtension = {
      {"xdf", {"raw", "xdf"}}, {"hdm", {"raw", "xdf"}}, {"img", {"raw", "xdf"}}, {"fdi", {"fdi", "pc98_fdi"}},
      {"dip", {"dip", "dip"}}, {"d88", {"d88", "d88"}}, {"dim", {"dim", "dim"}}, {"nfd", {"nfd", "nfd"}},
      {"fdd", {"fdd", "fdd"}}, {"dcp", {"dcp", "dcx"}}};
  std::vector<FormSample> forms;
  for (const std::string& name : list_dir(PARLE_SAMPLE_DIR)) {
    if (name.rfind("K7_Wealdmor.", 0) != 0 && name.rfind("k7-wealdmoor.", 0) != 0) continue;
    const std::string ext = name.substr(name.rfind('.') + 1);
    const auto it = kFormOfExtension.find(ext);
    if (it != kFormOfExtension.end()) forms.push_back({name, it->second.first, it->second.second});
  }
  return forms;
}

std::string derived_name(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return name.substr(0, dot) + ".NEW" + name.substr(dot);
}

// `input` with the data of every sector it stores replaced by that sector of `volume`
// (raw sectors in order): what a fix that rewrites only sector data in place must give.
Bytes with_volume(const Bytes& input, const Bytes& volume) {
  DiskImage disk{};
  if (vol_open_any_mem(&disk, input.data(), input.size(), "input") != 0) return {};
  Bytes out = input;
  for (std::int32_t s = 0; s < disk.total_sectors; ++s) {
    if (disk.sector_states != nullptr && disk.sector_states[s] != SectorState::kStored) continue;
    const auto at = static_cast<std::size_t>(vol_sector_offset(&disk, s));
    const auto from = static_cast<std::size_t>(s) * static_cast<std::size_t>(disk.bytes_per_sector);
    std::copy(volume.begin() + static_cast<std::ptrdiff_t>(from),
              volume.begin() + static_cast<std::ptrdiff_t>(from + disk.bytes_per_sector),
              out.begin() + static_cast<std::ptrdiff_t>(at));
  }
  vol_free(&disk, 0);
  return out;
}

TEST(ParleToolTest, FixInEveryFormMatchesThePatchProgramOnTheRawForm) {
  const std::vector<FormSample> forms = sample_forms();
  std::vector<std::string> names;
  for (const FormSample& f : forms) names.push_back(f.form);
  ASSERT_NE(std::find(names.begin(), names.end(), "raw"), names.end());
  ASSERT_NE(std::find(names.begin(), names.end(), "fdi"), names.end());

  // The reference: revision 3 (the highest that applies to the sample) by its patch program.
  Scratch ref;
  ref.put("k7-wealdmoor.xdf", read_file(std::string(PARLE_SAMPLE_DIR) + "/k7-wealdmoor.xdf"));
  ASSERT_EQ(ref.tool("parlefix-xdf3", {"-o", "ref.xdf", "k7-wealdmoor.xdf"}).status, 0);
  const Bytes volume = ref.get("ref.xdf");
  const std::string floptool = find_tool("floptool");  // MAME's reader of every form, if installed
  const std::string timeout = find_tool("timeout");

  for (const FormSample& f : forms) {
    Scratch s;
    const Bytes input = read_file(std::string(PARLE_SAMPLE_DIR) + "/" + f.file);
    s.put(f.file, input);
    const RunResult r = s.parle({"fix", f.file});
    EXPECT_EQ(r.err, "") << f.file;
    EXPECT_EQ(r.out, fix_lines(3, sample_after(0)) + "saved '" + derived_name(f.file) + "'\n") << f.file;
    EXPECT_EQ(r.status, 0) << f.file;
    EXPECT_EQ(s.get(f.file), input) << f.file << ": the input changed";
    const Bytes output = s.get(derived_name(f.file));
    EXPECT_EQ(output.size(), input.size()) << f.file;
    EXPECT_TRUE(output == with_volume(input, volume)) << f.file << ": not the patch program's volume in the same form";
    // The independent reading: floptool's raw sectors of the output are the patch
    // program's volume.
    if (!floptool.empty()) {
      s.put("out.img", output);
      const RunResult conv =
          run_program(timeout, {"60", floptool, "flopconvert", f.reader, "xdf", s.dir / "out.img", s.dir / "out.raw"});
      ASSERT_EQ(conv.status, 0) << f.file << ": " << conv.out << conv.err;
      EXPECT_TRUE(s.get("out.raw") == volume) << f.file << ": floptool reads another volume";
    }

    // The output is recognised as the same form, carrying revision 3.
    const RunResult info = s.parle({"info", derived_name(f.file)});
    EXPECT_EQ(
        info.out,
        info_block(
            derived_name(f.file), f.form, sample_after(3),
            {"does not apply (KEEP.TLK: byte 0x04A7 is 0x" + hex2(sample_file("KEEP.TLK")[0x04B1]) + ", expected 0x13)",
             "does not apply (KEEP.TLK: byte 0x04A7 is 0x" + hex2(sample_file("KEEP.TLK")[0x04B1]) + ", expected 0x13)",
             "patched"}))
        << f.file;
  }
}

TEST(ParleToolTest, DumpInEveryFormIsTheDumpProgramsText) {
  Scratch ref;
  ref.put("k7-wealdmoor.xdf", sample_xdf_bytes());
  for (const bool offsets : {false, true}) {
    std::vector<std::string> args;
    if (offsets) args.push_back("--print-offset");
    args.push_back("k7-wealdmoor.xdf");
    const RunResult expected = ref.tool("parledump-xdf", args);
    ASSERT_EQ(expected.status, 0);
    for (const FormSample& f : sample_forms()) {
      Scratch s;
      s.put(f.file, read_file(std::string(PARLE_SAMPLE_DIR) + "/" + f.file));
      std::vector<std::string> parle_args = {"dump", f.file, "--sjis"};
      if (offsets) parle_args.emplace_back("--print-offset");
      const RunResult r = s.parle(parle_args);
      EXPECT_EQ(r.status, 0) << f.file;
      EXPECT_EQ(r.err, "") << f.file;
      EXPECT_TRUE(r.out == expected.out) << f.file << (offsets ? " with offsets" : "");
      // Without --sjis only the characters' encoding may differ, never the lines.
      parle_args.erase(parle_args.begin() + 2);
      const RunResult utf = s.parle(parle_args);
      EXPECT_EQ(utf.status, 0) << f.file;
      EXPECT_EQ(std::count(utf.out.begin(), utf.out.end(), '\n'), std::count(r.out.begin(), r.out.end(), '\n'));
    }
  }
}

TEST(ParleToolTest, DumpRefusesAFileItCannotPrint) {
  std::vector<sample::SampleFile> files = sample::sample_files();
  files[2].data[0] = 0;  // KEEP.TLK: npc count 0
  files[2].data[1] = 0;
  Scratch s;
  s.put("d.xdf", sample_image_bytes(false, files));
  const RunResult r = s.parle({"dump", "--sjis", "d.xdf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "parle: d.xdf: KEEP.TLK: bad header (npc count: 0)\n");
  // The two files before it are printed whole, as the dump programs do.
  Scratch ref;
  ref.put("d.xdf", sample_image_bytes(false, files));
  const RunResult expected = ref.tool("parledump-xdf", {"d.xdf"});
  EXPECT_EQ(r.out, expected.out.substr(0, expected.out.find("KEEP.TLK:\n")));
}

// ---- Which revision fix picks -------------------------------------------------------

TEST(ParleToolTest, FixPicksTheRevisionOfTheDisksRelease) {
  struct Row {
    const char* name;
    const char* file;
    std::int32_t offset;  // one byte changed from the sample: only some revisions still fit
    int picked;
    const char* program;  // the patch program of that revision
  };
  const Row rows[] = {
      {"only revision 1 applies", "TOWNE.TLK", 0x689D, 1, "parlefix-xdf"},
      {"only revision 3 applies", "KEEP.TLK", 0x1911, 3, "parlefix-xdf3"},
      {"revisions 2 and 3 apply", "DWELLING.TLK", 0x19F8, 3, "parlefix-xdf3"},
  };
  for (const Row& row : rows) {
    std::vector<sample::SampleFile> files = sample::sample_files();
    for (sample::SampleFile& f : files) {
      if (upper_case(f.name) == row.file) f.data[static_cast<std::size_t>(row.offset)] ^= 0xFF;
    }
    Scratch s;
    s.put("disk.xdf", sample_image_bytes(false, files));
    const RunResult r = s.parle({"fix", "disk.xdf"});
    EXPECT_EQ(r.status, 0) << row.name;
    EXPECT_EQ(r.err, "") << row.name;
    EXPECT_EQ(r.out, fix_lines(row.picked, file_map(files)) + "saved 'disk.NEW.xdf'\n") << row.name;
    ASSERT_EQ(s.tool(row.program, {"-o", "ref.xdf", "disk.xdf"}).status, 0) << row.name;
    EXPECT_TRUE(s.get("disk.NEW.xdf") == s.get("ref.xdf")) << row.name;
  }
}

TEST(ParleToolTest, InfoNamesTheRevisionADiskCarries) {
  const std::string other =
      "does not apply (KEEP.TLK: byte 0x04A7 is 0x" + hex2(sample_file("KEEP.TLK")[0x04B1]) + ", expected 0x13)";
  ASSERT_NE(sample_file("KEEP.TLK")[0x04B1], 0x13);
  const char* programs[] = {"parlefix-fdi", "parlefix-fdi2", "parlefix-fdi3"};
  for (int revision = 1; revision <= 3; ++revision) {
    Scratch s;
    s.put("disk.fdi", sample_fdi_bytes());
    ASSERT_EQ(s.tool(programs[revision - 1], {"-o", "p.fdi", "disk.fdi"}).status, 0);
    std::vector<std::string> verdicts(3, other);
    verdicts[static_cast<std::size_t>(revision) - 1] = "patched";
    const RunResult r = s.parle({"info", "p.fdi", "disk.fdi"});
    EXPECT_EQ(r.out, info_block("p.fdi", "fdi", sample_after(revision), verdicts) + "\n" +
                         info_block("disk.fdi", "fdi", sample_after(0), {"applies", "applies", "applies"}))
        << revision;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);

    // fix leaves it alone, with or without the revision named.
    const auto before = s.snapshot();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"fix", "p.fdi"},
          std::vector<std::string>{"fix", "-r", std::to_string(revision), "p.fdi"},
          std::vector<std::string>{"fix", "-f", "-o", "disk.fdi", "p.fdi"}}) {
      const RunResult f = s.parle(args);
      EXPECT_EQ(f.out, "p.fdi already carries revision " + std::to_string(revision) + "; nothing written\n")
          << revision;
      EXPECT_EQ(f.err, "");
      EXPECT_EQ(f.status, 0);
      EXPECT_TRUE(s.snapshot() == before) << revision << ": something was written";
    }
  }
}

TEST(ParleToolTest, ARevisionThatDoesNotApplyIsRefusedWithTheByteThatDiffers) {
  Scratch s;
  s.put("disk.fdi", sample_fdi_bytes());
  ASSERT_EQ(s.tool("parlefix-fdi", {"-o", "p1.fdi", "disk.fdi"}).status, 0);
  const std::string found = hex2(sample_file("KEEP.TLK")[0x04B1]);
  const auto before = s.snapshot();
  RunResult r = s.parle({"fix", "--revision=2", "p1.fdi"});
  EXPECT_EQ(r.err, "parle: p1.fdi: revision 2 does not apply (KEEP.TLK: byte 0x04A7 is 0x" + found +
                       ", expected 0x13); the image already carries revision 1\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 1);

  // No revision at all: every revision's first fault, in one line.
  std::vector<sample::SampleFile> files = sample::sample_files();
  files[2].data[0x04A8] = 0x47;  // KEEP.TLK
  s.put("bad.fdi", sample_image_bytes(true, files));
  const auto with_bad = s.snapshot();
  r = s.parle({"fix", "bad.fdi"});
  const std::string why = "KEEP.TLK: byte 0x04A8 is 0x47, expected 0x48";
  EXPECT_EQ(r.err, "parle: bad.fdi: no patch revision applies (revision 1: " + why + "; revision 2: " + why +
                       "; revision 3: " + why + ")\n");
  EXPECT_EQ(r.status, 1);
  r = s.parle({"fix", "-r3", "bad.fdi"});
  EXPECT_EQ(r.err, "parle: bad.fdi: revision 3 does not apply (" + why + "); 'parle info' shows every revision\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(s.snapshot() == with_bad);
}

// ---- Output, prompt and dry run ----------------------------------------------------

TEST(ParleToolTest, AnExistingOutputIsReplacedOnlyWhenTheUserSaysSo) {
  const Bytes patched = sample_image_bytes(true, rebuilt_sample(3, sample::sample_files()));
  const Bytes old_output = {'o', 'l', 'd'};
  const std::string lines = fix_lines(3, sample_after(0));
  const std::string prompt = "overwrite 'K7_Wealdmor.NEW.fdi'? [y/N] ";
  const std::string kept = "parle: K7_Wealdmor.NEW.fdi: not replaced; nothing written\n";
  struct Row {
    const char* name;
    std::vector<std::string> args;
    bool terminal;
    std::string typed;
    int status;
    std::string out;
    std::string err;
    bool replaced;
  };
  const Row rows[] = {
      {"terminal, y",
       {"fix", "K7_Wealdmor.fdi"},
       true,
       "y\n",
       0,
       lines + "replaced 'K7_Wealdmor.NEW.fdi'\n",
       prompt,
       true},
      {"terminal, Yes",
       {"fix", "K7_Wealdmor.fdi"},
       true,
       "Yes\n",
       0,
       lines + "replaced 'K7_Wealdmor.NEW.fdi'\n",
       prompt,
       true},
      {"terminal, n", {"fix", "K7_Wealdmor.fdi"}, true, "n\n", 1, "", prompt + kept, false},
      {"terminal, empty line", {"fix", "K7_Wealdmor.fdi"}, true, "\n", 1, "", prompt + kept, false},
      {"terminal, end of input", {"fix", "K7_Wealdmor.fdi"}, true, "\x04", 1, "", prompt + "\n" + kept, false},
      {"no terminal",
       {"fix", "K7_Wealdmor.fdi"},
       false,
       "y\n",
       1,
       "",
       "parle: K7_Wealdmor.NEW.fdi exists; use --force to replace it\n",
       false},
      {"no terminal, --force",
       {"fix", "--force", "K7_Wealdmor.fdi"},
       false,
       "",
       0,
       lines + "replaced 'K7_Wealdmor.NEW.fdi'\n",
       "",
       true},
      {"terminal, -f asks nothing",
       {"fix", "K7_Wealdmor.fdi", "-f"},
       true,
       "n\n",
       0,
       lines + "replaced 'K7_Wealdmor.NEW.fdi'\n",
       "",
       true},
      {"dry run on a terminal asks nothing",
       {"fix", "-n", "K7_Wealdmor.fdi"},
       true,
       "y\n",
       0,
       lines + "would replace 'K7_Wealdmor.NEW.fdi'\n",
       "",
       false},
      {"dry run without a terminal refuses nothing",
       {"fix", "--dry-run", "K7_Wealdmor.fdi"},
       false,
       "",
       0,
       lines + "would replace 'K7_Wealdmor.NEW.fdi'\n",
       "",
       false},
  };
  for (const Row& row : rows) {
    Scratch s;
    s.put("K7_Wealdmor.fdi", sample_fdi_bytes());
    s.put("K7_Wealdmor.NEW.fdi", old_output);
    RunOptions options;
    options.terminal_input = row.terminal;
    options.stdin_text = row.typed;
    const RunResult r = s.parle(row.args, options);
    EXPECT_EQ(r.status, row.status) << row.name;
    EXPECT_EQ(r.out, row.out) << row.name;
    EXPECT_EQ(r.err, row.err) << row.name;
    EXPECT_TRUE(s.get("K7_Wealdmor.NEW.fdi") == (row.replaced ? patched : old_output)) << row.name;
    EXPECT_TRUE(s.get("K7_Wealdmor.fdi") == sample_fdi_bytes()) << row.name;
    EXPECT_EQ(list_dir(s.dir.path()), (std::vector<std::string>{"K7_Wealdmor.NEW.fdi", "K7_Wealdmor.fdi"})) << row.name;
  }
}

TEST(ParleToolTest, DryRunLeavesTheDirectoryAsItWas) {
  Scratch s;
  s.put("K7_Wealdmor.fdi", sample_fdi_bytes());
  const auto before = s.snapshot();
  const RunResult r = s.parle({"fix", "K7_Wealdmor.fdi", "-n", "-o", "out.fdi"});
  EXPECT_EQ(r.out, fix_lines(3, sample_after(0)) + "would save 'out.fdi'\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(s.snapshot() == before);
}

TEST(ParleToolTest, TheInputItselfIsReplacedWhenNamedAsTheOutput) {
  const Bytes patched = sample_image_bytes(false, rebuilt_sample(2, sample::sample_files()));
  for (const bool terminal : {false, true}) {
    Scratch s;
    s.put("disk.xdf", sample_xdf_bytes());
    RunOptions options;
    options.terminal_input = terminal;
    options.stdin_text = terminal ? "y\n" : "";
    std::vector<std::string> args = {"fix", "-r", "2", "-o", "disk.xdf", "disk.xdf"};
    if (!terminal) args.insert(args.begin() + 1, "-f");
    const RunResult r = s.parle(args, options);
    EXPECT_EQ(r.status, 0) << terminal;
    EXPECT_EQ(r.out, fix_lines(2, sample_after(0)) + "replaced 'disk.xdf'\n") << terminal;
    EXPECT_TRUE(s.get("disk.xdf") == patched) << terminal;
    EXPECT_EQ(list_dir(s.dir.path()), std::vector<std::string>{"disk.xdf"}) << terminal;
  }
}

TEST(ParleToolTest, AFixThatCannotLoadOrSaveWritesNothing) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string err_start;  // the one line on standard error begins so
  };
  const Row rows[] = {
      {"missing image", {"fix", "nope.fdi"}, "parle: nope.fdi: cannot open: No such file or directory\n"},
      {"a directory as the image", {"fix", "sub"}, "parle: sub: is a directory, not a disk image\n"},
      {"a directory as the output",
       {"fix", "-o", "sub", "disk.fdi"},
       "parle: sub is a directory; name the output file with --output\n"},
      {"an output in no directory",
       {"fix", "-o", "none/out.fdi", "disk.fdi"},
       "parle: none/out.fdi: cannot save: cannot create a file there; check that the directory exists and is "
       "writable\n"},
      {"a loop of links as the output",
       {"fix", "-f", "-o", "loop.fdi", "disk.fdi"},
       "parle: loop.fdi: cannot save: too many levels of symbolic links (a loop?); fix the link or choose another "
       "output\n"},
  };
  for (const Row& row : rows) {
    Scratch s;
    s.put("disk.fdi", sample_fdi_bytes());
    std::filesystem::create_directory(s.dir / "sub");
    std::filesystem::create_symlink("loop.fdi", s.dir / "loop.fdi");
    const auto before = s.snapshot();
    const RunResult r = s.parle(row.args);
    EXPECT_EQ(r.status, 1) << row.name;
    EXPECT_EQ(r.out, "") << row.name;
    EXPECT_EQ(r.err.substr(0, row.err_start.size()), row.err_start) << row.name;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << row.name << ": " << r.err;
    EXPECT_TRUE(s.snapshot() == before) << row.name;
    EXPECT_TRUE(list_dir(s.dir / "sub").empty()) << row.name;
  }
}

TEST(ParleToolTest, VerboseAddsThePatchProgramsRecordLinesOnStandardError) {
  Scratch s;
  s.put("K7_Wealdmor.fdi", sample_fdi_bytes());
  const RunResult r = s.parle({"fix", "-v", "-r1", "K7_Wealdmor.fdi"});
  EXPECT_EQ(r.err, patch_transcript(1, sample_after(0), "", "").out);
  EXPECT_EQ(r.out, fix_lines(1, sample_after(0)) + "saved 'K7_Wealdmor.NEW.fdi'\n");
  EXPECT_EQ(r.status, 0);
}

TEST(ParleToolTest, OptionsComeInEveryForm) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string written;  // the output file
  };
  const Row rows[] = {
      {"--output=PATH", {"fix", "--output=a.xdf", "disk.xdf"}, "a.xdf"},
      {"-oPATH", {"fix", "-oa.xdf", "disk.xdf"}, "a.xdf"},
      {"options after the image", {"fix", "disk.xdf", "-o", "a.xdf", "-r", "3"}, "a.xdf"},
      {"clustered short options", {"fix", "-fr3", "disk.xdf"}, "disk.NEW.xdf"},
      {"-- before an image named like an option", {"fix", "--", "-disk.xdf"}, "-disk.NEW.xdf"},
  };
  for (const Row& row : rows) {
    Scratch s;
    s.put("disk.xdf", sample_xdf_bytes());
    s.put("-disk.xdf", sample_xdf_bytes());
    const RunResult r = s.parle(row.args);
    EXPECT_EQ(r.status, 0) << row.name << ": " << r.err;
    EXPECT_TRUE(file_exists(s.dir / row.written)) << row.name;
  }
}

// An image and no command, as Explorer starts parle for an image dropped onto it: info,
// then the offer to fix it with the revision fix would pick, answered on standard input.
// On Linux the console never closes with the program, so nothing waits for Enter.
TEST(ParleToolTest, AnImageAloneShowsItsInfoAndOffersTheFix) {
  const Bytes patched = sample_image_bytes(false, rebuilt_sample(3, sample::sample_files()));
  const std::string info = info_block("disk.xdf", "raw", sample_after(0), {"applies", "applies", "applies"});
  const std::string offer = "fix it with revision 3 and save it as 'disk.NEW.xdf'? [y/N] ";
  const std::string saved = fix_lines(3, sample_after(0)) + "saved 'disk.NEW.xdf'\n";
  struct Row {
    const char* name;
    std::string image;  // the one operand
    bool terminal;
    std::string typed;
    bool output_there;  // disk.NEW.xdf exists before the run
    int status;
    std::string out;
    std::string err;
    bool fixed;  // disk.NEW.xdf holds the patched image afterwards
  };
  const Row rows[] = {
      {"terminal, y", "disk.xdf", true, "y\n", false, 0, info + saved, offer, true},
      {"terminal, n", "disk.xdf", true, "n\n", false, 0, info, offer, false},
      {"terminal, end of input", "disk.xdf", true, "\x04", false, 0, info, offer + "\n", false},
      {"no terminal, y", "disk.xdf", false, "y\n", false, 0, info + saved, offer, true},
      {"no terminal, no input", "disk.xdf", false, "", false, 0, info, offer + "\n", false},
      {"terminal, y, and y to replace the output", "disk.xdf", true, "y\ny\n", true, 0,
       info + fix_lines(3, sample_after(0)) + "replaced 'disk.NEW.xdf'\n", offer + "overwrite 'disk.NEW.xdf'? [y/N] ",
       true},
      {"already patched: nothing offered", "disk.NEW.xdf", true, "y\n", true, 0,
       info_block(
           "disk.NEW.xdf", "raw", sample_after(3),
           {"does not apply (KEEP.TLK: byte 0x04A7 is 0x" + hex2(sample_file("KEEP.TLK")[0x04B1]) + ", expected 0x13)",
            "does not apply (KEEP.TLK: byte 0x04A7 is 0x" + hex2(sample_file("KEEP.TLK")[0x04B1]) + ", expected 0x13)",
            "patched"}),
       "", true},
      // Expected: whatever `parle info notes.txt` says, and nothing more.
      {"not an image: info's error, nothing offered", "notes.txt", true, "y\n", false, 1, "", "", false},
      {"no such file: an unknown command", "nothere.xdf", true, "y\n", false, 2, "",
       "parle: unknown command 'nothere.xdf' (info, fix or dump); see 'parle --help'\n", false},
      {"a directory: an unknown command", "sub", true, "y\n", false, 2, "",
       "parle: unknown command 'sub' (info, fix or dump); see 'parle --help'\n", false},
  };
  for (const Row& row : rows) {
    Scratch s;
    s.put("disk.xdf", sample_xdf_bytes());
    s.put("notes.txt", {'n', 'o', 't', 'e', 's', '\n'});
    std::filesystem::create_directory(s.dir / "sub");
    if (row.output_there) s.put("disk.NEW.xdf", row.image == "disk.NEW.xdf" ? patched : Bytes{'o', 'l', 'd'});
    RunOptions options;
    options.terminal_input = row.terminal;
    options.stdin_text = row.typed;
    const RunResult r = s.parle({row.image}, options);
    std::string err = row.err;
    if (row.image == "notes.txt") {
      const RunResult info = s.parle({"info", "notes.txt"});
      ASSERT_NE(info.err, "");
      err = info.err;
    }
    EXPECT_EQ(r.status, row.status) << row.name;
    EXPECT_EQ(r.out, row.out) << row.name;
    EXPECT_EQ(r.err, err) << row.name;
    EXPECT_TRUE(s.get("disk.xdf") == sample_xdf_bytes()) << row.name << ": the image changed";
    if (row.fixed) {
      EXPECT_TRUE(s.get("disk.NEW.xdf") == patched) << row.name;
    } else if (row.output_there) {
      EXPECT_TRUE(s.get("disk.NEW.xdf") == Bytes({'o', 'l', 'd'})) << row.name;
    } else {
      EXPECT_FALSE(std::filesystem::exists(s.dir / "disk.NEW.xdf")) << row.name << ": something was saved";
    }
  }
}

TEST(ParleToolTest, UsageErrorsExitTwoAndWriteNothing) {
  struct Row {
    std::vector<std::string> args;
    std::string err;  // exact, or empty: one line beginning "parle"
  };
  const Row rows[] = {
      {{}, "parle: no command given (info, fix or dump); see 'parle --help'\n"},
      {{"patch", "disk.xdf"}, "parle: unknown command 'patch' (info, fix or dump); see 'parle --help'\n"},
      {{"--json", "info", "disk.xdf"}, "parle: unknown option '--json' before the command; see 'parle --help'\n"},
      {{"fix"}, "parle fix: no image given; see 'parle fix --help'\n"},
      {{"fix", "-r", "4", "disk.xdf"},
       "parle fix: revision '4' does not exist: give 1, 2 or 3; see 'parle fix --help'\n"},
      {{"fix", "--revision=0", "disk.xdf"}, ""},
      {{"fix", "-r", "1x", "disk.xdf"}, ""},
      {{"fix", "disk.xdf", "-r"}, "parle fix: option '-r' needs a value; see 'parle fix --help'\n"},
      {{"fix", "disk.xdf", "--output"}, "parle fix: option '--output' needs a value; see 'parle fix --help'\n"},
      {{"fix", "-x", "disk.xdf"}, "parle fix: unknown option '-x'; see 'parle fix --help'\n"},
      {{"fix", "--frobnicate", "disk.xdf"}, "parle fix: unknown option '--frobnicate'; see 'parle fix --help'\n"},
      {{"fix", "disk.xdf", "disk.xdf"},
       "parle fix: one image at a time ('disk.xdf' is one too many); see 'parle fix --help'\n"},
      {{"info"}, "parle info: no image given; see 'parle info --help'\n"},
      {{"info", "--sjis", "disk.xdf"}, ""},
      {{"dump"}, "parle dump: no image given; see 'parle dump --help'\n"},
      {{"dump", "disk.xdf", "disk.xdf"}, ""},
      {{"dump", "--json", "disk.xdf"}, ""},
  };
  for (const Row& row : rows) {
    Scratch s;
    s.put("disk.xdf", sample_xdf_bytes());
    const auto before = s.snapshot();
    const RunResult r = s.parle(row.args);
    std::string name;
    for (const std::string& a : row.args) name += " " + a;
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(r.out, "") << name;
    if (!row.err.empty()) {
      EXPECT_EQ(r.err, row.err) << name;
    } else {
      EXPECT_EQ(r.err.rfind("parle", 0), 0u) << name;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << name;
    }
    EXPECT_TRUE(s.snapshot() == before) << name;
  }
}

TEST(ParleToolTest, HelpAndVersion) {
  Scratch s;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                               {"-h"},
                                               {"fix", "--help"},
                                               {"fix", "disk.xdf", "-h"},
                                               {"info", "-h"},
                                               {"dump", "--help"}}) {
    const RunResult r = s.parle(args);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_EQ(r.out.rfind("usage: parle", 0), 0u) << args[0];
    EXPECT_EQ(r.err, "");
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"}, {"info", "--version"}}) {
    const RunResult r = s.parle(args);
    EXPECT_EQ(r.out, std::string("parle ") + kParleVersion + "\n");
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_STREQ(kParleVersion, "1.1.0");
}

// ---- info: several images, errors, JSON ----------------------------------------------

TEST(ParleToolTest, InfoReportsEveryImageAndFailsIfAnyCannotBeRead) {
  Scratch s;
  s.put("disk.xdf", sample_xdf_bytes());
  s.put("notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
  std::vector<sample::SampleFile> files = sample::sample_files();
  files.erase(files.begin() + 1);  // no DWELLING.TLK
  s.put("nodwell.xdf", sample_image_bytes(false, files));

  const RunResult r = s.parle({"info", "missing.fdi", "disk.xdf", "notes.txt", "nodwell.xdf"});
  EXPECT_EQ(r.status, 1);
  // The loader's own words for a file that is no image are its business; the line is parle's.
  const std::string missing = "parle: missing.fdi: cannot open: No such file or directory\n";
  EXPECT_EQ(r.err.substr(0, missing.size()), missing);
  EXPECT_EQ(r.err.find("parle: notes.txt: ", missing.size()), missing.size()) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  const FileMap all = sample_after(0);
  std::string nodwell =
      info_block("nodwell.xdf", "raw", all, {"does not apply (DWELLING.TLK: not found)", "applies", "applies"});
  const std::string dwelling_line = "  DWELLING.TLK   9466 bytes  crc32 " + crc_hex(all.at("DWELLING.TLK")) + "\n";
  nodwell.replace(nodwell.find(dwelling_line), dwelling_line.size(), "  DWELLING.TLK not found\n");
  EXPECT_EQ(r.out, info_block("disk.xdf", "raw", all, {"applies", "applies", "applies"}) + "\n" + nodwell);
}

// Turns parle's JSON back into info's text (and its error lines into parle's standard
// error), checking the fields' types on the way.
constexpr const char* kJsonToText = R"PY(
import json, re, sys
data = json.load(open(sys.argv[1], encoding="utf-8"))
assert isinstance(data, list)
blocks = []
for o in data:
    if "error" in o:
        assert set(o) == {"image", "error"}, o
        sys.stderr.buffer.write(("parle: %s: %s\n" % (o["image"], o["error"])).encode("utf-8"))
        continue
    assert o["form"] in ("raw", "fdi", "dip", "d88", "dim", "nfd", "fdd", "dcp")
    g = o["geometry"]
    lines = ["%s: %s, %d cylinders, %d heads, %d sectors of %d bytes%s" % (o["image"], o["form"], g["cylinders"],
             g["heads"], g["sectors_per_track"], g["bytes_per_sector"], ", write-protected" if o["write_protected"] else "")]
    for f in o["files"]:
        if "error" in f:
            lines.append("  %-12s %s" % (f["name"], f["error"]))
        else:
            assert re.fullmatch("[0-9A-F]{8}", f["crc32"]), f
            lines.append("  %-12s %6d bytes  crc32 %s" % (f["name"], f["size"], f["crc32"]))
    for r in o["revisions"]:
        assert r["status"] in ("applies", "patched", "does not apply")
        assert (r["reason"] is None) == (r["status"] != "does not apply")
        lines.append("  revision %d: %s%s" % (r["revision"], r["status"], " (%s)" % r["reason"] if r["reason"] else ""))
    blocks.append("\n".join(lines) + "\n")
sys.stdout.buffer.write("\n".join(blocks).encode("utf-8"))
)PY";

TEST(ParleToolTest, JsonParsesAndHoldsWhatInfoPrints) {
  const char* python = "/usr/bin/python3";
  if (access(python, X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
  Scratch s;
  s.put("disk.fdi", sample_fdi_bytes());
  ASSERT_EQ(s.tool("parlefix-fdi2", {"-o", "p2.fdi", "disk.fdi"}).status, 0);
  const std::string odd_name = "odd\xff\xfe name.xdf";  // not UTF-8
  s.put(odd_name, sample_xdf_bytes());
  s.put("junk.img", Bytes(3000, 0xE5));

  const std::vector<std::string> images = {"disk.fdi", "p2.fdi", odd_name, "junk.img", "gone.xdf"};
  std::vector<std::string> args = {"info"};
  args.insert(args.end(), images.begin(), images.end());
  const RunResult text = s.parle(args);
  args.insert(args.begin() + 1, "--json");
  const RunResult json = s.parle(args);
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(json.err, text.err);
  s.put("out.json", Bytes(json.out.begin(), json.out.end()));

  const RunResult back = run_program(python, {"-c", kJsonToText, s.dir / "out.json"});
  ASSERT_EQ(back.status, 0) << back.err;
  // Bytes that are not UTF-8 come back as U+FFFD, one for each.
  std::string expected_out = text.out;
  std::string expected_err = text.err;
  for (std::string* t : {&expected_out, &expected_err}) {
    for (std::size_t at; (at = t->find_first_of("\xff\xfe")) != std::string::npos;) t->replace(at, 1, "\xEF\xBF\xBD");
  }
  EXPECT_EQ(back.out, expected_out);
  EXPECT_EQ(back.err, expected_err);
  EXPECT_NE(text.out.find("  revision 2: patched\n"), std::string::npos);
}

// ---- Write protection ----------------------------------------------------------------

TEST(ParleToolTest, AWriteProtectedImageIsPatchedOnlyWithForceAndStaysProtected) {
  const std::string d88 = std::string(PARLE_SAMPLE_DIR) + "/K7_Wealdmor.d88";
  if (!file_exists(d88)) GTEST_SKIP() << "the build made no D88 sample";
  constexpr std::size_t kD88WriteProtect = 0x1A;  // 1 byte: 0x10 on, 0x00 off
  Bytes image = read_file(d88);
  image[kD88WriteProtect] = 0x10;
  Scratch s;
  s.put("disk.d88", image);
  RunResult r = s.parle({"fix", "disk.d88"});
  EXPECT_EQ(r.err, "parle: disk.d88: the image is marked write-protected; use --force to patch it all the same\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(list_dir(s.dir.path()), std::vector<std::string>{"disk.d88"});
  r = s.parle({"fix", "-f", "disk.d88"});
  EXPECT_EQ(r.status, 0) << r.err;
  const Bytes out = s.get("disk.NEW.d88");
  ASSERT_EQ(out.size(), image.size());
  EXPECT_EQ(out[kD88WriteProtect], 0x10);
  r = s.parle({"info", "disk.NEW.d88"});
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1),
            "disk.NEW.d88: d88, 77 cylinders, 2 heads, 8 sectors of 1024 bytes, write-protected\n");
}

}  // namespace
