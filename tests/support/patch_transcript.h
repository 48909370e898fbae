// What a patch tool prints during its patch pass, worked out from the files on the disk:
// for each target of the revision, "modifying", the volume library's notices, one line
// per patch record (each '!' record with one line per offset-table entry, its values
// taken from the file) and "modified", up to the first step that fails and its ERROR
// line. The record lines are written out here on their own, apart from the tools' patch
// tables, so that a slip in either shows.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// The conversation files found in the image's root directory, by upper-case name.
using FileMap = std::map<std::string, std::vector<std::uint8_t>>;

struct PassTranscript {
  std::string out;  // everything the pass prints
  bool ok;          // the pass ran to its end
};

// `input` and `output` are the image paths as the tool names them in its ERROR lines.
PassTranscript patch_transcript(int revision, const FileMap& files, const std::string& input, const std::string& output);

}  // namespace testing_support
