#include "sample/sample_disk.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "common/le.h"

namespace sample {

using Chain = ChainLayout;

namespace {

// xorshift32: the same stream on every compiler and standard library.
class Rng {
 public:
  explicit Rng(std::uint32_t seed) : state_(seed != 0 ? seed : 1) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }

 private:
  std::uint32_t state_;
};

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// ---- Descrambled text ----

// Shift-JIS lead bytes; each is followed by one trail byte.
bool is_lead(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }

// Parameter bytes that follow a control code: 05 xx, 06 xx, FE xx xx.
int parameters_of(std::uint8_t b) { return b == 0x05 || b == 0x06 ? 1 : b == 0xFE ? 2 : 0; }

constexpr std::uint8_t kLineEnd = 0x00;
constexpr std::uint8_t kPadding = 0x1A;  // bytes of a file that belong to no record
constexpr int kLineLength = 44;          // a line is ended soon after this many bytes

const std::string_view kWords[] = {
    "Hello",  "there", "traveller", "the",   "moor", "gate",  "lantern", "bread", "mill", "river",
    "north",  "key",   "tower",     "Edrin", "Malva", "Tosk", "Wealdmoor", "bell", "road", "night",
    "fog",    "inn",   "coin",      "well",  "sheep", "rain", "keep",    "lord",  "guard", "ale",
    "market", "is",    "closed",    "open",  "old",  "a",     "you",     "seek",  "Yes.", "No.",
};

// Shift-JIS phrases, glossed in English.
const std::string_view kPhrases[] = {
    "\x82\xE6\x82\xA4\x82\xB1\x82\xBB\x81\x41\x97\xB7\x82\xCC\x90\x6C\x81\x42",  // welcome, traveller
    "\x96\x6B\x82\xCC\x90\x58\x82\xC9\x82\xCD\x8B\x43\x82\xF0\x82\xC2\x82\xAF\x82\xC8\x82\xB3\x82\xA2\x81\x42",  // mind the north woods
    "\x82\xB1\x82\xCC\x88\xE4\x8C\xCB\x82\xCC\x90\x85\x82\xCD\x97\xE2\x82\xBD\x82\xA2\x81\x42",  // this well's water is cold
    "\x8F\xE9\x82\xCC\x96\xE5\x82\xCD\x96\xE9\x82\xC9\x95\xC2\x82\xDC\x82\xE9\x81\x42",  // the castle gate shuts at night
    "\x83\x70\x83\x93\x82\xF0\x94\x83\x82\xA4\x82\xA9\x82\xCB\x81\x48",  // buying bread?
    // do you know a girl called Sofia? (its first trail byte is 0x5C)
    "\x83\x5C\x83\x74\x83\x42\x83\x41\x82\xC6\x82\xA2\x82\xA4\x96\xBA\x82\xF0\x92\x6D\x82\xE7\x82\xC8\x82\xA2\x82\xA9\x81\x42",
    "\x95\x5C\x82\xCC\x92\xCA\x82\xE8\x82\xCD\x90\xC3\x82\xA9\x82\xBE\x81\x42",  // the front street is quiet
    "\x96\xB6\x82\xAA\x8F\x6F\x82\xC4\x82\xAB\x82\xBD\x82\xC8\x81\x42",          // the fog is rising
    "\x8F\xE0\x82\xCC\x89\xB9\x82\xAA\x95\xB7\x82\xB1\x82\xA6\x82\xE9\x81\x42",  // I hear the bell
    "\x82\xDC\x82\xBD\x97\x88\x82\xC4\x82\xAD\x82\xEA\x81\x42",                  // come again
    "\x8F\x68\x89\xAE\x82\xCD\x89\x45\x8E\xE8\x82\xC9\x82\xA0\x82\xE9\x81\x42",  // the inn is on the right
    "\x8C\xC3\x82\xA2\x92\x6E\x90\x7D\x82\xF0\x8E\x9D\x82\xC1\x82\xC4\x82\xA2\x82\xE9\x81\x42",  // I have an old map
    "\x82\xA0\x82\xE8\x82\xAA\x82\xC6\x82\xA4\x81\x42",  // thank you
    "\x82\xCD\x82\xA2",                                  // yes
    "\x82\xA2\x82\xA2\x82\xA6",                          // no
};

// Half-width katakana (single bytes 0xA1-0xDF): "welcome".
constexpr std::string_view kKana = "\xB2\xD7\xAF\xBC\xAC\xB2";

// One self-contained piece of text: after it no trail or parameter byte is pending.
Bytes pick_token(Rng& rng) {
  const int roll = rng.below(100);
  if (roll < 48) {
    Bytes t = bytes_of(kWords[rng.below(static_cast<int>(std::size(kWords)))]);
    t.push_back(rng.below(8) == 0 ? ',' : ' ');
    return t;
  }
  if (roll < 74) return bytes_of(kPhrases[rng.below(static_cast<int>(std::size(kPhrases)))]);
  if (roll < 80) return {0x05, static_cast<std::uint8_t>(rng.next())};
  if (roll < 86) return {0x06, static_cast<std::uint8_t>(rng.next())};
  if (roll < 91) return {0xFE, static_cast<std::uint8_t>(rng.next()), static_cast<std::uint8_t>(rng.next())};
  if (roll < 94) {
    // A price in yen: the yen sign is the byte 0x5C.
    Bytes t{0x5C};
    for (const char c : std::to_string(10 * (1 + rng.below(50)))) t.push_back(static_cast<std::uint8_t>(c));
    t.push_back(' ');
    return t;
  }
  if (roll < 97) return bytes_of(kKana);
  return {static_cast<std::uint8_t>(1 + rng.below(3))};  // a lone code, 01 to 03
}

std::uint8_t trail_byte(Rng& rng) {
  const auto b = static_cast<std::uint8_t>(0x40 + rng.below(0xBC));  // 0x40-0xFB
  return b == 0x7F ? 0x80 : b;
}

// Fills one record's descrambled bytes. fixed[i] >= 0 forces byte i; every other byte
// is invented so that the text stays well formed around the forced ones: a multi-byte
// piece is placed only where it ends before the next forced byte, a forced lead byte
// or control code gets its trail or parameter bytes, and the record ends with a line
// end wherever its last byte is free.
Bytes record_text(const std::vector<int>& fixed, Rng& rng) {
  const int length = static_cast<int>(fixed.size());
  Bytes text;
  bool trail = false;
  int parameters = 0;
  int line = 0;
  auto take = [&](std::uint8_t b) {
    text.push_back(b);
    ++line;
    if (trail) {
      trail = false;
    } else if (parameters > 0) {
      --parameters;
    } else if (is_lead(b)) {
      trail = true;
    } else if (b == kLineEnd) {
      line = 0;
    } else {
      parameters = parameters_of(b);
    }
  };
  while (static_cast<int>(text.size()) < length) {
    const int pos = static_cast<int>(text.size());
    if (fixed[static_cast<std::size_t>(pos)] >= 0) {
      take(static_cast<std::uint8_t>(fixed[static_cast<std::size_t>(pos)]));
      continue;
    }
    if (trail) {
      take(trail_byte(rng));
      continue;
    }
    if (parameters > 0) {
      take(static_cast<std::uint8_t>(rng.next()));
      continue;
    }
    int limit = pos;  // the next forced byte, or the record's last byte
    while (limit < length - 1 && fixed[static_cast<std::size_t>(limit)] < 0) ++limit;
    const int room = limit - pos;
    if (room == 0 || line >= kLineLength) {
      take(kLineEnd);
      continue;
    }
    Bytes token;
    for (int attempt = 0; attempt < 4 && (token.empty() || static_cast<int>(token.size()) > room); ++attempt) {
      token = pick_token(rng);
    }
    if (static_cast<int>(token.size()) > room) token = {static_cast<std::uint8_t>(rng.below(2) == 0 ? ' ' : '.')};
    for (const std::uint8_t b : token) take(b);
  }
  return text;
}

// ---- File layout ----

struct Anchor {
  int record;           // record index, or the npc count for the end offset
  std::int32_t offset;  // its fixed file offset
};

struct Design {
  const char* name;
  std::int32_t size;
  int npc_count;
  std::vector<Anchor> anchors;           // record 0 and the end included, in order
  std::vector<int> empty_records;        // records of length 0
  std::vector<std::pair<std::int32_t, Bytes>> stored;  // bytes as stored (scrambled)
  std::vector<std::pair<std::int32_t, Bytes>> plain;   // descrambled bytes inside records
  std::uint32_t seed;
  Chain chain;
};

// Record offsets: the anchors' own, and between two anchors boundaries spread by random
// weights, so that record lengths vary.
std::vector<std::int32_t> record_offsets(const Design& d, Rng& rng) {
  std::vector<std::int32_t> offsets(static_cast<std::size_t>(d.npc_count) + 1, 0);
  for (std::size_t a = 0; a + 1 < d.anchors.size(); ++a) {
    const Anchor from = d.anchors[a];
    const Anchor to = d.anchors[a + 1];
    std::vector<std::int64_t> weights;
    std::int64_t total = 0;
    for (int r = from.record; r < to.record; ++r) {
      const bool empty = std::find(d.empty_records.begin(), d.empty_records.end(), r) != d.empty_records.end();
      weights.push_back(empty ? 0 : 6 + rng.below(10));
      total += weights.back();
    }
    std::int64_t sum = 0;
    for (int r = from.record; r < to.record; ++r) {
      offsets[static_cast<std::size_t>(r)] = static_cast<std::int32_t>(from.offset + (to.offset - from.offset) * sum / total);
      sum += weights[static_cast<std::size_t>(r - from.record)];
    }
    offsets[static_cast<std::size_t>(to.record)] = to.offset;
  }
  return offsets;
}

// The record holding file offset `at`, or -1 when it lies in no record.
int record_at(const std::vector<std::int32_t>& offsets, std::int32_t at) {
  for (std::size_t i = 0; i + 1 < offsets.size(); ++i) {
    if (offsets[i] <= at && at < offsets[i + 1]) return static_cast<int>(i);
  }
  return -1;
}

Bytes build_tlk(const Design& d) {
  Rng rng(d.seed);
  const std::vector<std::int32_t> offsets = record_offsets(d, rng);
  const std::int32_t header = 2 * d.npc_count + 4;
  if (d.npc_count < 1 || d.npc_count > 255 || d.size <= header) throw std::logic_error("bad design header");
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    if (offsets[i] < header || offsets[i] >= d.size || (i > 0 && offsets[i] < offsets[i - 1])) {
      throw std::logic_error(std::string("bad record offsets in ") + d.name);
    }
  }

