#include "dump/tlk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/process.h"

using testing_support::capture_stdout;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A well-formed conversation file holding the given records as plain (descrambled)
// bytes: the header, the records back to back, each scrambled with 0x3B + i, and one
// byte after the last record, which a valid file always has.
Bytes make_file(const std::vector<std::string>& records) {
  const std::size_t n = records.size();
  Bytes file(2 + 2 * (n + 1), 0);
  file[0] = static_cast<std::uint8_t>(n);
  file[1] = static_cast<std::uint8_t>(n >> 8);
  for (std::size_t i = 0; i <= n; ++i) {
    // Entry i: the offset at which record i starts (for i = n, the end offset).
    file[2 + 2 * i] = static_cast<std::uint8_t>(file.size());
    file[3 + 2 * i] = static_cast<std::uint8_t>(file.size() >> 8);
    if (i == n) break;
    const auto key = static_cast<std::uint8_t>(0x3B + i);
    for (const char c : records[i]) file.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) ^ key));
  }
  file.push_back(0xA5);
  return file;
}

struct Dumped {
  int status;
  std::string out;
};

Dumped dump(const Bytes& file, bool offsets, std::int32_t size = -1) {
  Dumped d{};
  d.out = capture_stdout(
      [&] { d.status = tlk_dump(file.data(), size < 0 ? static_cast<std::int32_t>(file.size()) : size, offsets); });
  return d;
}

Dumped dump_as(const Bytes& file, bool offsets, TlkText text) {
  Dumped d{};
  d.out = capture_stdout(
      [&] { d.status = tlk_dump_as(file.data(), static_cast<std::int32_t>(file.size()), offsets, text); });
  return d;
}

// The record number as the header shows it: right-aligned in two columns, wider if needed.
std::string number(int i) {
  std::string s = std::to_string(i);
  if (s.size() < 2) s.insert(s.begin(), ' ');
  return s;
}

std::string record_text(const std::string& number, const std::string& body) {
  return "\t[" + number + "] = {\n" + body + "\n\t}\n\n";
}

