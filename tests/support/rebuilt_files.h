// What each patch revision makes of a conversation file, written as the layout of the
// rebuilt file (which target range comes from which source range, which bytes are new,
// which offset-table entries are shifted), independently of the patch record tables, so
// that tests can compare the tools' work with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The files a revision (1, 2 or 3) rebuilds, in the order it takes them.
std::vector<std::string> revision_files(int revision);

// The size every rebuilt file keeps.
std::int32_t rebuilt_length(const std::string& file);

// The file `file` as revision `revision` rebuilds it from `source` (at least the file's
// length of bytes). Throws for a file the revision does not touch.
std::vector<std::uint8_t> rebuilt_file(int revision, const std::string& file, const std::vector<std::uint8_t>& source);

}  // namespace testing_support