  Bytes data(static_cast<std::size_t>(d.size), kPadding);
  put_le16(data.data(), d.npc_count);
  for (std::size_t i = 0; i < offsets.size(); ++i) put_le16(data.data() + 2 + 2 * i, offsets[i]);

  // Forced bytes, descrambled, for each record; stored bytes outside every record.
  std::vector<int> forced(static_cast<std::size_t>(d.size), -1);
  for (const auto& [at, bytes] : d.stored) {
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      const std::int32_t p = at + static_cast<std::int32_t>(k);
      if (p < header) throw std::logic_error("forced byte inside the header");
      const int r = record_at(offsets, p);
      forced[static_cast<std::size_t>(p)] = r < 0 ? bytes[k] : bytes[k] ^ record_key(r);
    }
  }
  for (const auto& [at, bytes] : d.plain) {
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      const std::int32_t p = at + static_cast<std::int32_t>(k);
      if (record_at(offsets, p) < 0) throw std::logic_error("text outside the records");
      forced[static_cast<std::size_t>(p)] = bytes[k];
    }
  }
  for (std::int32_t p = header; p < d.size; ++p) {
    if (record_at(offsets, p) < 0 && forced[static_cast<std::size_t>(p)] >= 0) {
      data[static_cast<std::size_t>(p)] = static_cast<std::uint8_t>(forced[static_cast<std::size_t>(p)]);
    }
  }

  for (int r = 0; r < d.npc_count; ++r) {
    const auto from = static_cast<std::size_t>(offsets[static_cast<std::size_t>(r)]);
    const auto to = static_cast<std::size_t>(offsets[static_cast<std::size_t>(r) + 1]);
    const Bytes text = record_text(std::vector<int>(forced.begin() + static_cast<std::ptrdiff_t>(from),
                                                    forced.begin() + static_cast<std::ptrdiff_t>(to)),
                                   rng);
    for (std::size_t k = 0; k < text.size(); ++k) data[from + k] = text[k] ^ record_key(r);
  }
  return data;
}

