#include "tests/support/patch_transcript.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "common/le.h"
#include "tests/support/rebuilt_files.h"

namespace testing_support {

namespace {

// One printed step of a record list: a plain line, a verified byte (the line, then the
// source byte at `at` must equal `expect`), or an offset-table range.
struct Step {
  enum Kind { kLine, kVerify, kEntries };
  Kind kind;
  std::string line;
  std::int32_t at = 0;      // kVerify: source offset; kEntries: first entry
  int expect = 0;           // kVerify
  std::int32_t length = 0;  // kEntries: bytes of the range
  int delta = 0;            // kEntries
};

[[gnu::format(printf, 1, 2)]] std::string format(const char* f, ...) {
  char buf[128];
  std::va_list args;
  va_start(args, f);
  std::vsnprintf(buf, sizeof buf, f, args);
  va_end(args);
  return buf;
}

Step line(std::string text) { return {Step::kLine, std::move(text) + "\n"}; }
Step copy(unsigned length, unsigned from, unsigned to) {
  return line(format("copy %u(%X) byte from %04X to %04X", length, length, from, to));
}
Step erase(unsigned at, unsigned expect) {
  return {Step::kVerify, format("erace data %04X:%02X\n", at, expect), static_cast<std::int32_t>(at), static_cast<int>(expect)};
}
Step change(unsigned at, unsigned expect, unsigned to, unsigned value) {
  return {Step::kVerify, format("change data %04X:%02X -> %04X:%02X\n", at, expect, to, value),
          static_cast<std::int32_t>(at), static_cast<int>(expect)};
}
Step entries(std::int32_t at, std::int32_t length, int delta) {
  return {Step::kEntries, "modify offset table\n", at, 0, length, delta};
}

std::vector<Step> steps(int revision, const std::string& file) {
  if (file == "DWELLING.TLK") {
    return {line("copy all"), change(0x19F8, 0xD3, 0x19F8, 0xDF), change(0x19FC, 0xDB, 0x19FC, 0xD8),
            change(0x1A06, 0xDB, 0x1A06, 0xD9)};
  }
  if (file == "KEEP.TLK") {
    std::vector<Step> s = {copy(68, 0x0000, 0x0000), entries(0x0006, 0x3E, -10), copy(1123, 0x0044, 0x0044)};
    const unsigned dropped[] = {0x13, 0x48, 0x13, 0x35, 0x13, 0x28, 0x13, 0x3A, 0x96, 0x91};
    for (unsigned i = 0; i < 10; ++i) s.push_back(erase(0x04A7 + i, dropped[i]));
    s.push_back(copy(21357, 0x04B1, 0x04A7));
    const unsigned cleared[] = {0x2D, 0x64, 0x8E, 0xF2, 0xAB, 0xAF, 0xBF, 0xB0, 0xEF, 0x4F};
    for (unsigned i = 0; i < 10; ++i) s.push_back(change(0x5814 + i, cleared[i], 0x5814 + i, 0x00));
    if (revision == 1) s.push_back(change(0x175C, 0x8B, 0x1752, 0xBF));
    if (revision != 3) {
      s.push_back(change(0x1911, 0x8C, 0x1907, 0x98));
      s.push_back(copy(268, 0x1911, 0x1908));
      s.push_back(copy(3, 0x1A1F, 0x1A14));
    }
    return s;
  }
  if (file == "TOWNE.TLK" && revision != 1) {
    return {line("copy all"), entries(0x004C, 0x18, +1), change(0x689D, 0xFB, 0x689D, 0xB4), copy(7504, 0x689D, 0x689E)};
  }
  if (file == "TOWNE.TLK") {
    return {copy(10828, 0x0000, 0x0000),
            entries(0x0020, 0x2C, -8),
            entries(0x004C, 0x18, -7),
            change(0x2A4C, 0x1C, 0x2A4C, 0x1C),
            change(0x2A4D, 0x2F, 0x2A4D, 0x53),
            change(0x2A4E, 0x1C, 0x2A4E, 0x1C),
            change(0x2A4F, 0x58, 0x2A4F, 0x26),
            erase(0x2A50, 0x1C),
            erase(0x2A51, 0x50),
            copy(3, 0x2A52, 0x2A50),
            change(0x2A55, 0x1C, 0x2A53, 0x1C),
            change(0x2A56, 0x21, 0x2A54, 0x2B),
            change(0x2A57, 0x1C, 0x2A55, 0x1C),
            change(0x2A58, 0x37, 0x2A56, 0x5F),
            change(0x2A59, 0x1C, 0x2A57, 0x1C),
            change(0x2A5A, 0x79, 0x2A58, 0x5A),
            copy(63, 0x2A5B, 0x2A59),
            erase(0x2A9A, 0x1C),
            erase(0x2A9B, 0x33),
            erase(0x2A9C, 0x1C),
            erase(0x2A9D, 0x56),
            erase(0x2A9E, 0x1C),
            erase(0x2A9F, 0x77),
            copy(144, 0x2AA0, 0x2A98),
            change(0x2B30, 0xDA, 0x2B28, 0xD1),
            copy(15732, 0x2B31, 0x2B29),
            change(0x68A5, 0xFB, 0x689D, 0xB4),
            copy(7504, 0x68A5, 0x689E),
            copy(7, 0x85EE, 0x85EE)};
  }
  throw std::invalid_argument(file);
}

}  // namespace

PassTranscript patch_transcript(int revision, const FileMap& files, const std::string& input, const std::string& output) {
  PassTranscript t{"", false};
  for (const std::string& name : revision_files(revision)) {
    t.out += "modifying " + name + "\n";
    const auto found = files.find(name);
    if (found == files.end()) {
      t.out += "can't find '" + name + "'\n";
      t.out += "ERROR: read disk image '" + input + "/" + name + "'\n";
      return t;
    }
    const std::vector<std::uint8_t>& file = found->second;
    const auto size = static_cast<std::int32_t>(file.size());
    const std::int32_t length = rebuilt_length(name);
    if (size > length) {
      t.out += "file size error '" + name + "' " + std::to_string(size) + " > " + std::to_string(length) + "\n";
      t.out += "ERROR: read disk image '" + input + "/" + name + "'\n";
      return t;
    }
    if (size < length) {
      t.out += "file size mismatch '" + name + "' " + std::to_string(size) + " != " + std::to_string(length) +
               " ... ignored\n";
    }
    // The zeroed source buffer beyond the file's own bytes.
    auto byte = [&](std::int32_t at) -> unsigned { return at < size ? file[static_cast<std::size_t>(at)] : 0; };
    for (const Step& s : steps(revision, name)) {
      t.out += s.line;
      if (s.kind == Step::kVerify && static_cast<int>(byte(s.at)) != s.expect) {
        t.out += format("data mismatch %02X\n", byte(s.at));
        t.out += "ERROR: modify '" + name + "'\n";
        return t;
      }
      if (s.kind == Step::kEntries) {
        // Every list copies the header into the target before shifting its entries.
        for (std::int32_t i = 0; i < s.length; i += 2) {
          // The header lies inside every file these lists are run on.
          const auto old = static_cast<unsigned>(get_le16(&file.at(static_cast<std::size_t>(s.at + i) + 1) - 1));
          t.out += format("%04X:%02X -> %02X\n", static_cast<unsigned>(s.at + i), old,
                          static_cast<unsigned>(static_cast<int>(old) + s.delta));
        }
      }
    }
    if (size < length) {
      t.out += "file size error '" + name + "' " + std::to_string(size) + " < " + std::to_string(length) + "\n";
      t.out += "ERROR: write disk image '" + output + "/" + name + "'\n";
      return t;
    }
    t.out += "modified\n\n";
  }
  t.ok = true;
  return t;
}

}  // namespace testing_support
