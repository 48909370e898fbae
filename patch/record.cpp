#include "patch/record.h"

#include <cstring>

#include "common/console.h"
#include "common/le.h"

namespace {

// The byte at `p` against a record's expect value. An expect outside 0..255 can never
// match: the comparison is made against the whole 32-bit value.
bool matches(const std::uint8_t* p, std::int32_t expect) { return static_cast<std::int32_t>(*p) == expect; }

}  // namespace

namespace {

// The interpreter; `report` selects whether each record prints its line.
int run_records(const PatchRecord* records, std::uint8_t* target, const std::uint8_t* source, std::int32_t length,
                bool report) {
  // A negative length can only come from a broken table; it copies and clears nothing.
  const std::size_t file_bytes = length > 0 ? static_cast<std::size_t>(length) : 0;
  std::memset(target, 0, file_bytes);

  for (const PatchRecord* r = records; r->mode != '@'; ++r) {
    switch (r->mode) {
      case 'a':
        if (report) out_printf("copy all\n");
        std::memcpy(target, source, file_bytes);
        break;
      case 'c':
        if (report)
          out_printf("copy %d(%X) byte from %04X to %04X\n", r->length, static_cast<unsigned>(r->length),
                     static_cast<unsigned>(r->src_off), static_cast<unsigned>(r->dst_off));
        if (r->length > 0) std::memcpy(target + r->dst_off, source + r->src_off, static_cast<std::size_t>(r->length));
        break;
      case 'e':
        if (report)
          out_printf("erace data %04X:%02X\n", static_cast<unsigned>(r->src_off), static_cast<unsigned>(r->expect));
        if (!matches(source + r->src_off, r->expect)) {
          if (report) out_printf("data mismatch %02X\n", static_cast<unsigned>(source[r->src_off]));
          return -1;
        }
        break;
      case 'f':
        if (report)
          out_printf("change data %04X:%02X -> %04X:%02X\n", static_cast<unsigned>(r->src_off),
                     static_cast<unsigned>(r->expect), static_cast<unsigned>(r->dst_off),
                     static_cast<unsigned>(r->value));
        if (!matches(source + r->src_off, r->expect)) {
          if (report) out_printf("data mismatch %02X\n", static_cast<unsigned>(source[r->src_off]));
          return -1;
        }
        target[r->dst_off] = static_cast<std::uint8_t>(r->value & 0xFF);
        break;
      case '!':
        if (report) out_printf("modify offset table\n");
        for (std::int32_t i = 0; i < r->length; i += 2) {
          std::uint8_t* entry = target + r->dst_off + i;
          const int old_value = get_le16(entry);
          if (report)
            out_printf("%04X:%02X -> ", static_cast<unsigned>(r->dst_off + i), static_cast<unsigned>(old_value));
          // The sum of a 32-bit signed delta and a 16-bit entry, taken modulo 2^32 as the
          // printed value; the entry keeps its low 16 bits.
          const auto sum = static_cast<std::uint32_t>(static_cast<std::int64_t>(old_value) + r->value);
          put_le16(entry, static_cast<int>(sum & 0xFFFFu));
          if (report) out_printf("%02X\n", static_cast<unsigned>(sum));
        }
        break;
      default:
        if (report) out_printf("unknown mode '%c'\n", r->mode);
        return -1;
    }
  }
  return 0;
}

}  // namespace

int patch_apply(const PatchRecord* records, std::uint8_t* target, const std::uint8_t* source, std::int32_t length) {
  return run_records(records, target, source, length, true);
}

int patch_apply_quiet(const PatchRecord* records, std::uint8_t* target, const std::uint8_t* source,
                      std::int32_t length) {
  return run_records(records, target, source, length, false);
}