// A std::string from bytes that may include 0x00.
std::string raw(std::initializer_list<int> bytes) {
  std::string s;
  for (const int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

struct RenderCase {
  const char* name;
  std::string record;  // descrambled bytes of record 0
  bool offsets;
  std::string body;  // what is printed between the header line and the trailer
};

// Record 0 starts at file offset 6 in these one-record files.
const RenderCase kRender[] = {
    {"letters", "Hi", false, "\t\tHi"},
    {"space and tilde raw", " ~", false, "\t\t ~"},
    {"backslash as text", "a\\b", false, "\t\ta\\\\b"},
    {"backslash as parameter", "\x05\\", false, "\t\t\\x05\\x5C"},
    {"backslash as trail byte", "\x81\\z", false, "\t\t\x81\\z"},
    {"0x00 ends the line", raw({'H', 'i', 0, 'B'}), false, "\t\tHi\\x00\n\t\tB"},
    {"0x00 as parameter", raw({0x06, 0, 'X'}), false, "\t\t\\x06\\x00X"},
    {"0x00 as trail byte", raw({0x9F, 0, 'X'}), false, "\t\t" + raw({0x9F, 0}) + "X"},
    {"letter after 05 is a parameter",
     "\x05"
     "AB",
     false, "\t\t\\x05\\x41B"},
    {"letter after 06 is a parameter",
     "\x06"
     "AB",
     false, "\t\t\\x06\\x41B"},
    {"two parameters after FE",
     "\xFE"
     "ABC",
     false, "\t\t\\xFE\\x41\\x42C"},
    {"FE parameters 00 end no line", raw({0xFE, 0, 0, 'Z'}), false, "\t\t\\xFE\\x00\\x00Z"},
    {"parameter 05 is not a code",
     "\x05\x05"
     "A",
     false, "\t\t\\x05\\x05A"},
    {"lead bytes at the range ends",
     "\x81"
     "A\x9F"
     "B\xE0"
     "C\xEF"
     "D",
     false,
     "\t\t\x81"
     "A\x9F"
     "B\xE0"
     "C\xEF"
     "D"},
    {"trail byte that looks like a lead",
     "\x88\x88"
     "A",
     false,
     "\t\t\x88\x88"
     "A"},
    {"lead byte last in the record", "A\x88", false, "\t\tA\x88"},
    {"escapes of 80 A0 DF F0 FD FF", "\x80\xA0\xDF\xF0\xFD\xFF", false, "\t\t\\x80\\xA0\\xDF\\xF0\\xFD\\xFF"},
    {"escapes of other controls", "\x01\x04\x07\x1F\x7F", false, "\t\t\\x01\\x04\\x07\\x1F\\x7F"},
    {"record ending with 0x00", raw({'A', 0}), false, "\t\tA\\x00\n"},
    {"empty record", "", false, ""},
    {"empty record with offsets", "", true, ""},
    {"offsets of each line", raw({'H', 'i', 0, 'B', 0, 0}), true,
     "00000006:\tHi\\x00\n00000009:\tB\\x00\n0000000B:\t\\x00\n"},
};

TEST(TlkRenderTest, EachByteRole) {
  for (const RenderCase& c : kRender) {
    const Dumped d = dump(make_file({c.record}), c.offsets);
    EXPECT_EQ(d.status, 0) << "row: " << c.name;
    EXPECT_EQ(d.out, record_text(" 0", c.body)) << "row: " << c.name;
  }
}

TEST(TlkRenderTest, BothTextFormsKeepTheLayout) {
  // The Shift-JIS form is tlk_dump itself; a record without lead bytes prints the same in
  // the UTF-8 form.
  for (const RenderCase& c : kRender) {
    const Bytes file = make_file({c.record});
    const Dumped sjis = dump_as(file, c.offsets, TlkText::kShiftJis);
    EXPECT_EQ(sjis.status, 0) << "row: " << c.name;
    EXPECT_EQ(sjis.out, record_text(" 0", c.body)) << "row: " << c.name;
    const bool has_lead = std::any_of(c.record.begin(), c.record.end(), [](char ch) {
      const auto b = static_cast<unsigned char>(ch);
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
    });
    if (has_lead) continue;
    const Dumped utf8 = dump_as(file, c.offsets, TlkText::kUtf8);
    EXPECT_EQ(utf8.status, 0) << "row: " << c.name;
    EXPECT_EQ(utf8.out, sjis.out) << "row: " << c.name;
  }
  // A refused header prints the same message in both forms.
  const Bytes bad = {0, 0, 6, 0, 6, 0, 0};  // npc count 0
  EXPECT_EQ(dump_as(bad, false, TlkText::kUtf8).out, "ERROR: npc count: 0\n");
  EXPECT_EQ(dump_as(bad, false, TlkText::kUtf8).status, -1);
}

// The UTF-8 form: only a lead byte taken with its trail byte changes, into its character
// or, without one, into the escapes of both bytes. Expected characters as they read.
const RenderCase kUtf8Render[] = {
    {"hiragana", "\x82\xA0", false, "\t\t\u3042"},
    {"pair at the ends of the lead ranges", "\x81\x40\x9F\xFC\xE0\x40\xEA\xA4", false, "\t\t\u3000\u6ECC\u6F3E\u7199"},
    {"trail 5C belongs to the character", "\x81\x5C\\", false, "\t\t\u2015\\\\"},
    {"NEC row 13", "\x87\x40", false, "\t\t\u2460"},
    {"NEC-selected IBM extension", "\xED\x40", false, "\t\t\u7E8A"},
    {"no character: two escapes", "\xEB\xA4", false, "\t\t\\xEB\\xA4"},
    {"trail that looks like a lead, no character",
     "\x88\x88"
     "A",
     false, "\t\t\\x88\\x88A"},
    {"trail 00 ends no line", raw({0x88, 0, 'X'}), false, "\t\t\\x88\\x00X"},
    {"trail 0A is no line end", raw({0x88, 0x0A, 'X'}), false, "\t\t\\x88\\x0AX"},
    {"trail 5C of no character", "\xEB\x5C", false, "\t\t\\xEB\\x5C"},
    {"lead byte last in the record", "A\x88", false, "\t\tA\\x88"},
    {"lone lead byte", "\x9F", false, "\t\t\\x9F"},
    {"PC-98 half-width letter", "\x85\x60", false, "\t\tA"},
    {"PC-98 half-width yen", "\x85\x7B", false, "\t\t\u00A5"},
    {"PC-98 half-width kana", "\x85\xAF", false, "\t\t\uFF71"},
    {"PC-98 half-width voiced kana", "\x85\xE4", false, "\t\t\uFF76\u3099"},
    {"PC-98 box drawing", "\x86\xA2", false, "\t\t\u2500"},
    {"PC-98 cell without character", "\x86\x9F", false, "\t\t\\x86\\x9F"},
    {"IBM extension lead FA is no lead", "\xFA\x40", false, "\t\t\\xFA@"},
    {"lead as a parameter", "\x05\x82\x82\xA0", false, "\t\t\\x05\\x82\u3042"},
    {"pairs on lines with offsets", raw({0x82, 0xA0, 0, 0xEB, 0xA4, 0, 0x88}), true,
     "00000006:\t\u3042\\x00\n00000009:\t\\xEB\\xA4\\x00\n0000000C:\t\\x88"},
};

TEST(TlkRenderTest, Utf8Text) {
  for (const RenderCase& c : kUtf8Render) {
    const Dumped d = dump_as(make_file({c.record}), c.offsets, TlkText::kUtf8);
    EXPECT_EQ(d.status, 0) << "row: " << c.name;
    EXPECT_EQ(d.out, record_text(" 0", c.body)) << "row: " << c.name;
  }
}

TEST(TlkRenderTest, NothingPendingCrossesIntoTheNextRecord) {
  // A lead byte and parameters left open at a record's end are dropped.
  const Dumped d = dump(make_file({"A\x88", "\\B",
                                   "\xFE"
                                   "A",
                                   "C"}),
                        true);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out, record_text(" 0", "0000000C:\tA\x88") + record_text(" 1", "0000000E:\t\\\\B") +
                       record_text(" 2", "00000010:\t\\xFE\\x41") + record_text(" 3", "00000012:\tC"));
}

TEST(TlkRenderTest, NoLeadCrossesIntoTheNextRecordInUtf8) {
  // Record 1 starts with a byte that would be a trail: it is taken afresh.
  const Dumped d = dump_as(make_file({"A\x82",
                                      "\xA0"
                                      "B",
                                      "\x82\xA0"}),
                           false, TlkText::kUtf8);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out, record_text(" 0", "\t\tA\\x82") + record_text(" 1", "\t\t\\xA0B") + record_text(" 2", "\t\t\u3042"));
}

