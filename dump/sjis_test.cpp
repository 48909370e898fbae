// The Shift-JIS table against its referees: iconv's CP932 converter for every pair, in
// both directions, and the documentation for the PC-98 pairs code page 932 leaves out.
#include "dump/sjis.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "tests/support/sjis_referee.h"

using namespace testing_support;

namespace {

bool is_lead(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }

std::string text_of(std::uint8_t lead, std::uint8_t trail) {
  const SjisUtf8& t = sjis_utf8(lead, trail);
  return {t.bytes, t.length};
}

std::string pair_name(int lead, int trail) {
  char s[8];
  std::snprintf(s, sizeof s, "%02X %02X", lead, trail);
  return s;
}

class SjisTableTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!sjis_referee_available()) GTEST_SKIP() << "iconv has no CP932 converter here";
  }
};

TEST_F(SjisTableTest, EveryPairAsIconvOrTheDocumentationHasIt) {
  int cp932 = 0;
  int pc98 = 0;
  for (int lead = 0; lead < 256; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      const auto l = static_cast<std::uint8_t>(lead);
      const auto t = static_cast<std::uint8_t>(trail);
      const std::string got = text_of(l, t);
      if (!is_lead(lead)) {
        // Not a lead byte of the renderer: never a character, whatever code page 932 says.
        EXPECT_EQ(got, "") << pair_name(lead, trail);
        continue;
      }
      const std::optional<std::string> cp = cp932_decode(l, t);
      const std::optional<std::string> doc = pc98_documented(l, t);
      EXPECT_FALSE(cp && doc) << pair_name(lead, trail) << ": a PC-98 pair that code page 932 defines";
      if (cp) {
        ++cp932;
        EXPECT_EQ(got, *cp) << pair_name(lead, trail);
      } else if (doc) {
        ++pc98;
        EXPECT_EQ(got, *doc) << pair_name(lead, trail);
      } else {
        EXPECT_EQ(got, "") << pair_name(lead, trail) << " has a character neither referee knows";
      }
    }
  }
  // JIS X 0208 has 6879 characters, NEC row 13 83 and the NEC-selected IBM extensions 374:
  // fewer would mean the referee is not the converter it should be.
  EXPECT_EQ(cp932, 6879 + 83 + 374);
  // Rows 9 to 11 whole (3 x 94 cells) and row 12 cells 4 to 79.
  EXPECT_EQ(pc98, 3 * 94 + 76);
}

TEST_F(SjisTableTest, EveryCharacterEncodesBackToAPairOfTheSameCharacter) {
  // iconv writes each character with its preferred pair: the same pair, or for a
  // character that code page 932 holds twice (NEC row 13 and JIS X 0208, NEC-selected
  // and IBM extensions) another pair, which must then stand for the same character.
  for (const int lead : {0x81, 0x82, 0x83, 0x84, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90,
                         0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E,
                         0x9F, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xED, 0xEE}) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string text = text_of(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail));
      if (text.empty()) continue;
      const std::optional<std::string> back = cp932_encode(text);
      ASSERT_TRUE(back.has_value()) << pair_name(lead, trail) << ": iconv cannot write its character";
      ASSERT_EQ(back->size(), 2U) << pair_name(lead, trail);
      const auto l = static_cast<std::uint8_t>((*back)[0]);
      const auto t = static_cast<std::uint8_t>((*back)[1]);
      if (l == lead && t == trail) continue;
      // The IBM extensions proper (0xFA-0xFC) are no lead bytes of the renderer; their
      // characters must still decode alike.
      const std::optional<std::string> again = is_lead(l) ? std::optional(text_of(l, t)) : cp932_decode(l, t);
      EXPECT_EQ(again, text) << pair_name(lead, trail) << " comes back as " << pair_name(l, t);
    }
  }
  // No PC-98 pair that maps to a character of its own can be written by code page 932.
  for (const int lead : {0x85, 0x86}) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string text = text_of(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail));
      if (text.empty()) continue;
      const std::optional<std::string> back = cp932_encode(text);
      if (back) {
        EXPECT_NE(*back, std::string({static_cast<char>(lead), static_cast<char>(trail)})) << pair_name(lead, trail);
      }
    }
  }
}

TEST_F(SjisTableTest, TheWholeCodePage932RepertoireIsReadable) {
  // Every character code page 932 has, the IBM extensions under 0xFA-0xFC included, is
  // the text of some pair the renderer converts. (Leads 0xF0-0xF9 are the end-user area,
  // private-use characters of no repertoire.)
  std::set<std::string> readable;
  for (int lead = 0; lead < 256; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      readable.insert(text_of(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)));
    }
  }
  int ibm = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (lead >= 0xF0 && lead <= 0xF9) continue;
      const std::optional<std::string> cp =
          cp932_decode(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail));
      if (!cp) continue;
      if (lead >= 0xFA) ++ibm;
      EXPECT_EQ(readable.count(*cp), 1U) << pair_name(lead, trail) << " has no pair in the table";
    }
  }
  EXPECT_EQ(ibm, 388) << "the IBM extensions";
}

struct Pc98Case {
  int pair;
  const char* text;  // expected UTF-8; empty: no character
  const char* what;
};

TEST_F(SjisTableTest, Pc98PairsAsDocumented) {
  const Pc98Case cases[] = {
      {0x8540, "!", "9-1, the first half-width letter"},
      {0x8560, "A", "9-33"},
      {0x857B, "\u00A5", "9-60, yen sign where ASCII has the backslash"},
      {0x8580, "`", "9-64, past the skipped trail 7F"},
      {0x859D, "}", "9-93"},
      {0x859E, "\u203E", "9-94, overline where ASCII has the tilde"},
      {0x859F, "\uFF61", "10-1, half-width full stop"},
      {0x85DD, "\uFF9F", "10-63, half-width semi-voiced mark"},
      {0x85DE, "\u30F0", "10-64, WI"},
      {0x85E2, "\u30F6", "10-68, small KE"},
      {0x85E3, "\uFF73\u3099", "10-69, VU"},
      {0x85E4, "\uFF76\u3099", "10-70, GA"},
      {0x85F2, "\uFF84\u3099", "10-84, DO"},
      {0x85F3, "\uFF8A\u3099", "10-85, BA"},
      {0x85F4, "\uFF8A\u309A", "10-86, PA"},
      {0x85FC, "\uFF8E\u309A", "10-94, PO"},
      {0x8640, "\u00A0", "11-1, no-break space"},
      {0x8643, "\u2500", "11-4, half-width light horizontal"},
      {0x8645, "\uFFE8", "11-6, half-width light vertical"},
      {0x868F, "\u254B", "11-79"},
      {0x8690, "\u2019", "11-80"},
      {0x869E, "\u2012", "11-94, figure dash"},
      {0x869F, "", "12-1, no character"},
      {0x86A1, "", "12-3, no character"},
      {0x86A2, "\u2500", "12-4, light horizontal"},
      {0x86ED, "\u254B", "12-79, the last documented cell"},
      {0x86EE, "", "12-80, past the documented range"},
      {0x857F, "", "trail 7F is never a cell"},
      {0x853F, "", "below the trail range"},
  };
  for (const Pc98Case& c : cases) {
    const auto lead = static_cast<std::uint8_t>(c.pair >> 8);
    const auto trail = static_cast<std::uint8_t>(c.pair & 0xFF);
    EXPECT_EQ(text_of(lead, trail), c.text) << pair_name(lead, trail) << ": " << c.what;
    EXPECT_FALSE(cp932_decode(lead, trail).has_value()) << pair_name(lead, trail) << ": code page 932 defines it";
  }
}

}  // namespace
