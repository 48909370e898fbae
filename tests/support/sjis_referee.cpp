#include "tests/support/sjis_referee.h"

#include <iconv.h>

#include <stdexcept>

namespace testing_support {

namespace {

// One iconv conversion descriptor, kept for the whole test run and reset before each use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole of `in` converted, or nullopt when iconv stops anywhere.
  std::optional<std::string> operator()(const std::string& in) {
    if (!ok()) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 4 + 16, '\0');
    char* in_at = const_cast<char*>(in.data());
    std::size_t in_left = in.size();
    char* out_at = out.data();
    std::size_t out_left = out.size();
    if (iconv(cd_, &in_at, &in_left, &out_at, &out_left) == static_cast<std::size_t>(-1) || in_left != 0) {
      return std::nullopt;
    }
    if (iconv(cd_, nullptr, nullptr, &out_at, &out_left) == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  iconv_t cd_;
};

Converter& from_cp932() {
  static Converter c("UTF-8", "CP932");
  return c;
}
Converter& to_cp932() {
  static Converter c("CP932", "UTF-8");
  return c;
}
Converter& utf8_check() {
  static Converter c("UTF-32LE", "UTF-8");
  return c;
}

std::size_t code_points(const std::string& utf8) {
  std::size_t n = 0;
  for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

// ---- The PC-98 pairs outside code page 932 ----------------------------------------------
// JIS rows 9 to 12 as the PC-98 draws them: rows 9 to 11 (0x8540-0x869E) half-width
// two-byte characters, row 12 (0x869F-0x86ED) box drawing (WDIC, "98文字"). The
// characters of the cells follow HarJIT's mapping of the NEC PC-98 character set
// (NEC-C-6226-visual.txt), with its private-use half-width tag U+F87F left off:
//   row 9   JIS X 0201 Roman: cell c is ASCII 0x20 + c, but cell 60 is the yen sign and
//           cell 94 the overline;
//   row 10  cells 1-63 the half-width katakana U+FF61-U+FF9F; 64-68 WI, WE, small WA,
//           small KA, small KE; 69 VU, 70-84 GA to DO, 85-94 BA, PA to BO, PO, each a
//           half-width kana with the combining voiced or semi-voiced mark;
//   row 11  1 no-break space, 2 and 3 closing and low double quotation marks, 4-79 the
//           box drawing U+2500-U+254B but for cell 6, the half-width light vertical
//           U+FFE8; 80-93 quotation marks, diaeresis and brackets; 94 the figure dash;
//   row 12  cells 4-79 the box drawing U+2500-U+254B; cells 1-3 nothing.

std::optional<std::u32string> pc98_cell(int row, int cell) {
  switch (row) {
    case 9:
      if (cell == 60) return U"\u00A5";
      if (cell == 94) return U"\u203E";
      return std::u32string(1, static_cast<char32_t>(0x20 + cell));
    case 10: {
      if (cell <= 63) return std::u32string(1, static_cast<char32_t>(0xFF60 + cell));
      if (cell <= 68) return std::u32string(1, U"\u30F0\u30F1\u30EE\u30F5\u30F6"[cell - 64]);
      if (cell == 69) return U"\uFF73\u3099";
      if (cell <= 84) return std::u32string{static_cast<char32_t>(0xFF76 + cell - 70), U'\u3099'};
      const char32_t kana = static_cast<char32_t>(0xFF8A + (cell - 85) / 2);
      return std::u32string{kana, (cell - 85) % 2 == 0 ? U'\u3099' : U'\u309A'};
    }
    case 11: {
      if (cell == 6) return U"\uFFE8";
      if (cell >= 4 && cell <= 79) return std::u32string(1, static_cast<char32_t>(0x2500 + cell - 4));
      const char32_t first[] = {U'\u00A0', U'\u201D', U'\u201E'};
      if (cell <= 3) return std::u32string(1, first[cell - 1]);
      const char32_t last[] = {U'\u2019', U'\u00A8', U'\u2018', U'\u201C', U'\u3014', U'\u3015', U'\u3008', U'\u3009',
                               U'\u300A', U'\u300B', U'\u300E', U'\u300F', U'\u3010', U'\u3011', U'\u2012'};
      return std::u32string(1, last[cell - 80]);
    }
    case 12:
      if (cell >= 4 && cell <= 79) return std::u32string(1, static_cast<char32_t>(0x2500 + cell - 4));
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

bool sjis_referee_available() {
  return from_cp932().ok() && to_cp932().ok() && utf8_check().ok() && cp932_decode(0x82, 0xA0) == "\u3042";
}

std::optional<std::string> cp932_decode(std::uint8_t lead, std::uint8_t trail) {
  const std::optional<std::string> out = from_cp932()(std::string{static_cast<char>(lead), static_cast<char>(trail)});
  if (!out || code_points(*out) != 1) return std::nullopt;
  return out;
}

std::optional<std::string> cp932_encode(const std::string& utf8) { return to_cp932()(utf8); }

std::optional<std::string> pc98_documented(std::uint8_t lead, std::uint8_t trail) {
  const int pair = lead << 8 | trail;
  if (pair < 0x8540 || pair > 0x86ED || trail < 0x40 || trail == 0x7F || trail > 0xFC) return std::nullopt;
  // Shift-JIS to JIS row and cell: each lead byte carries an odd row (trail 0x40-0x9E,
  // skipping 0x7F) and the even row after it (trail 0x9F-0xFC).
  const int odd_row = 2 * (lead - 0x81) + 1;
  int row = odd_row;
  int cell = 0;
  if (trail >= 0x9F) {
    row = odd_row + 1;
    cell = trail - 0x9E;
  } else {
    cell = trail < 0x7F ? trail - 0x3F : trail - 0x40;
  }
  const std::optional<std::u32string> chars = pc98_cell(row, cell);
  if (!chars) return std::nullopt;
  std::string out;
  for (const char32_t c : *chars) out += utf8_of(c);
  return out;
}

std::optional<std::string> sjis_expected(std::uint8_t lead, std::uint8_t trail) {
  std::optional<std::string> text = cp932_decode(lead, trail);
  return text ? text : pc98_documented(lead, trail);
}

bool valid_utf8(const std::string& text) { return utf8_check()(text).has_value(); }

std::string utf8_of(char32_t c) {
  static Converter from_utf32("UTF-8", "UTF-32LE");
  std::string in;
  for (int i = 0; i < 4; ++i) in += static_cast<char>((c >> (8 * i)) & 0xFF);
  std::optional<std::string> out = from_utf32(in);
  if (!out) throw std::runtime_error("iconv cannot write that code point as UTF-8");
  return *out;
}

}  // namespace testing_support
