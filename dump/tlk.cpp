#include "dump/tlk.h"

#include <array>
#include <cstdio>

#include "common/console.h"
#include "common/le.h"
#include "common/platform.h"
#include "dump/sjis.h"

namespace {

// What a descrambled byte does when it is neither a trail byte nor a parameter.
enum class ByteRole : std::uint8_t {
  kText,       // printable ASCII, written raw
  kBackslash,  // 0x5C, written doubled so that it cannot be taken for an escape
  kLead,       // Shift-JIS lead byte, written raw; the next byte is its trail
  kLineEnd,    // 0x00: escape, then a line end
  kOneParam,   // 0x05, 0x06: escape; the next byte is a parameter
  kTwoParams,  // 0xFE: escape; the next two bytes are parameters
  kEscape,     // every other control or unused code: escape alone
};

inline constexpr std::uint8_t kLineEndCode = 0x00;
inline constexpr std::uint8_t kBackslashCode = 0x5C;
inline constexpr std::uint8_t kTwoParamCode = 0xFE;

constexpr std::array<ByteRole, 256> make_roles() {
  std::array<ByteRole, 256> roles{};
  for (int b = 0; b < 256; ++b) {
    ByteRole r = ByteRole::kEscape;
    if (b >= 0x20 && b <= 0x7E) r = ByteRole::kText;
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF)) r = ByteRole::kLead;  // Shift-JIS lead ranges
    roles[static_cast<std::size_t>(b)] = r;
  }
  roles[kBackslashCode] = ByteRole::kBackslash;
  roles[kLineEndCode] = ByteRole::kLineEnd;
  roles[0x05] = ByteRole::kOneParam;
  roles[0x06] = ByteRole::kOneParam;
  roles[kTwoParamCode] = ByteRole::kTwoParams;
  return roles;
}

inline constexpr std::array<ByteRole, 256> kRoles = make_roles();
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The dump text is written a character at a time; the stream is locked once per record
// (see tlk_print_record), so the unlocked writes cost about as much as a copy.
inline void put_char(int c) { putc_unlocked(c, stdout); }

inline void put_text(const char* text) {
  while (*text != '\0') put_char(*text++);
}

// "\\x%2.2X" of one byte, without a formatted print per byte.
inline void put_escape(std::uint8_t b) {
  put_char('\\');
  put_char('x');
  put_char(kHexDigits[b >> 4]);
  put_char(kHexDigits[b & 0x0F]);
}

// "\t[%2.1d] = {\n": the record number right-aligned in two columns, three digits
// taking three. Written by hand: a formatted print per record costs more than the record.
inline void put_record_header(std::int32_t index) {
  char digits[12];
  int n = 0;
  auto value = static_cast<std::uint32_t>(index);
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  put_text("\t[");
  if (n < 2) put_char(' ');
  while (n > 0) put_char(digits[--n]);
  put_text("] = {\n");
}

// "%08X:\t": the file offset of the line's first byte in eight upper-case hex digits.
inline void put_offset_prefix(std::int32_t position) {
  const auto value = static_cast<std::uint32_t>(position);
  for (int shift = 28; shift >= 0; shift -= 4) put_char(kHexDigits[(value >> shift) & 0x0F]);
  put_char(':');
  put_char('\t');
}

}  // namespace

int tlk_parse(const std::uint8_t* data, std::int32_t size, TlkTable* table) {
  *table = TlkTable{};
  // A file too short to hold even the count can only be a size fault.
  if (size < kTlkCountOffset + kTlkFieldSize) {
    out_printf("ERROR: file size: %d\n", size);
    return -1;
  }
  const std::int32_t count = get_le16(data + kTlkCountOffset);
  if (count == 0 || count > kTlkMaxNpcCount) {
    out_printf("ERROR: npc count: %d\n", count);
    return -1;
  }
  // The count and the count + 1 offsets; past this test every entry lies inside the data.
  const std::int32_t header_size = kTlkTableOffset + kTlkFieldSize * (count + 1);
  if (size <= header_size) {
    out_printf("ERROR: file size: %d\n", size);
    return -1;
  }
  table->npc_count = count;
  for (std::int32_t i = 0; i <= count; ++i) {
    const std::int32_t offset = get_le16(data + kTlkTableOffset + kTlkFieldSize * i);
    table->offsets[i] = offset;
    if (offset >= size) {
      out_printf("ERROR: file size: %d\n", size);
      return -1;
    }
  }
  return 0;
}

