#include "tests/support/rebuilt_files.h"

#include <stdexcept>

#include "common/le.h"

namespace testing_support {

namespace {

// One inclusive range [first, last] of the rebuilt file and where its bytes come from.
struct Piece {
  enum Kind { kSource, kBytes, kEntries, kZero };
  Kind kind;
  std::int32_t first;
  std::int32_t last;
  std::int32_t from = 0;            // kSource, kEntries: first source byte
  std::vector<std::uint8_t> bytes;  // kBytes
  int delta = 0;                    // kEntries: added to each 16-bit entry
};

Piece source(std::int32_t first, std::int32_t last, std::int32_t from) { return {Piece::kSource, first, last, from, {}, 0}; }
Piece bytes(std::int32_t first, std::vector<std::uint8_t> b) {
  const auto last = first + static_cast<std::int32_t>(b.size()) - 1;
  return {Piece::kBytes, first, last, 0, std::move(b), 0};
}
Piece entries(std::int32_t first, std::int32_t last, int delta) { return {Piece::kEntries, first, last, first, {}, delta}; }
Piece zero(std::int32_t first, std::int32_t last) { return {Piece::kZero, first, last, 0, {}, 0}; }

constexpr std::int32_t kDwelling = 9466;
constexpr std::int32_t kKeep = 22558;
constexpr std::int32_t kTowne = 34293;

std::vector<Piece> layout(int revision, const std::string& file) {
  if (file == "DWELLING.TLK" && revision == 1) {
    return {source(0x0000, 0x19F7, 0x0000), bytes(0x19F8, {0xDF}), source(0x19F9, 0x19FB, 0x19F9),
            bytes(0x19FC, {0xD8}),          source(0x19FD, 0x1A05, 0x19FD), bytes(0x1A06, {0xD9}),
            source(0x1A07, 0x24F9, 0x1A07)};
  }
  if (file == "KEEP.TLK") {
    std::vector<Piece> p = {source(0x0000, 0x0005, 0x0000), entries(0x0006, 0x0043, -10),
                            source(0x0044, 0x04A6, 0x0044)};
    if (revision == 3) {
      p.push_back(source(0x04A7, 0x5813, 0x04B1));
    } else {
      if (revision == 1) {
        p.push_back(source(0x04A7, 0x1751, 0x04B1));
        p.push_back(bytes(0x1752, {0xBF}));
        p.push_back(source(0x1753, 0x1906, 0x175D));
      } else {
        p.push_back(source(0x04A7, 0x1906, 0x04B1));
      }
      p.push_back(bytes(0x1907, {0x98}));
      p.push_back(source(0x1908, 0x1A13, 0x1911));
      p.push_back(source(0x1A14, 0x1A16, 0x1A1F));
      p.push_back(source(0x1A17, 0x5813, 0x1A21));
    }
    p.push_back(zero(0x5814, 0x581D));
    return p;
  }
  if (file == "TOWNE.TLK" && (revision == 2 || revision == 3)) {
    return {source(0x0000, 0x004B, 0x0000), entries(0x004C, 0x0063, +1), source(0x0064, 0x689C, 0x0064),
            bytes(0x689D, {0xB4}),          source(0x689E, 0x85ED, 0x689D), source(0x85EE, 0x85F4, 0x85EE)};
  }
  if (file == "TOWNE.TLK" && revision == 1) {
    return {source(0x0000, 0x001F, 0x0000),
            entries(0x0020, 0x004B, -8),
            entries(0x004C, 0x0063, -7),
            source(0x0064, 0x2A4B, 0x0064),
            bytes(0x2A4C, {0x1C, 0x53, 0x1C, 0x26}),
            source(0x2A50, 0x2A52, 0x2A52),
            bytes(0x2A53, {0x1C, 0x2B, 0x1C, 0x5F, 0x1C, 0x5A}),
            source(0x2A59, 0x2A97, 0x2A5B),
            source(0x2A98, 0x2B27, 0x2AA0),
            bytes(0x2B28, {0xD1}),
            source(0x2B29, 0x689C, 0x2B31),
            bytes(0x689D, {0xB4}),
            source(0x689E, 0x85ED, 0x68A5),
            source(0x85EE, 0x85F4, 0x85EE)};
  }
  throw std::invalid_argument("revision " + std::to_string(revision) + " does not rebuild " + file);
}

}  // namespace

std::vector<std::string> revision_files(int revision) {
  if (revision == 1) return {"DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"};
  return {"KEEP.TLK", "TOWNE.TLK"};
}

std::int32_t rebuilt_length(const std::string& file) {
  if (file == "DWELLING.TLK") return kDwelling;
  if (file == "KEEP.TLK") return kKeep;
  if (file == "TOWNE.TLK") return kTowne;
  throw std::invalid_argument("no patched file " + file);
}

std::vector<std::uint8_t> rebuilt_file(int revision, const std::string& file, const std::vector<std::uint8_t>& src) {
  const std::int32_t length = rebuilt_length(file);
  if (static_cast<std::int32_t>(src.size()) < length) throw std::invalid_argument("source shorter than " + file);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(length), 0);
  std::vector<int> written(static_cast<std::size_t>(length), 0);
  for (const Piece& p : layout(revision, file)) {
    for (std::int32_t t = p.first; t <= p.last; ++t) {
      const auto i = static_cast<std::size_t>(t);
      ++written.at(i);
      switch (p.kind) {
        case Piece::kSource:
          out[i] = src.at(static_cast<std::size_t>(p.from + (t - p.first)));
          break;
        case Piece::kBytes:
          out[i] = p.bytes[static_cast<std::size_t>(t - p.first)];
          break;
        case Piece::kZero:
          out[i] = 0;
          break;
        case Piece::kEntries: {
          // Little-endian entries: the low byte at an even distance from the range start.
          const std::int32_t entry = p.from + ((t - p.first) & ~1);
          const int old = get_le16(&src.at(static_cast<std::size_t>(entry) + 1) - 1);
          const auto shifted = static_cast<std::uint16_t>(old + p.delta);
          out[i] = static_cast<std::uint8_t>((t - p.first) % 2 == 0 ? shifted & 0xFF : shifted >> 8);
          break;
        }
      }
    }
  }
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (written[i] != 1) throw std::logic_error(file + ": the layout covers a byte " + std::to_string(written[i]) + " times");
  }
  return out;
}

}  // namespace testing_support
