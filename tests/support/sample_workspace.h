// Whole-program runs of the patch tools on the sample disk: a temporary working
// directory holding one image under the tools' default name, the run itself (nothing
// may reach standard error, and the input image must never change), and the files and
// images a correct run produces.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample/sample_disk.h"
#include "tests/support/patch_transcript.h"
#include "tests/support/process.h"
#include "tests/support/rebuilt_files.h"

namespace testing_support {

inline const char* default_image_name(bool fdi) { return fdi ? "K7_Wealdmor.fdi" : "k7-wealdmoor.xdf"; }
inline const char* derived_image_name(bool fdi) { return fdi ? "K7_Wealdmor.NEW.fdi" : "k7-wealdmoor.NEW.xdf"; }

inline std::string upper_case(std::string name) {
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return name;
}

// The conversation files by upper-case name, as the tools look them up.
inline FileMap file_map(const std::vector<sample::SampleFile>& files) {
  FileMap map;
  for (const sample::SampleFile& f : files) map[upper_case(f.name)] = f.data;
  return map;
}

// The files as revision `revision` leaves them: the ones it rebuilds replaced in place.
inline std::vector<sample::SampleFile> rebuilt_sample(int revision, std::vector<sample::SampleFile> files) {
  for (sample::SampleFile& f : files) {
    for (const std::string& name : revision_files(revision)) {
      if (upper_case(f.name) == name) f.data = rebuilt_file(revision, name, f.data);
    }
  }
  return files;
}

struct Workspace {
  TempDir dir;
  bool fdi;
  std::string image_name;
  std::vector<std::uint8_t> image;

  Workspace(bool fdi_form, const std::vector<std::uint8_t>& bytes)
      : fdi(fdi_form), image_name(default_image_name(fdi_form)), image(bytes) {
    write_file(dir / image_name, image);
  }
  // The sample disk, or a variant of its files, in the given geometry.
  explicit Workspace(bool fdi_form, const std::vector<sample::SampleFile>& files = sample::sample_files(),
                     int geometry = kGeometry1232)
      : Workspace(fdi_form, sample::sample_image(fdi_form, files, geometry)) {}

  RunResult run(const std::string& program, const std::vector<std::string>& args, RunOptions options = {}) {
    options.cwd = dir.path();
    RunResult r = run_program(program_path(program), args, options);
    EXPECT_EQ(r.err, "") << program << ": nothing may reach standard error";
    EXPECT_EQ(read_file(dir / image_name), image) << program << ": the input image changed";
    return r;
  }
};

}  // namespace testing_support
