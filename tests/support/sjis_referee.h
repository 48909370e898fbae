// Independent answers about Shift-JIS pairs, for the tests of the UTF-8 dump text.
//
// Code page 932 is asked of the system's iconv (glibc's CP932 converter), one pair or one
// character at a time and strictly: a conversion that stops, leaves input over or gives
// more than one character counts as "no answer". The PC-98 pairs that code page 932
// leaves undefined are written here from their documentation (see the .cpp), not taken
// from the table under test. UTF-8 is checked with iconv's UTF-8 decoder.
//
// Tests call sjis_referee_available() first and skip themselves when it is false.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace testing_support {

// True when iconv can convert between CP932 and UTF-8 here.
bool sjis_referee_available();

// The UTF-8 of the one character iconv's CP932 gives for the two bytes; nullopt when it
// gives none.
std::optional<std::string> cp932_decode(std::uint8_t lead, std::uint8_t trail);

// The CP932 bytes iconv writes for the UTF-8 text; nullopt when it cannot.
std::optional<std::string> cp932_encode(const std::string& utf8);

// The documented Unicode text (UTF-8) of a PC-98 pair in 0x8540-0x86ED that code page
// 932 leaves undefined; nullopt outside that range and for cells with no character.
std::optional<std::string> pc98_documented(std::uint8_t lead, std::uint8_t trail);

// The text a lead byte and trail byte should become in the UTF-8 dump: the code page
// 932 character, else the documented PC-98 one; nullopt when neither exists.
std::optional<std::string> sjis_expected(std::uint8_t lead, std::uint8_t trail);

// True when iconv's UTF-8 decoder takes the whole of `text`.
bool valid_utf8(const std::string& text);

// The UTF-8 of one code point.
std::string utf8_of(char32_t c);

}  // namespace testing_support
