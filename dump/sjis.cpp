#include "dump/sjis.h"

#include <cstddef>

namespace {

// The trail bytes a row of dump/sjis_table.inc lists, in order.
constexpr int kFirstTrail = 0x40;
constexpr int kLastTrail = 0xFC;
constexpr int kTrailCount = kLastTrail - kFirstTrail + 1;

// One lead byte of code page 932: the characters of its trail bytes 0x40 to 0xFC, 0 where
// the pair has none.
struct SjisRow {
  std::uint8_t lead;
  std::uint16_t chars[kTrailCount];
};

// One PC-98 pair (lead byte high, trail byte low) and its character, or two characters
// where `second` is not 0.
struct SjisExtra {
  std::uint16_t pair;
  std::uint16_t first;
  std::uint16_t second;
};

#include "dump/sjis_table.inc"

constexpr bool is_lead(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }

constexpr std::array<std::uint8_t, 256> make_slots() {
  std::array<std::uint8_t, 256> slots{};
  int next = 0;
  for (int b = 0; b < 256; ++b) {
    slots[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(is_lead(b) ? next++ : kSjisLeadCount);
  }
  return slots;
}

// Appends the UTF-8 form of a character of the Basic Multilingual Plane (every character
// of the table lies there).
constexpr void append_utf8(SjisUtf8& text, std::uint16_t c) {
  auto put = [&text](unsigned byte) { text.bytes[text.length++] = static_cast<char>(byte); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0U | (c >> 6));
    put(0x80U | (c & 0x3FU));
  } else {
    put(0xE0U | (c >> 12));
    put(0x80U | ((c >> 6) & 0x3FU));
    put(0x80U | (c & 0x3FU));
  }
}

constexpr std::array<SjisUtf8, (kSjisLeadCount + 1) * 256> make_table(const std::array<std::uint8_t, 256>& slots) {
  std::array<SjisUtf8, (kSjisLeadCount + 1) * 256> table{};
  for (const SjisRow& row : kSjisRows) {
    for (int i = 0; i < kTrailCount; ++i) {
      if (row.chars[i] != 0) {
        append_utf8(table[slots[row.lead] * 256U + static_cast<unsigned>(kFirstTrail + i)], row.chars[i]);
      }
    }
  }
  for (const SjisExtra& extra : kPc98Pairs) {
    SjisUtf8& text = table[slots[extra.pair >> 8] * 256U + (extra.pair & 0xFFU)];
    append_utf8(text, extra.first);
    if (extra.second != 0) append_utf8(text, extra.second);
  }
  return table;
}

}  // namespace

constexpr std::array<std::uint8_t, 256> kSjisLeadSlot = make_slots();
constexpr std::array<SjisUtf8, (kSjisLeadCount + 1)* 256> kSjisUtf8 = make_table(kSjisLeadSlot);