// Edge cases for the text renderer, at the start of CASTLE.TLK's first record: a yen
// sign, 0x5C as a trail byte and as a parameter, 0x00 as a parameter, a parameter that
// looks like a letter, a half-width kana, and a line end.
const Bytes kCastleOpening = {'\\', '1', '0', '0', ' ', 0x83, 0x5C, 0x05, 0x5C, 0x06, 'A', 0xFE, 0x00, 0x41,
                              'B',  0xB1, 0x00};

std::vector<Design> designs() {
  std::vector<Design> d;
  // No revision touches CASTLE.TLK: 200 records, so the keys wrap from 0xFF (record
  // 196) to 0x00 (record 197, stored plain); record 77 is empty; four padding bytes lie
  // between the 404-byte header and record 0, and five after the last record.
  d.push_back({"CASTLE.TLK", 0x27E5, 200, {{0, 0x0198}, {200, 0x27E0}}, {77}, {}, {{0x0198, kCastleOpening}},
               0xCA571E, Chain::kContiguous});

  // Revision 1 changes three Shift-JIS lead bytes of record 12 (key 0x47) in place:
  // stored D3/DB/DB, descrambled 94/9C/9C, become 98/9F/9E. One padding byte at the end.
  d.push_back({"DWELLING.TLK",
               9466,
               20,
               {{0, 0x002C}, {12, 0x1900}, {13, 0x1B80}, {20, 0x24F9}},
               {},
               {{0x19F8, {0xD3}}, {0x19FC, {0xDB}}, {0x1A06, {0xDB}}},
               {},
               0xD3E111,
               Chain::kContiguous});

  // 32 records: the header ends at 0x44 and the end offset is the entry at 0x42, the
  // last one the revisions shift. Every revision drops source 0x04A7-0x04B0 from record
  // 1 (0x0260-0x060F), so the entries of records 2 to 31 and the end offset (0x5814, the
  // ten verified bytes after it belong to no record) move down by 10. Revisions 1 and 2
  // rework record 3 (0x1800-0x1BFF) without changing its length: a byte inserted at
  // 0x1911, 0x1A1D-0x1A1E left out and 0x1A21 doubled, which turns "ring the a Bel."
  // into "ring the Bell.". Revision 1 also turns the half-width kana at 0x175C in record
  // 2 (key 0x3D, stored 8B, descrambled B6) into the lead byte 0x82 (stored BF), which
  // with the A9 after it makes a hiragana.
  d.push_back({"KEEP.TLK",
               22558,
               32,
               {{0, 0x0044}, {1, 0x0260}, {2, 0x0610}, {3, 0x1800}, {4, 0x1C00}, {32, 0x5814}},
               {},
               {{0x04A7, {0x13, 0x48, 0x13, 0x35, 0x13, 0x28, 0x13, 0x3A, 0x96, 0x91}},
                {0x175C, {0x8B}},
                {0x1911, {0x8C}},
                {0x5814, {0x2D, 0x64, 0x8E, 0xF2, 0xAB, 0xAF, 0xBF, 0xB0, 0xEF, 0x4F}}},
               {{0x175D, {0xA9}}, {0x1A14, bytes_of("ring the a Bel.")}},
               0x4EE9,
               Chain::kContiguous});

  // 48 records: the header ends at 0x64 and the end offset is the entry at 0x62.
  // Revision 1 drops eight verified bytes from record 14 (0x2900-0x2ACF), so records 15
  // to 36 move down by 8; it changes a lead byte at 0x2B30 in record 15 (0x2AD0-0x2BFF)
  // and inserts one before 0x68A5 in record 36 (0x6700-0x69FF), so record 37 onwards and
  // the end offset (0x85ED) move down by 7. Revisions 2 and 3 insert that byte before
  // 0x689D instead, in the same record, and move record 37 onwards up by 1. The eight
  // bytes after the end offset belong to no record: revisions 2 and 3 lose the first.
  d.push_back({"TOWNE.TLK",
               34293,
               48,
               {{0, 0x0064}, {14, 0x2900}, {15, 0x2AD0}, {16, 0x2C00}, {36, 0x6700}, {37, 0x6A00}, {48, 0x85ED}},
               {},
               {{0x2A4C, {0x1C, 0x2F, 0x1C, 0x58, 0x1C, 0x50}},
                {0x2A55, {0x1C, 0x21, 0x1C, 0x37, 0x1C, 0x79}},
                {0x2A9A, {0x1C, 0x33, 0x1C, 0x56, 0x1C, 0x77}},
                {0x2B30, {0xDA}},
                {0x689D, {0xFB}},
                {0x68A5, {0xFB}}},
               {},
               0x7031E,
               Chain::kScattered});
  return d;
}

}  // namespace

std::vector<SampleFile> sample_files() {
  std::vector<SampleFile> files;
  for (const Design& d : designs()) files.push_back({d.name, build_tlk(d), d.chain});
  return files;
}

VolumeBuilder sample_volume(const std::vector<SampleFile>& files, int geometry) {
  VolumeBuilder volume(geometry);
  static constexpr std::string_view kReadme =
      "Sample Wealdmoor data disk for the parle tools.\r\n"
      "Every conversation on it is invented.\r\n";
  volume.add_file("README.TXT", bytes_of(kReadme));
  for (const SampleFile& f : files) {
    if (volume.add_file(f.name, f.data, f.chain) < 0) throw std::length_error("the sample files do not fit");
  }
  return volume;
}

std::vector<std::uint8_t> sample_image(bool fdi, const std::vector<SampleFile>& files, int geometry) {
  return sample_volume(files, geometry).file(fdi ? ImageForm::kFdi : ImageForm::kRaw);
}

}  // namespace sample
