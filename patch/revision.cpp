#include "patch/revision.h"

#include <strings.h>

#include <cstring>
#include <vector>

#include "common/console.h"
#include "common/le.h"

namespace {

const TlkFileData* find_file(std::span<const TlkFileData> files, const char* name) {
  for (const TlkFileData& f : files) {
    if (f.name != nullptr && strcasecmp(f.name, name) == 0) return &f;
  }
  return nullptr;
}

// The file a target names, when it is there whole and of the target's length; else
// the reason it is not, in `reason`.
const TlkFileData* usable_file(std::span<const TlkFileData> files, const PatchTarget& target, RevisionReason* reason) {
  const TlkFileData* f = find_file(files, target.file_name);
  if (f == nullptr || f->data == nullptr) {
    reason->kind = RefusalKind::kUnreadable;
    reason->file = target.file_name;
    reason->error = f != nullptr && f->error != nullptr ? f->error : "not found";
    return nullptr;
  }
  if (f->size != target.file_length) {
    reason->kind = RefusalKind::kLength;
    reason->file = target.file_name;
    reason->found = f->size;
    reason->expected = target.file_length;
    return nullptr;
  }
  return f;
}

int record_count(const PatchRecord* records) {
  int n = 0;
  while (records[n].mode != '@') ++n;
  return n;
}

// Runs `records` backwards over `file` (the rebuilt file, `length` bytes) and fills
// `source` with the one file they could have been run over: see the header. Bytes no
// record reads stay zero.
void rebuild_source(const PatchRecord* records, const std::uint8_t* file, std::int32_t length,
                    std::vector<std::uint8_t>* source) {
  const auto n = static_cast<std::size_t>(length);
  source->assign(n, 0);
  // The target as it stood after the records not yet undone, and which of its bytes
  // still hold what those records left there (not yet claimed by a later record).
  std::vector<std::uint8_t> state(file, file + n);
  std::vector<std::uint8_t> live(n, 1);  // bytes, not bits: the loops below test every one
  const int count = record_count(records);

  for (int k = count - 1; k >= 0; --k) {
    const PatchRecord& r = records[k];
    switch (r.mode) {
      case 'a':
      case 'c': {
        const auto src = static_cast<std::size_t>(r.mode == 'a' ? 0 : r.src_off);
        const auto dst = static_cast<std::size_t>(r.mode == 'a' ? 0 : r.dst_off);
        const auto len = static_cast<std::size_t>(r.mode == 'a' ? length : r.length);
        for (std::size_t i = 0; i < len; ++i) {
          if (live[dst + i] == 0) continue;
          (*source)[src + i] = state[dst + i];
          live[dst + i] = 0;
        }
        break;
      }
      case 'f':
        live[static_cast<std::size_t>(r.dst_off)] = 0;
        break;
      case '!':
        // Entries are shifted in the target after they were copied there: shift back
        // those whose two bytes still hold the shifted value.
        for (std::size_t i = 0; i < static_cast<std::size_t>(r.length); i += 2) {
          const std::size_t p = static_cast<std::size_t>(r.dst_off) + i;
          if (live[p] == 0 || live[p + 1] == 0) continue;
          put_le16(&state[p], get_le16(&state[p]) - r.value);
        }
        break;
      default:  // 'e' reads only the source; its byte is set below
        break;
    }
  }
  // Every verified byte is what the revision expects: a file it applies to holds it.
  for (int k = 0; k < count; ++k) {
    const PatchRecord& r = records[k];
    if (r.mode == 'e' || r.mode == 'f')
      (*source)[static_cast<std::size_t>(r.src_off)] = static_cast<std::uint8_t>(r.expect);
  }
}

// Whether the record at `k` is the last to write byte `p` of the target.
bool last_writer(const PatchRecord* records, int k, std::int32_t p, std::int32_t length) {
  for (const PatchRecord* r = records + k + 1; r->mode != '@'; ++r) {
    switch (r->mode) {
      case 'a':
        if (p < length) return false;
        break;
      case 'c':
        if (p >= r->dst_off && p < r->dst_off + r->length) return false;
        break;
      case '!':  // 16-bit entries: an odd length still shifts its last entry's high byte
        if (p >= r->dst_off && p <= r->dst_off + r->length) return false;
        break;
      case 'f':
        if (p == r->dst_off) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

// A quick test that settles most files at once: an 'f' record whose byte no later
// record touches leaves its new value in every file the list makes, whatever the
// source, so a file without that value there was not made by the list. A file that
// was never patched still holds its old bytes, and fails here unless every such
// record writes the byte it found; a file that passes is checked in full.
bool final_bytes_hold(const PatchRecord* records, const std::uint8_t* file, std::int32_t length) {
  for (int k = 0; records[k].mode != '@'; ++k) {
    const PatchRecord& r = records[k];
    if (r.mode != 'f' || !last_writer(records, k, r.dst_off, length)) continue;
    if (file[r.dst_off] != static_cast<std::uint8_t>(r.value & 0xFF)) return false;
  }
  return true;
}

bool target_carried(const PatchTarget& target, const TlkFileData& file) {
  if (!final_bytes_hold(target.records, file.data, target.file_length)) return false;
  std::vector<std::uint8_t> source;
  rebuild_source(target.records, file.data, target.file_length, &source);
  std::vector<std::uint8_t> rebuilt(source.size());
  if (patch_apply_quiet(target.records, rebuilt.data(), source.data(), target.file_length) < 0) return false;
  return std::memcmp(rebuilt.data(), file.data, rebuilt.size()) == 0;
}

}  // namespace

const PatchSet& patch_revision(int revision) {
  static constexpr const PatchSet* kSets[kRevisionCount] = {&kPatchRevision1, &kPatchRevision2, &kPatchRevision3};
  return *kSets[revision - 1];
}

RevisionReason revision_check(const PatchSet& set, std::span<const TlkFileData> files) {
  RevisionReason reason;
  for (int t = 0; t < set.target_count; ++t) {
    const PatchTarget& target = set.targets[t];
    const TlkFileData* f = usable_file(files, target, &reason);
    if (f == nullptr) return reason;
    for (const PatchRecord* r = target.records; r->mode != '@'; ++r) {
      if (r->mode != 'e' && r->mode != 'f') continue;
      const std::int32_t found = f->data[r->src_off];
      if (found != r->expect) {
        reason.kind = RefusalKind::kByte;
        reason.file = target.file_name;
        reason.offset = r->src_off;
        reason.found = found;
        reason.expected = r->expect;
        return reason;
      }
    }
  }
  return reason;
}

bool revision_carried(const PatchSet& set, std::span<const TlkFileData> files) {
  for (int t = 0; t < set.target_count; ++t) {
    RevisionReason unused;
    const TlkFileData* f = usable_file(files, set.targets[t], &unused);
    if (f == nullptr || !target_carried(set.targets[t], *f)) return false;
  }
  return true;
}

void revision_verdicts(std::span<const TlkFileData> files, RevisionVerdict out[kRevisionCount]) {
  // Revision 1 is the most specific: its changes include 2's, which include 3's.
  int patched = 0;
  for (int revision = 1; revision <= kRevisionCount && patched == 0; ++revision) {
    if (revision_carried(patch_revision(revision), files)) patched = revision;
  }
  for (int revision = 1; revision <= kRevisionCount; ++revision) {
    RevisionVerdict& v = out[revision - 1];
    v.revision = revision;
    v.reason = RevisionReason{};
    if (revision == patched) {
      v.status = RevisionStatus::kPatched;
      continue;
    }
    v.reason = revision_check(patch_revision(revision), files);
    v.status = v.reason.kind == RefusalKind::kNone ? RevisionStatus::kApplies : RevisionStatus::kDoesNotApply;
  }
}

const char* revision_status_name(RevisionStatus status) {
  switch (status) {
    case RevisionStatus::kApplies:
      return "applies";
    case RevisionStatus::kPatched:
      return "patched";
    case RevisionStatus::kDoesNotApply:
      return "does not apply";
  }
  return "?";
}

int revision_reason_text(char* buffer, std::size_t size, const RevisionReason& reason) {
  switch (reason.kind) {
    case RefusalKind::kNone:
      break;
    case RefusalKind::kUnreadable:
      return buf_printf(buffer, size, "%s: %s", reason.file, reason.error);
    case RefusalKind::kLength:
      return buf_printf(buffer, size, "%s: %d bytes, expected %d", reason.file, reason.found, reason.expected);
    case RefusalKind::kByte:
      return buf_printf(buffer, size, "%s: byte 0x%04X is 0x%02X, expected 0x%02X", reason.file,
                        static_cast<unsigned>(reason.offset), static_cast<unsigned>(reason.found),
                        static_cast<unsigned>(reason.expected));
  }
  return buf_printf(buffer, size, "%s", "");
}
