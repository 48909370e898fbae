// Whole-program runs of the patch tools: exact standard output, exit status, the files
// left behind, and an input image that never changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/sample_workspace.h"
#include "tools/settings.h"

using namespace testing_support;

namespace {

struct ToolText {
  const char* program;
  bool fdi;
  int revision;
  const char* line1;
  const char* line5;
  const char* line6;
};

const ToolText kTools[] = {
    {"parlefix-fdi", true, 1, "usage: parlefix-fdi [options] [DISK-IMG]\n", "supported disk image format is *.fdi only\n",
     "read Wealdmoor disk image from 'K7_Wealdmor.fdi' if not specified\n"},
    {"parlefix-fdi2", true, 2, "usage: parlefix-fdi2 [options] [DISK-IMG]\n", "supported disk image format is *.fdi only\n",
     "read Wealdmoor disk image from 'K7_Wealdmor.fdi' if not specified\n"},
    {"parlefix-fdi3", true, 3, "usage: parlefix-fdi3 [options] [DISK-IMG]\n", "supported disk image format is *.fdi only\n",
     "read Wealdmoor disk image from 'K7_Wealdmor.fdi' if not specified\n"},
    {"parlefix-xdf", false, 1, "usage: parlefix-xdf [options] [DISK-IMG]\n", "supported disk image format is *.xdf only\n",
     "read Wealdmoor disk image from 'k7-wealdmoor.xdf' if not specified\n"},
    {"parlefix-xdf2", false, 2, "usage: parlefix-xdf2 [options] [DISK-IMG]\n", "supported disk image format is *.xdf only\n",
     "read Wealdmoor disk image from 'k7-wealdmoor.xdf' if not specified\n"},
    {"parlefix-xdf3", false, 3, "usage: parlefix-xdf3 [options] [DISK-IMG]\n", "supported disk image format is *.xdf only\n",
     "read Wealdmoor disk image from 'k7-wealdmoor.xdf' if not specified\n"},
};

std::string usage(const ToolText& t) {
  return std::string(t.line1) +
         "option: --write|-o DISK-IMG     write modified Wealdmoor Disk to specified file\n"
         "        --help                  print usage\n"
         "\n" +
         t.line5 + t.line6 + "write modified disk image to filename.NEW.ext if not specified\n";
}

// What a successful patch pass of a revision prints over the sample disk.
std::string pass_lines(int revision) {
  return patch_transcript(revision, file_map(sample::sample_files()), "", "").out;
}

// The sample disk in the given form after a revision's patch pass.
std::vector<std::uint8_t> patched_image(int revision, bool fdi) {
  return sample::sample_image(fdi, rebuilt_sample(revision, sample::sample_files()));
}

TEST(PatchToolTest, EveryToolSavesUnderTheDerivedNameAndPrintsItsUsage) {
  for (const ToolText& t : kTools) {
    Workspace ws(t.fdi);
    RunResult r = ws.run(t.program, {});
    EXPECT_EQ(r.out, pass_lines(t.revision) + "completed\n") << t.program;
    EXPECT_EQ(r.status, 0) << t.program;
    const std::string derived = t.fdi ? "K7_Wealdmor.NEW.fdi" : "k7-wealdmoor.NEW.xdf";
    EXPECT_EQ(read_file(ws.dir / derived), patched_image(t.revision, t.fdi)) << t.program;

    r = ws.run(t.program, {"--help"});
    EXPECT_EQ(r.out, usage(t)) << t.program;
    EXPECT_EQ(r.status, 1) << t.program;
  }
  // The settings table the programs are built from says the same.
  for (std::size_t i = 0; i < std::size(kTools); ++i) EXPECT_STREQ(kPatchTools[i]->program, kTools[i].program);
}

struct ArgCase {
  const char* name;
  std::vector<std::string> args;
  std::string out;
  int status;
  std::vector<std::string> files;  // the directory afterwards
};

TEST(PatchToolTest, CommandLine) {
  const ToolText& fdi = kTools[0];
  const std::string completed = pass_lines(1) + "completed\n";
  const ArgCase cases[] = {
      {"--help after a path", {"K7_Wealdmor.fdi", "--help"}, usage(fdi), 1, {"K7_Wealdmor.fdi"}},
      {"second path before --help", {"x.fdi", "y.fdi", "--help"}, "unneeded parameter 'y.fdi'\n\n", 1, {"K7_Wealdmor.fdi"}},
      {"-o last", {"-o"}, "no disk image (output)\n", 1, {"K7_Wealdmor.fdi"}},
      {"--write last", {"K7_Wealdmor.fdi", "--write"}, "no disk image (output)\n", 1, {"K7_Wealdmor.fdi"}},
      {"later output wins", {"-o", "a.fdi", "--write", "b.fdi"}, completed, 0, {"K7_Wealdmor.fdi", "b.fdi"}},
      {"-o takes --help as a path", {"-o", "--help"}, completed, 0, {"--help", "K7_Wealdmor.fdi"}},
      {"lone dash", {"-"}, "unknown option '-'\n", 1, {"K7_Wealdmor.fdi"}},
      {"upper-case -O", {"-O", "x"}, "unknown option '-O'\n", 1, {"K7_Wealdmor.fdi"}},
      {"percent in an argument", {"-%s%n"}, "unknown option '-%s%n'\n", 1, {"K7_Wealdmor.fdi"}},
      {"options after the path", {"K7_Wealdmor.fdi", "-o", "c.fdi"}, completed, 0, {"K7_Wealdmor.fdi", "c.fdi"}},
      {"empty argument is the path", {""}, "open error ''\nERROR: read disk image ''\n", 1, {"K7_Wealdmor.fdi"}},
      {"missing image", {"none.fdi"}, "open error 'none.fdi'\nERROR: read disk image 'none.fdi'\n", 1, {"K7_Wealdmor.fdi"}},
      {"derived name beside a dotted directory", {"./K7_Wealdmor.fdi"}, completed, 0, {"K7_Wealdmor.NEW.fdi", "K7_Wealdmor.fdi"}},
  };
  for (const ArgCase& c : cases) {
    Workspace ws(true);
    RunResult r = ws.run(fdi.program, c.args);
    EXPECT_EQ(r.out, c.out) << "row: " << c.name;
    EXPECT_EQ(r.status, c.status) << "row: " << c.name;
    EXPECT_EQ(list_dir(ws.dir.path()), c.files) << "row: " << c.name;
  }
}

TEST(PatchToolTest, WrongFormOrSizeIsRefusedByTheLoader) {
  Workspace ws(false);  // an XDF image, given to the FDI tool
  RunResult r = ws.run("parlefix-fdi", {"k7-wealdmoor.xdf"});
  EXPECT_EQ(r.out, "unsupported image 'k7-wealdmoor.xdf'\nERROR: read disk image 'k7-wealdmoor.xdf'\n");
  EXPECT_EQ(r.status, 1);
  // Every geometry loads through a tool.
  for (int g : {kGeometry720, kGeometry640}) {
    Workspace small(false, sample::sample_files(), g);
    r = small.run("parlefix-xdf3", {});
    EXPECT_EQ(r.out, pass_lines(3) + "completed\n") << g;
  }
}

struct PromptCase {
  const char* name;
  std::string input;
  bool close_stdin;
  int status;
  bool saved;
};

TEST(PatchToolTest, OverwritePrompt) {
  const PromptCase cases[] = {
      {"x, line end, then y", "x\ny\n", false, 0, true},
      {"upper-case Y", "Y", false, 0, true},
      {"n", "n\n", false, 1, false},
      {"N after blanks", "  N", false, 1, false},
      {"end of input", "", false, 1, false},
      {"no standard input", "", true, 1, false},
      {"end of input after other characters", "abc\n", false, 1, false},
  };
  const std::vector<std::uint8_t> old_output{'o', 'l', 'd'};
  for (const PromptCase& c : cases) {
    Workspace ws(true);
    write_file(ws.dir / "out.fdi", old_output);
    RunOptions o;
    o.stdin_text = c.input;
    o.close_stdin = c.close_stdin;
    RunResult r = ws.run("parlefix-fdi", {"-o", "out.fdi"}, o);
    const std::string prompt = pass_lines(1) + "already exists 'out.fdi'\noverwrite ? (Y or N): ";
    EXPECT_EQ(r.out, c.saved ? prompt + "completed\n" : prompt) << "row: " << c.name;
    EXPECT_EQ(r.status, c.status) << "row: " << c.name;
    EXPECT_EQ(read_file(ws.dir / "out.fdi"), c.saved ? patched_image(1, true) : old_output) << "row: " << c.name;
    EXPECT_EQ(list_dir(ws.dir.path()), (std::vector<std::string>{"K7_Wealdmor.fdi", "out.fdi"})) << "row: " << c.name;
  }
}

// The prompt reaches a pipe before the tool waits for its answer: the answer is written
// only once "overwrite ? (Y or N): " has been read from the tool's standard output.
TEST(PatchToolTest, PromptIsReadableBeforeTheAnswer) {
  Workspace ws(true);
  write_file(ws.dir / "out.fdi", {'o', 'l', 'd'});
  RunOptions o;
  o.stdin_text = "y\n";
  o.stdin_after = "overwrite ? (Y or N): ";
  const RunResult r = ws.run("parlefix-fdi", {"-o", "out.fdi"}, o);
  EXPECT_FALSE(r.input_held_back) << "the prompt was still in the tool's buffer while it waited for the answer";
  EXPECT_EQ(r.out, pass_lines(1) + "already exists 'out.fdi'\noverwrite ? (Y or N): completed\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(ws.dir / "out.fdi"), patched_image(1, true));
}

TEST(PatchToolTest, SavingOverTheInputAfterYes) {
  TempDir dir;
  const std::vector<std::uint8_t> image = sample::sample_fdi();
  write_file(dir / "disk.fdi", image);
  RunOptions o;
  o.cwd = dir.path();
  o.stdin_text = "y\n";
  RunResult r = run_program(program_path("parlefix-fdi"), {"disk.fdi", "-o", "disk.fdi"}, o);
  EXPECT_EQ(r.out, pass_lines(1) + "already exists 'disk.fdi'\noverwrite ? (Y or N): completed\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir / "disk.fdi"), patched_image(1, true));
  EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"disk.fdi"}));
}

