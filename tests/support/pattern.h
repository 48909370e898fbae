// Test data: bytes that look random but are the same on every run (xorshift32), so that
// a file's contents can be told apart from any other file's, or from a shifted copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

// `n` bytes of the sequence numbered `seed`; different seeds give different sequences.
inline std::vector<std::uint8_t> pattern(std::uint32_t seed, std::size_t n) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t x = 2463534242u + seed;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return v;
}

}  // namespace testing_support