TEST(TlkRenderTest, KeyWrapsWithinAFileAndRestartsForTheNext) {
  // 200 records: record 196 uses key 0xFF, 197 key 0x00, 198 key 0x01.
  std::vector<std::string> records(200, "Aa");
  const Dumped d = dump(make_file(records), false);
  EXPECT_EQ(d.status, 0);
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    expected += record_text(number(i), "\t\tAa");
  }
  EXPECT_EQ(d.out, expected);

  const Dumped next = dump(make_file({"Bb", "Cc"}), false);
  EXPECT_EQ(next.out, record_text(" 0", "\t\tBb") + record_text(" 1", "\t\tCc"));
}

// Builds a file from 16-bit header words followed by plain bytes (not scrambled).
Bytes words_then(std::initializer_list<int> words, std::initializer_list<int> tail) {
  Bytes file;
  for (const int w : words) {
    file.push_back(static_cast<std::uint8_t>(w));
    file.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  for (const int b : tail) file.push_back(static_cast<std::uint8_t>(b));
  return file;
}

constexpr int k0 = 0x3B;  // key of record 0
constexpr int k1 = 0x3C;  // key of record 1

struct HeaderCase {
  const char* name;
  Bytes file;
  std::string out;
  int status;
};

std::string empty_records(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += record_text(number(i), "");
  return s;
}

Bytes count_255() {
  // 255 empty records, all at offset 514, then one spare byte.
  std::vector<int> words(257, 514);
  words[0] = 255;
  Bytes file;
  for (const int w : words) {
    file.push_back(static_cast<std::uint8_t>(w));
    file.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  file.push_back(0);
  return file;
}

TEST(TlkParseTest, HeaderChecks) {
  const HeaderCase cases[] = {
      {"npc count 0", words_then({0, 6, 6}, {0}), "ERROR: npc count: 0\n", -1},
      {"npc count 256", words_then({256, 6, 6}, {0}), "ERROR: npc count: 256\n", -1},
      {"npc count 65535", words_then({0xFFFF, 6, 6}, {0}), "ERROR: npc count: 65535\n", -1},
      {"npc count 255", count_255(), empty_records(255), 0},
      {"one record, 6 bytes", words_then({1, 6, 6}, {}), "ERROR: file size: 6\n", -1},
      {"one record, 7 bytes", words_then({1, 6, 6}, {0}), empty_records(1), 0},
      // Every offset lies inside the file: only the header-length test can refuse it.
      {"header-length test alone: two records, 8 bytes, every offset 7", words_then({2, 7, 7, 7}, {}),
       "ERROR: file size: 8\n", -1},
      {"end offset equal to the size", words_then({1, 6, 8}, {'A' ^ k0, 'B' ^ k0}), "ERROR: file size: 8\n", -1},
      {"end offset one less", words_then({1, 6, 7}, {'A' ^ k0, 0}), record_text(" 0", "\t\tA"), 0},
      {"first offset reaching the size", words_then({1, 9, 7}, {0, 0, 0}), "ERROR: file size: 9\n", -1},
      {"middle entry reaching the size", words_then({3, 10, 14, 11, 12}, {'A' ^ k0, 0, 0, 0}), "ERROR: file size: 14\n",
       -1},
      {"middle entry past the size", words_then({3, 10, 0xFFFF, 11, 12}, {'A' ^ k0, 0, 0, 0}), "ERROR: file size: 14\n",
       -1},
      {"record 1 before record 0", words_then({2, 9, 8, 10}, {'a' ^ k1, 'b' ^ k1, 0, 0}),
       record_text(" 0", "") + record_text(" 1", "\t\tab"), 0},
      {"gap after the header", words_then({2, 9, 10, 11}, {0x55, 'x' ^ k0, 'y' ^ k1, 0}),
       record_text(" 0", "\t\tx") + record_text(" 1", "\t\ty"), 0},
      {"too short for a count", words_then({}, {1}), "ERROR: file size: 1\n", -1},
  };
  for (const HeaderCase& c : cases) {
    const Dumped d = dump(c.file, false);
    EXPECT_EQ(d.out, c.out) << "row: " << c.name;
    EXPECT_EQ(d.status, c.status) << "row: " << c.name;
  }
}

TEST(TlkParseTest, FillsTheTableAndPrintsNothing) {
  const Bytes file = words_then({2, 8, 9, 11}, {0, 0, 0, 0});
  TlkTable table;
  std::fill(std::begin(table.offsets), std::end(table.offsets), -7);
  int status = 0;
  EXPECT_EQ(capture_stdout([&] { status = tlk_parse(file.data(), static_cast<std::int32_t>(file.size()), &table); }),
            "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(table.npc_count, 2);
  EXPECT_EQ(table.offsets[0], 8);
  EXPECT_EQ(table.offsets[1], 9);
  EXPECT_EQ(table.offsets[2], 11);
  EXPECT_EQ(table.offsets[3], 0) << "entries past the end offset start at zero";
}

TEST(TlkParseTest, OnlyTheGivenSizeIsTrusted) {
  // The buffer holds more than the file: offsets are checked against the size given.
  const Bytes file = words_then({1, 6, 8}, {'A' ^ k0, 'B' ^ k0, 0, 0});
  EXPECT_EQ(dump(file, false, 8).out, "ERROR: file size: 8\n");
  EXPECT_EQ(dump(file, false, 9).out, record_text(" 0", "\t\tAB"));
}

}  // namespace