TEST(PatchToolTest, FailedSaveLeavesTheOutputAsItWas) {
  const std::vector<std::uint8_t> old_output(5000, 0x42);
  {
    // The file-size limit makes the write of the new image fail part way.
    Workspace ws(true);
    write_file(ws.dir / "out.fdi", old_output);
    RunOptions o;
    o.stdin_text = "y";
    o.file_size_limit = 100000;
    RunResult r = ws.run("parlefix-fdi", {"-o", "out.fdi"}, o);
    EXPECT_EQ(r.out, pass_lines(1) +
              "already exists 'out.fdi'\noverwrite ? (Y or N): write error 'out.fdi'\n"
              "ERROR: write disk image 'out.fdi'\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(ws.dir / "out.fdi"), old_output);
    EXPECT_EQ(list_dir(ws.dir.path()), (std::vector<std::string>{"K7_Wealdmor.fdi", "out.fdi"}));
  }
  {
    // Nothing existed: nothing is left behind.
    Workspace ws(true);
    RunOptions o;
    o.file_size_limit = 100000;
    RunResult r = ws.run("parlefix-fdi", {}, o);
    EXPECT_EQ(r.out, pass_lines(1) + "write error 'K7_Wealdmor.NEW.fdi'\nERROR: write disk image 'K7_Wealdmor.NEW.fdi'\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(list_dir(ws.dir.path()), (std::vector<std::string>{"K7_Wealdmor.fdi"}));
  }
  {
    Workspace ws(true);
    RunOptions o;
    o.stdin_text = "y";
    RunResult r = ws.run("parlefix-fdi", {"--write", "/dev/full"}, o);
    EXPECT_EQ(r.out, pass_lines(1) +
              "already exists '/dev/full'\noverwrite ? (Y or N): write error '/dev/full'\n"
              "ERROR: write disk image '/dev/full'\n");
    EXPECT_EQ(r.status, 1);
  }
  {
    Workspace ws(true);
    RunResult r = ws.run("parlefix-fdi", {"-o", "no/such/dir/out.fdi"});
    EXPECT_EQ(r.out, pass_lines(1) + "open error 'no/such/dir/out.fdi'\nERROR: write disk image 'no/such/dir/out.fdi'\n");
    EXPECT_EQ(r.status, 1);
  }
}

TEST(PatchToolTest, ReadOnlyOutputIsRefused) {
  // As root every file is writable; the tool then runs as an unprivileged user who owns
  // the directory, so that only the file's own mode stands in the way.
  Workspace ws(true);
  const std::vector<std::uint8_t> old_output{'r', 'o'};
  write_file(ws.dir / "ro.fdi", old_output);
  RunOptions o;
  o.stdin_text = "y";
  if (geteuid() == 0) {
    o.uid = 65534;
    for (const char* name : {"", "/ro.fdi", "/K7_Wealdmor.fdi"}) {
      ASSERT_EQ(chown((ws.dir.path() + name).c_str(), 65534, 65534), 0);
    }
  }
  ASSERT_EQ(chmod((ws.dir / "ro.fdi").c_str(), 0444), 0);
  // A copy of the program inside the directory, since the build tree may be closed to
  // that user.
  const std::string tool = ws.dir / "parlefix-fdi3";
  write_file(tool, read_file(program_path("parlefix-fdi3")));
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  o.cwd = ws.dir.path();
  RunResult r = run_program(tool, {"-o", "ro.fdi"}, o);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(ws.dir / "K7_Wealdmor.fdi"), ws.image);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("already exists 'ro.fdi'\noverwrite ? (Y or N): open error 'ro.fdi'\n"
                       "ERROR: write disk image 'ro.fdi'\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(read_file(ws.dir / "ro.fdi"), old_output);
  EXPECT_EQ(list_dir(ws.dir.path()), (std::vector<std::string>{"K7_Wealdmor.fdi", "parlefix-fdi3", "ro.fdi"}));
}

// Outputs the save must refuse or must be able to make: the exact lines, the status,
// and nothing left behind or changed.
TEST(PatchToolTest, OutputsBehindLinksAndLongNames) {
  {
    // A loop of links is an error, not a missing file to create in the link's place.
    Workspace ws(false);
    ASSERT_EQ(symlink("loop2.xdf", (ws.dir / "loop.xdf").c_str()), 0);
    ASSERT_EQ(symlink("loop.xdf", (ws.dir / "loop2.xdf").c_str()), 0);
    RunResult r = ws.run("parlefix-xdf3", {"-o", "loop.xdf"});
    EXPECT_EQ(r.out, pass_lines(3) + "open error 'loop.xdf'\nERROR: write disk image 'loop.xdf'\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(list_dir(ws.dir.path()), (std::vector<std::string>{"k7-wealdmoor.xdf", "loop.xdf", "loop2.xdf"}));
  }
  if (geteuid() == 0) {
    // A link another user planted in a sticky, world-writable directory is not followed,
    // as the shell's own redirection would not follow it.
    Workspace ws(false);
    TempDir shared;
    ASSERT_EQ(chmod(shared.path().c_str(), 01777), 0);
    const std::vector<std::uint8_t> victim{'v'};
    write_file(ws.dir / "victim", victim);
    ASSERT_EQ(symlink((ws.dir / "victim").c_str(), (shared / "out.xdf").c_str()), 0);
    ASSERT_EQ(lchown((shared / "out.xdf").c_str(), 65534, 65534), 0);
    RunOptions o;
    o.stdin_text = "y";
    RunResult r = ws.run("parlefix-xdf3", {"-o", shared / "out.xdf"}, o);
    EXPECT_EQ(r.out, pass_lines(3) + "already exists '" + (shared / "out.xdf") + "'\noverwrite ? (Y or N): open error '" +
                         (shared / "out.xdf") + "'\nERROR: write disk image '" + (shared / "out.xdf") + "'\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(ws.dir / "victim"), victim);
    EXPECT_EQ(list_dir(shared.path()), (std::vector<std::string>{"out.xdf"}));
  }
  {
    // The longest names the file system takes can be saved and replaced.
    Workspace ws(false);
    const std::string name = std::string(246, 'k') + ".xdf";
    RunResult r = ws.run("parlefix-xdf3", {"-o", name});
    EXPECT_EQ(r.out, pass_lines(3) + "completed\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(ws.dir / name), patched_image(3, false));
    EXPECT_EQ(list_dir(ws.dir.path()), (std::vector<std::string>{"k7-wealdmoor.xdf", name}));
  }
}

}  // namespace
