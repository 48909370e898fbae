#include "common/console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/process.h"

using testing_support::capture_stdout;

namespace {

struct FormatCase {
  const char* name;
  std::string (*print)();
  const char* expected;
};

std::string out(const std::function<void()>& f) { return capture_stdout(f); }

// One row per directive the system uses; each runs through out_printf itself, so that
// the check covers the real output path.
const FormatCase kDirectives[] = {
    {"s", [] { return out([] { out_printf("[%s]", "a%d b"); }); }, "[a%d b]"},
    {"c low byte", [] { return out([] { out_printf("%c", 0x141); }); }, "A"},
    {"d negative", [] { return out([] { out_printf("%d", -10); }); }, "-10"},
    {"02d", [] { return out([] { out_printf("%02d", 7); }); }, "07"},
    {"02d wider", [] { return out([] { out_printf("%02d", 123); }); }, "123"},
    {"04d", [] { return out([] { out_printf("%04d", 1980); }); }, "1980"},
    {"04d filled", [] { return out([] { out_printf("%04d", 7); }); }, "0007"},
    {"2.1d one digit", [] { return out([] { out_printf("%2.1d", 3); }); }, " 3"},
    {"2.1d three digits", [] { return out([] { out_printf("%2.1d", 254); }); }, "254"},
    {"2.1d zero", [] { return out([] { out_printf("%2.1d", 0); }); }, " 0"},
    {"10.1d", [] { return out([] { out_printf("%10.1d", 22558); }); }, "     22558"},
    {"X", [] { return out([] { out_printf("%X", 0x27Au); }); }, "27A"},
    {"X negative", [] { return out([] { out_printf("%X", static_cast<unsigned>(-7)); }); }, "FFFFFFF9"},
    {"02X", [] { return out([] { out_printf("%02X", 0xAu); }); }, "0A"},
    {"02X above FF", [] { return out([] { out_printf("%02X", 0x1F4u); }); }, "1F4"},
    {"04X", [] { return out([] { out_printf("%04X", 0x4A7u); }); }, "04A7"},
    {"08X", [] { return out([] { out_printf("%08X", 4096u); }); }, "00001000"},
    {"2.2X", [] { return out([] { out_printf("\\x%2.2X", 0x5Cu); }); }, "\\x5C"},
    {"err_printf same stream", [] { return out([] { out_printf("a "); err_printf("b\n"); }); }, "a b\n"},
    {"no line end added", [] { return out([] { out_printf("%s (Y or N): ", "q"); out_printf("next"); }); }, "q (Y or N): next"},
};

TEST(ConsoleTest, DirectivesPrintExactly) {
  for (const FormatCase& c : kDirectives) EXPECT_EQ(c.print(), c.expected) << "row: " << c.name;
}

TEST(ConsoleTest, BufPrintfBoundsAndTerminates) {
  char buf[16];
  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(buf_printf(buf, 11, "%s", "2001-01-01"), 10);
  EXPECT_STREQ(buf, "2001-01-01");

  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(buf_printf(buf, 11, "%s", "123456789012"), 12);
  EXPECT_STREQ(buf, "1234567890");
  EXPECT_EQ(buf[11], 'Z');

  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(buf_printf(buf, 0, "%s", "abc"), 3);
  EXPECT_EQ(buf[0], 'Z');
}

}  // namespace
