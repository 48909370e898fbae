// Which patch revision fits a disk: checking the conversation files read out of an
// image against the three patch sets, without changing anything and printing nothing.
//
// The caller reads the files (TlkFileData: it owns the bytes and the texts, which must
// outlive the call) and gets, for each revision, one of three verdicts:
//
// - applies: every file the revision rebuilds is there with exactly the length the
//   revision was made for, and every byte its records verify ('e' and 'f') holds the
//   expected value. Running the revision's patch pass would succeed (a container that
//   refuses to rewrite a sector in place aside: that shows only when writing).
//
// - patched: the disk already carries this revision. Exactly: each file the revision
//   rebuilds is what the revision makes of some file it applies to. This is decided
//   from the record list alone. The list is run backwards over the file as it is now:
//   every byte that a copy put at its place gives back the source byte it came from,
//   every offset-table entry a '!' record shifted is shifted back, and every byte an
//   'e' or 'f' record verifies is the byte it expects. That rebuilds the one source the
//   file could have come from (bytes the patch dropped without verifying are free, and
//   do not matter). The list is then run forwards over that source: the file carries
//   the revision when the result is the file itself, byte for byte. So a file that
//   was never patched is never called patched (it still holds the bytes the patch
//   replaces: KEEP.TLK's verified last ten bytes are not zero, TOWNE.TLK's byte 0x689D
//   is not 0xB4), and a patched file is always recognised, whatever its other bytes.
//
//   Revision 1's changes include revision 2's, and revision 2's include revision 3's
//   (revision 3 is revision 2 without its change to KEEP.TLK at 0x1907-0x1A16), so a
//   disk patched by revision 1 also carries 2 and 3 in this sense, and one patched by
//   revision 2 also carries 3. Only the most specific revision that the disk carries
//   (1 before 2 before 3) gets the verdict `patched`; every other revision is judged
//   as `applies` or `does not apply` (on a disk patched by revision 2, revision 3
//   verifies KEEP.TLK's last bytes, now zero, and does not apply).
//
// - does not apply: the first reason in the order the patch pass would meet it (the
//   revision's files in order, each file's records in order): a file that is missing
//   or unreadable, a file of another length, or the first verified byte that differs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "patch/sets.h"

inline constexpr int kRevisionCount = 3;

// The patch set of revision 1, 2 or 3. REQUIRES: 1 <= revision <= kRevisionCount.
const PatchSet& patch_revision(int revision);

// One conversation file as the caller read it out of the volume.
struct TlkFileData {
  const char* name;          // 8.3 name as the patch sets spell it ("KEEP.TLK")
  const std::uint8_t* data;  // the whole file, `size` bytes; null when it could not be read
  std::int32_t size;         // bytes at `data`
  const char* error;         // with data null: why ("not found", the volume's message)
};

enum class RevisionStatus : std::uint8_t { kApplies, kPatched, kDoesNotApply };

// Why a revision does not apply.
enum class RefusalKind : std::uint8_t {
  kNone,        // it applies
  kUnreadable,  // `file` is missing or could not be read: `error`
  kLength,      // `file` has `found` bytes, not `expected`
  kByte,        // byte `offset` of `file` holds `found`, not `expected`
};

struct RevisionReason {
  RefusalKind kind = RefusalKind::kNone;
  const char* file = nullptr;   // the file concerned (a name from the patch set)
  std::int32_t offset = 0;      // kByte: the file offset of the verified byte
  std::int32_t found = 0;       // kByte: the byte there; kLength: the file's size
  std::int32_t expected = 0;    // kByte: the byte the revision expects; kLength: its length
  const char* error = nullptr;  // kUnreadable: the caller's text for the file
};

struct RevisionVerdict {
  int revision;           // 1 to 3
  RevisionStatus status;  // see above
  RevisionReason reason;  // kind kNone unless status is kDoesNotApply
};

// Whether `set` applies to `files` (any order; names compared ignoring ASCII case):
// kind kNone, or the first reason it does not.
RevisionReason revision_check(const PatchSet& set, std::span<const TlkFileData> files);

// Whether every file `set` rebuilds is exactly what `set` makes of a file it applies to.
bool revision_carried(const PatchSet& set, std::span<const TlkFileData> files);

// The verdicts of revisions 1, 2 and 3, in that order, with at most one kPatched.
void revision_verdicts(std::span<const TlkFileData> files, RevisionVerdict out[kRevisionCount]);

// "applies", "patched" or "does not apply".
const char* revision_status_name(RevisionStatus status);

// The reason as one line of text without a line end, e.g.
// "KEEP.TLK: byte 0x5814 is 0x00, expected 0x2D", "KEEP.TLK: 100 bytes, expected 22558"
// or "KEEP.TLK: not found"; empty for kNone. Formats into `buffer` of `size` bytes as
// buf_printf does and returns the whole text's length.
int revision_reason_text(char* buffer, std::size_t size, const RevisionReason& reason);
