// Fuzz target: checking and printing one conversation file of arbitrary bytes, with and
// without file offsets, as Shift-JIS or UTF-8 text. The input is the file; the first
// byte also picks the offsets (bit 0) and the text form (bit 1).
#include <cstdint>
#include <cstring>

#include "dump/tlk.h"
#include "fuzz/fuzz_base.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_silence_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The dump tools hand over files of 7 to 65,536 bytes, held in a buffer of exactly
  // that size here, so that any read past the file is caught.
  if (size < 7 || size > 65536) return 0;
  const TlkText text = (data[0] & 2) != 0 ? TlkText::kUtf8 : TlkText::kShiftJis;
  tlk_dump_as(data, static_cast<std::int32_t>(size), (data[0] & 1) != 0, text);
  return 0;
}
