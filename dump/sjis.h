// Shift-JIS pairs as UTF-8, for the UTF-8 form of the conversation-file dump.
//
// The table covers every pair whose lead byte the renderer takes as one (0x81-0x9F,
// 0xE0-0xEF) and whose character Windows code page 932 defines (JIS X 0208, NEC row 13,
// the NEC-selected IBM extensions), and the PC-98 pairs 0x8540-0x86ED that code page 932
// leaves undefined but the machine draws, as far as a documented character exists for
// them. The data comes from dump/sjis_table.inc, written by dump/gen-sjis-table; see
// there for the sources. A pair gives one Unicode character, or for a half-width voiced
// kana of the PC-98 two (the kana and its combining mark).
//
// Everything here is constant data compiled into the program: a lookup costs two
// indexed loads, allocates nothing and cannot fail.
#pragma once

#include <array>
#include <cstdint>

// The UTF-8 text of one pair: `length` bytes of `bytes`; length 0 when the pair has no
// character (the dump then prints both bytes as escapes).
struct SjisUtf8 {
  std::uint8_t length;
  char bytes[7];
};

// Lead bytes in the table: 0x81-0x9F and 0xE0-0xEF.
inline constexpr int kSjisLeadCount = 47;

// The table slot of each byte as a lead: 0 to kSjisLeadCount - 1 for the lead bytes,
// kSjisLeadCount for every other byte, whose slot holds no character.
extern const std::array<std::uint8_t, 256> kSjisLeadSlot;
// 256 entries per slot, indexed by the trail byte.
extern const std::array<SjisUtf8, (kSjisLeadCount + 1) * 256> kSjisUtf8;

// The UTF-8 text of the pair lead, trail; any two bytes may be asked for.
inline const SjisUtf8& sjis_utf8(std::uint8_t lead, std::uint8_t trail) {
  return kSjisUtf8[kSjisLeadSlot[lead] * 256U + trail];
}
