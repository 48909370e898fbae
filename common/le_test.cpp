#include "common/le.h"

#include <gtest/gtest.h>

#include <array>

namespace {

struct ReadCase {
  const char* name;
  std::array<std::uint8_t, 5> bytes;  // read from offset 1, to show that any position works
  int le16;
  std::int32_t le32;
};

const ReadCase kReads[] = {
    {"typical", {0x00, 0x1E, 0x58, 0x00, 0x00}, 0x581E, 22558},
    {"all ones", {0x00, 0xFF, 0xFF, 0xFF, 0xFF}, 65535, -1},
    {"high byte only", {0x00, 0x00, 0x80, 0x00, 0x80}, 0x8000, static_cast<std::int32_t>(0x80008000u)},
    {"zero", {0x55, 0x00, 0x00, 0x00, 0x00}, 0, 0},
};

TEST(LeTest, ReadsFieldsLowByteFirst) {
  for (const ReadCase& c : kReads) {
    EXPECT_EQ(get_le16(c.bytes.data() + 1), c.le16) << "row: " << c.name;
    EXPECT_EQ(get_le32(c.bytes.data() + 1), c.le32) << "row: " << c.name;
  }
}

struct WriteCase {
  int value;
  std::uint8_t lo, hi;
};

const WriteCase kWrites[] = {{-10, 0xF6, 0xFF}, {65536 + 5, 0x05, 0x00}, {0x04A7, 0xA7, 0x04}, {-1, 0xFF, 0xFF}};

TEST(LeTest, PutStoresLow16BitsAndTouchesNothingElse) {
  for (const WriteCase& c : kWrites) {
    std::array<std::uint8_t, 4> b{0xAA, 0xAA, 0xAA, 0xAA};
    put_le16(b.data() + 1, c.value);
    EXPECT_EQ(b[0], 0xAA) << c.value;
    EXPECT_EQ(b[1], c.lo) << c.value;
    EXPECT_EQ(b[2], c.hi) << c.value;
    EXPECT_EQ(b[3], 0xAA) << c.value;
  }
}

TEST(LeTest, Put32StoresFourBytesLowFirstAndReadsBack) {
  const std::uint32_t values[] = {0x00134000u, 0xFFFFFFFFu, 0x80000001u, 0u};
  for (const std::uint32_t v : values) {
    std::array<std::uint8_t, 6> b{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    put_le32(b.data() + 1, v);
    EXPECT_EQ(b[0], 0xAA) << v;
    EXPECT_EQ(b[5], 0xAA) << v;
    EXPECT_EQ(b[1], v & 0xFF) << v;
    EXPECT_EQ(b[4], v >> 24) << v;
    EXPECT_EQ(static_cast<std::uint32_t>(get_le32(b.data() + 1)), v) << v;
  }
}

static_assert(get_le16(std::array<std::uint8_t, 2>{0x1E, 0x58}.data()) == 0x581E);

}  // namespace