namespace {

// Prints one record in the given text form. The two forms differ only in what a lead
// byte and its trail byte become, so the Shift-JIS form compiles to exactly the loop it
// always was; the UTF-8 form holds the lead back until its trail byte is taken.
template <TlkText kForm>
void print_record(const std::uint8_t* data, const TlkTable* table, std::int32_t index, std::uint8_t key,
                  bool show_offsets) {
  flockfile(stdout);
  put_record_header(index);

  std::int32_t position = table->offsets[index];
  // Offsets that run backwards give no bytes: every byte taken lies between two offsets
  // that are both inside the file.
  std::int32_t remaining = table->offsets[index + 1] - position;
  bool line_start = true;
  bool pending_lead = false;
  std::uint8_t lead = 0;  // the pending lead byte, in the UTF-8 form
  int pending_params = 0;

  for (; remaining > 0; --remaining) {
    if (line_start) {
      line_start = false;
      if (show_offsets) {
        put_offset_prefix(position);
      } else {
        put_text("\t\t");
      }
    }
    const std::uint8_t b = data[position++] ^ key;

    if (pending_lead) {
      // The trail byte of a double-byte character, whatever its value.
      pending_lead = false;
      if constexpr (kForm == TlkText::kShiftJis) {
        put_char(b);
      } else {
        const SjisUtf8& text = sjis_utf8(lead, b);
        if (text.length == 0) {
          // No character for the pair: both bytes as escapes, so that nothing is lost.
          put_escape(lead);
          put_escape(b);
        }
        for (int i = 0; i < text.length; ++i) put_char(static_cast<unsigned char>(text.bytes[i]));
      }
      continue;
    }
    if (pending_params > 0) {
      --pending_params;
      put_escape(b);
      continue;
    }
    switch (kRoles[b]) {
      case ByteRole::kText:
        put_char(b);
        break;
      case ByteRole::kBackslash:
        put_text("\\\\");
        break;
      case ByteRole::kLead:
        pending_lead = true;
        if constexpr (kForm == TlkText::kShiftJis) {
          put_char(b);
        } else {
          lead = b;
        }
        break;
      case ByteRole::kLineEnd:
        put_escape(b);
        put_char('\n');
        line_start = true;
        break;
      case ByteRole::kOneParam:
        put_escape(b);
        pending_params = 1;
        break;
      case ByteRole::kTwoParams:
        put_escape(b);
        pending_params = 2;
        break;
      case ByteRole::kEscape:
        put_escape(b);
        break;
    }
  }
  // A lead byte whose trail lay past the record's end: the Shift-JIS form has written it
  // raw already, the UTF-8 form has no character for it and writes its escape.
  if constexpr (kForm == TlkText::kUtf8) {
    if (pending_lead) put_escape(lead);
  }

  put_text("\n\t}\n\n");
  funlockfile(stdout);
}

template <TlkText kForm>
int dump_file(const std::uint8_t* data, std::int32_t size, bool show_offsets) {
  TlkTable table{};
  if (tlk_parse(data, size, &table) < 0) return -1;
  std::uint8_t key = TLK_XOR_SEED;
  for (std::int32_t i = 0; i < table.npc_count; ++i) {
    print_record<kForm>(data, &table, i, key, show_offsets);
    key = static_cast<std::uint8_t>(key + 1);  // 0xFF is followed by 0x00
  }
  return 0;
}

}  // namespace

void tlk_print_record(const std::uint8_t* data, const TlkTable* table, std::int32_t index, std::uint8_t key,
                      bool show_offsets) {
  print_record<TlkText::kShiftJis>(data, table, index, key, show_offsets);
}

int tlk_dump(const std::uint8_t* data, std::int32_t size, bool show_offsets) {
  return dump_file<TlkText::kShiftJis>(data, size, show_offsets);
}

int tlk_dump_as(const std::uint8_t* data, std::int32_t size, bool show_offsets, TlkText text) {
  if (text == TlkText::kUtf8) return dump_file<TlkText::kUtf8>(data, size, show_offsets);
  return dump_file<TlkText::kShiftJis>(data, size, show_offsets);
}
