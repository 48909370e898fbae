#include "tools/patch_main.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct NameCase {
  const char* path;
  const char* expected;
};

const NameCase kNames[] = {
    {"disk.fdi", "disk.NEW.fdi"},
    {"disk", "disk.NEW"},
    {"a.b.xdf", "a.b.NEW.xdf"},
    {"old.v2/disk", "old.NEW.v2/disk"},  // the last '.' may lie in a directory part
    {".fdi", ".NEW.fdi"},
    {"", ".NEW"},
    {"K7_Wealdmor.fdi", "K7_Wealdmor.NEW.fdi"},
    {"k7-wealdmoor.xdf", "k7-wealdmoor.NEW.xdf"},
};

TEST(MakeNewNameTest, InsertsNewBeforeTheLastDot) {
  for (const NameCase& c : kNames) {
    char* name = make_new_name(c.path);
    ASSERT_NE(name, nullptr) << c.path;
    EXPECT_STREQ(name, c.expected) << "row: '" << c.path << "'";
    std::free(name);
  }
}

}  // namespace
