// Little-endian 16- and 32-bit fields at any byte position of a byte buffer.
//
// Fields are read and written byte by byte, so they need no alignment and the result
// does not depend on the host's byte order. The caller makes sure the two or four bytes
// lie inside its buffer; the position is never advanced.
#pragma once

#include <cstdint>

// p[0] + 256 * p[1], zero-extended: 0 to 65535, never negative.
inline constexpr int get_le16(const std::uint8_t* p) {
  return static_cast<int>(p[0]) | (static_cast<int>(p[1]) << 8);
}

// The 32-bit pattern p[0..3], low byte first, as a signed value (FF FF FF FF is -1).
inline constexpr std::int32_t get_le32(const std::uint8_t* p) {
  const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                          (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  return static_cast<std::int32_t>(v);
}

// Stores v modulo 65536, low byte first; a negative v is stored as 65536 + v.
inline constexpr void put_le16(std::uint8_t* p, int v) {
  const auto u = static_cast<std::uint32_t>(v);
  p[0] = static_cast<std::uint8_t>(u & 0xFFu);
  p[1] = static_cast<std::uint8_t>((u >> 8) & 0xFFu);
}

// Stores the 32-bit pattern of v, low byte first (-1 is stored as FF FF FF FF).
inline constexpr void put_le32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFFu);
  p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFFu);
  p[2] = static_cast<std::uint8_t>((v >> 16) & 0xFFu);
  p[3] = static_cast<std::uint8_t>((v >> 24) & 0xFFu);
}
