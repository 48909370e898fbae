// Conversation files: checking the header, descrambling the records, printing them.
//
// A conversation file starts with a plain header of unsigned 16-bit little-endian
// fields: the npc count N (1 to 255), then N record offsets and one end offset. Record i
// is the run of bytes from offset i up to offset i+1, stored exclusive-or'ed with the
// one-byte key (TLK_XOR_SEED + i) mod 256; the key sequence starts again for every file.
// In a valid file every offset, the end offset included, lies strictly inside the file.
//
// tlk_parse checks the header before anything of the file is printed and reports the
// first fault in one "ERROR: " line. tlk_print_record prints one descrambled record as
// text: printable ASCII and Shift-JIS pairs written raw, control codes as \xHH escapes
// (0x00 also ends the line), the parameter bytes after 05, 06 and FE as escapes, and
// each line behind a prefix of two tabs or of its file offset. Everything goes to the
// C stdio stream stdout, the one the messages use, as the record is taken: nothing is
// collected first and nothing is allocated. Nothing is flushed here.
#pragma once

#include <cstdint>

// The key of record 0; record i uses (TLK_XOR_SEED + i) mod 256.
inline constexpr std::uint8_t TLK_XOR_SEED = 0x3B;

// File offset of the 16-bit npc count.
inline constexpr std::int32_t kTlkCountOffset = 0;
// File offset of the first 16-bit record offset; entry i lies at 2 + 2 * i, and the
// end offset follows the last record offset.
inline constexpr std::int32_t kTlkTableOffset = 2;
// Width in bytes of the count and of every offset entry.
inline constexpr std::int32_t kTlkFieldSize = 2;
// The largest valid npc count.
inline constexpr std::int32_t kTlkMaxNpcCount = 255;

struct TlkTable {
  std::int32_t npc_count;                     // 1 to 255 once parsed
  std::int32_t offsets[kTlkMaxNpcCount + 1];  // entries 0..npc_count, the last the end offset
};

// Fills `table` from the first `size` bytes of `data`; 0, or -1 after one
// "ERROR: npc count: %d\n" or "ERROR: file size: %d\n" line. Prints nothing on success.
int tlk_parse(const std::uint8_t* data, std::int32_t size, TlkTable* table);

// Prints record `index` of a parsed file, descrambled with `key`. A record whose end
// offset lies before its start prints as an empty record.
void tlk_print_record(const std::uint8_t* data, const TlkTable* table, std::int32_t index, std::uint8_t key,
                      bool show_offsets);

// Parses the file and prints all its records with the key sequence from TLK_XOR_SEED;
// 0, or -1 when the header was refused (its message printed, no record).
int tlk_dump(const std::uint8_t* data, std::int32_t size, bool show_offsets);

// How the text of a record reaches standard output: the descrambled Shift-JIS bytes as
// they are (what tlk_dump prints), or each double-byte character converted to UTF-8.
//
// The UTF-8 form changes nothing but what the renderer takes as a lead byte with its
// trail byte: that pair becomes its Unicode character (dump/sjis.h: code page 932 and the
// documented PC-98 pairs), or, when it has none, the two escapes \xHH\xHH of its bytes,
// so nothing is lost. A lead byte whose trail would lie past the record's end is printed
// as its escape. Headers, prefixes, escapes, line ends and the doubled backslash are
// those of the Shift-JIS form, and the UTF-8 text is valid UTF-8 whatever the file holds.
enum class TlkText : std::uint8_t { kShiftJis, kUtf8 };

// tlk_dump with the text written in the given form; same result, same messages, and
// for kShiftJis the very same output.
int tlk_dump_as(const std::uint8_t* data, std::int32_t size, bool show_offsets, TlkText text);
