// The patch interpreter on small buffers: the exact progress lines, the result, and the
// target afterwards (its first `length` bytes, and the untouched bytes beyond them).
#include "patch/record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/process.h"

using testing_support::capture_stdout;

namespace {

constexpr std::int32_t kLength = 16;
constexpr std::size_t kBuffer = 32;
constexpr std::uint8_t kFill = 0xEE;  // what the target holds before the call

// Two offset-table entries (0x04B1 and 0x0003), then text bytes.
const std::vector<std::uint8_t> kSource = {0xB1, 0x04, 0x03, 0x00, 0x41, 0x42, 0x43, 0x44,
                                           0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57};

constexpr PatchRecord kEnd{'@', 0, 0, 0, 0, 0};
constexpr PatchRecord kAll{'a', 0, 0, 0, 0, 0};

struct Case {
  const char* name;
  std::vector<PatchRecord> records;  // kEnd is appended
  std::string out;
  int result;
  std::vector<std::uint8_t> target;  // the first kLength bytes afterwards
};

std::vector<std::uint8_t> zeros_except(std::initializer_list<std::pair<int, std::uint8_t>> bytes) {
  std::vector<std::uint8_t> v(kLength, 0);
  for (auto [at, b] : bytes) v[static_cast<std::size_t>(at)] = b;
  return v;
}

std::vector<std::uint8_t> source_except(std::initializer_list<std::pair<int, std::uint8_t>> bytes) {
  std::vector<std::uint8_t> v = kSource;
  for (auto [at, b] : bytes) v[static_cast<std::size_t>(at)] = b;
  return v;
}

TEST(PatchApplyTest, Records) {
  const Case cases[] = {
      {"only the end record", {}, "", 0, zeros_except({})},
      {"copy all", {kAll}, "copy all\n", 0, kSource},
      {"copy of length 0", {{'c', 4, 8, 0, 0, 0}}, "copy 0(0) byte from 0004 to 0008\n", 0, zeros_except({})},
      {"copy of a range",
       {{'c', 4, 10, 3, 0, 0}},
       "copy 3(3) byte from 0004 to 000A\n",
       0,
       zeros_except({{10, 0x41}, {11, 0x42}, {12, 0x43}})},
      {"copy of the whole file as a range",
       {{'c', 0, 0, kLength, 0, 0}},
       "copy 16(10) byte from 0000 to 0000\n",
       0,
       kSource},
      {"erase that matches writes nothing",
       {{'e', 5, 0, 0, 0x42, 0}},
       "erace data 0005:42\n",
       0,
       zeros_except({})},
      {"erase that matches keeps an earlier write",
       {kAll, {'e', 5, 0, 0, 0x42, 0}},
       "copy all\nerace data 0005:42\n",
       0,
       kSource},
      {"erase that mismatches",
       {{'c', 8, 0, 2, 0, 0}, {'e', 5, 0, 0, 0x43, 0}, {'c', 0, 0, 4, 0, 0}},
       "copy 2(2) byte from 0008 to 0000\nerace data 0005:43\ndata mismatch 42\n",
       -1,
       zeros_except({{0, 0x50}, {1, 0x51}})},
      {"expect outside a byte never matches",
       {{'e', 4, 0, 0, 0x141, 0}},
       "erace data 0004:141\ndata mismatch 41\n",
       -1,
       zeros_except({})},
      {"change stores the low 8 bits of the value",
       {{'f', 6, 2, 0, 0x43, 0x1BF}},
       "change data 0006:43 -> 0002:1BF\n",
       0,
       zeros_except({{2, 0xBF}})},
      {"change overrides an earlier copy",
       {kAll, {'f', 15, 15, 0, 0x57, 0x00}},
       "copy all\nchange data 000F:57 -> 000F:00\n",
       0,
       source_except({{15, 0x00}})},
      {"change that mismatches writes nothing",
       {{'f', 6, 2, 0, 0x44, 0x99}},
       "change data 0006:44 -> 0002:99\ndata mismatch 43\n",
       -1,
       zeros_except({})},
      {"offset table: a drop and a negative result",
       {kAll, {'!', 0, 0, 4, 0, -10}},
       "copy all\nmodify offset table\n0000:4B1 -> 4A7\n0002:03 -> FFFFFFF9\n",
       0,
       source_except({{0, 0xA7}, {1, 0x04}, {2, 0xF9}, {3, 0xFF}})},
      {"offset table: an insert",
       {kAll, {'!', 2, 2, 2, 0, +1}},
       "copy all\nmodify offset table\n0002:03 -> 04\n",
       0,
       source_except({{2, 0x04}})},
      {"offset table of length 0", {kAll, {'!', 0, 0, 0, 0, -10}}, "copy all\nmodify offset table\n", 0, kSource},
      {"offset table of odd length takes in the byte after it",
       {kAll, {'!', 4, 4, 3, 0, 0x100}},
       "copy all\nmodify offset table\n0004:4241 -> 4341\n0006:4443 -> 4543\n",
       0,
       source_except({{5, 0x43}, {7, 0x45}})},
      {"offset table before the copy adjusts zeros",
       {{'!', 0, 0, 2, 0, -10}, {'c', 0, 0, 2, 0, 0}},
       "modify offset table\n0000:00 -> FFFFFFF6\ncopy 2(2) byte from 0000 to 0000\n",
       0,
       zeros_except({{0, 0xB1}, {1, 0x04}})},
      {"unknown mode after good records",
       {{'c', 4, 0, 2, 0, 0}, {'f', 4, 3, 0, 0x41, 0x61}, {'x', 0, 0, 0, 0, 0}, {'c', 8, 8, 8, 0, 0}},
       "copy 2(2) byte from 0004 to 0000\nchange data 0004:41 -> 0003:61\nunknown mode 'x'\n",
       -1,
       zeros_except({{0, 0x41}, {1, 0x42}, {3, 0x61}})},
  };
  for (const Case& c : cases) {
    std::vector<PatchRecord> records = c.records;
    records.push_back(kEnd);
    std::vector<std::uint8_t> source = kSource;
    source.resize(kBuffer, 0x77);
    const std::vector<std::uint8_t> source_before = source;
    std::vector<std::uint8_t> target(kBuffer, kFill);
    int result = 0;
    const std::string out = capture_stdout([&] { result = patch_apply(records.data(), target.data(), source.data(), kLength); });
    EXPECT_EQ(out, c.out) << "row: " << c.name;
    EXPECT_EQ(result, c.result) << "row: " << c.name;
    EXPECT_EQ(std::vector<std::uint8_t>(target.begin(), target.begin() + kLength), c.target) << "row: " << c.name;
    EXPECT_EQ(std::vector<std::uint8_t>(target.begin() + kLength, target.end()), std::vector<std::uint8_t>(kBuffer - kLength, kFill))
        << "row: " << c.name << ": written past the file length";
    EXPECT_EQ(source, source_before) << "row: " << c.name << ": the source was written";
  }
}

}  // namespace
