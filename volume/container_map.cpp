#include "volume/container_map.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/console.h"
#include "common/le.h"
#include "volume/container_layout.h"
#include "volume/fat_layout.h"

namespace {

using i64 = std::int64_t;

// The byte the emulators show for a sector of a track the container does not store.
constexpr std::uint8_t kAbsentTrackFill = kDimAbsentFill;
static_assert(kDimAbsentFill == kDcpAbsentFill);

// The largest size code of a real sector: 128 << 7 = 16384 bytes.
constexpr int kMaxSizeCode = 7;

// Sanity bounds on a D88 track: records in it, data bytes of one record.
constexpr int kD88MaxRecords = 128;
constexpr int kD88MaxDataLength = 16384;

// The first byte of a boot sector that holds a parameter block: an x86 jump over it.
constexpr int kBootJumpShort = 0xEB;
constexpr int kBootJumpNear = 0xE9;

// Bounds-checked view of the input. Every read goes through has() first; the accessors
// also answer 0 outside the input, so a missed check can never read past it.
class View {
 public:
  View(const std::uint8_t* data, std::size_t size) : data_(data), size_(static_cast<i64>(size)) {}
  i64 size() const { return size_; }
  bool has(i64 offset, i64 length) const {
    return offset >= 0 && length >= 0 && offset <= size_ && length <= size_ - offset;
  }
  int u8(i64 offset) const { return has(offset, 1) ? data_[offset] : 0; }
  int u16(i64 offset) const { return has(offset, 2) ? get_le16(data_ + offset) : 0; }
  i64 u32(i64 offset) const {
    return has(offset, 4) ? static_cast<i64>(static_cast<std::uint32_t>(get_le32(data_ + offset))) : 0;
  }
  bool equals(i64 offset, const void* bytes, std::size_t n) const {
    return has(offset, static_cast<i64>(n)) && std::memcmp(data_ + offset, bytes, n) == 0;
  }

 private:
  const std::uint8_t* data_;
  i64 size_;
};

const char* form_name(ImageForm form) { return vol_form_name(form); }

// "damaged FORM image 'NAME': DETAIL; ..." with DETAIL formatted from `format`.
[[gnu::format(PARLE_PRINTF, 3, 4)]] int damaged(ImageForm form, const char* name, const char* format, ...) {
  char detail[200];
  va_list args;
  va_start(args, format);
  // Cut silently at the buffer's end; a format error leaves the detail empty. (The
  // analyzer loses va_start when it inlines a variadic function into its callers.)
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  if (std::vsnprintf(detail, sizeof detail, format, args) < 0) detail[0] = '\0';
  va_end(args);
  err_printf("damaged %s image '%s': %s; make the image again from the disk or a good copy\n", form_name(form), name,
             detail);
  return -1;
}

// The description of a geometry that is none of the volume's.
int unsupported_geometry(ImageForm form, const char* name, i64 cylinders, i64 heads, i64 sectors, i64 bytes) {
  err_printf(
      "unsupported %s image '%s': %lld x %lld x %lld sectors of %lld bytes is not a 1232, 720 or 640 KiB volume\n",
      form_name(form), name, static_cast<long long>(cylinders), static_cast<long long>(heads),
      static_cast<long long>(sectors), static_cast<long long>(bytes));
  return -1;
}

int geometry_index(i64 cylinders, i64 heads, i64 sectors, i64 bytes) {
  for (int i = 0; i < static_cast<int>(std::size(kGeometries)); ++i) {
    const Geometry& g = kGeometries[i];
    if (g.cylinders == cylinders && g.heads == heads && g.sectors_per_track == sectors && g.bytes_per_sector == bytes) {
      return i;
    }
  }
  return -1;
}

void set_linear(ContainerMap* map, ImageForm form, int geometry, i64 data_offset) {
  map->form = form;
  map->geometry = geometry;
  map->data_offset = static_cast<std::int32_t>(data_offset);
  map->linear = true;
}

// Prepares the per-sector arrays of a mapped (not linear) form.
void start_mapped(ContainerMap* map, ImageForm form, int geometry) {
  const auto total = static_cast<std::size_t>(kGeometries[geometry].total_sectors);
  map->form = form;
  map->geometry = geometry;
  map->linear = false;
  map->offsets.assign(total, -1);
  map->fill.assign(total, 0);
  map->states.assign(total, SectorState::kStored);
}

void finish_mapped(ContainerMap* map) {
  map->data_offset = map->offsets[0] >= 0 ? static_cast<std::int32_t>(map->offsets[0]) : 0;
}

// ---------------------------------------------------------------- track-image forms

// A form that stores whole tracks, R order, with a per-track stored flag (DIM, DCP):
// maps every sector, those of tracks not stored to the fill byte.
template <typename Stored, typename Slot>
void map_tracks(ContainerMap* map, Stored stored, Slot slot, i64 data_start) {
  const Geometry& g = kGeometries[map->geometry];
  const i64 track_bytes = static_cast<i64>(g.sectors_per_track) * g.bytes_per_sector;
  for (int s = 0; s < g.total_sectors; ++s) {
    const int t = s / g.sectors_per_track;
    const auto i = static_cast<std::size_t>(s);
    if (stored(t)) {
      map->offsets[i] =
          data_start + slot(t) * track_bytes + static_cast<i64>(s % g.sectors_per_track) * g.bytes_per_sector;
    } else {
      map->fill[i] = kAbsentTrackFill;
      map->states[i] = SectorState::kFill;
    }
  }
  finish_mapped(map);
}

struct TrackMedia {
  int media;
  int sectors;      // per track
  int bytes;        // per sector
  int tracks;       // of the whole media
  int alt_tracks;   // another track count some readers use (0: none)
  int half_track0;  // bytes missing from track 0 side 0 (stored at a smaller size)
  int cylinders;    // for the description of an unsupported geometry
};

// DIM media types (X68000).
constexpr TrackMedia kDimMediaTypes[] = {
    {0x00, 8, 1024, 154, 0, 0, 77},    // 2HD
    {0x01, 9, 1024, 160, 0, 0, 80},    // 2HS
    {0x02, 15, 512, 160, 0, 0, 80},    // 2HC
    {0x03, 9, 1024, 160, 0, 0, 80},    // 2HDE
    {0x09, 18, 512, 160, 0, 0, 80},    // 2HQ
    {0x11, 26, 256, 154, 160, 0, 77},  // N88
};

// DCP/DCU media types (PC-98).
constexpr TrackMedia kDcpMediaTypes[] = {
    {0x01, 8, 1024, 154, 0, 0, 77},           // 2HD
    {0x02, 15, 512, 160, 0, 0, 80},           // 2HC
    {0x03, 18, 512, 160, 0, 0, 80},           // 2HQ
    {0x04, 8, 512, 160, 0, 0, 80},            // 2DD 640K
    {0x05, 9, 512, 160, 0, 0, 80},            // 2DD 720K
    {0x08, 9, 1024, 154, 160, 0, 77},         // 9 x 1024
    {0x11, 26, 256, 154, 160, 26 * 128, 77},  // BASIC 2HD: track 0 side 0 is 26 x 128
    {0x19, 16, 256, 160, 0, 0, 80},           // BASIC 2DD
    {0x21, 26, 256, 154, 160, 0, 77},         // 26 x 256
};

template <std::size_t N>
const TrackMedia* find_media(const TrackMedia (&table)[N], int media) {
  for (const TrackMedia& m : table) {
    if (m.media == media) return &m;
  }
  return nullptr;
}

// DIM: recognised by its signature; -1 after a message, 0 mapped.
int map_dim(const View& v, const char* name, ContainerMap* map) {
  if (!v.has(0, kDimHeaderSize)) return damaged(ImageForm::kDim, name, "the header is cut short");
  const int media = v.u8(kDimMedia);
  const TrackMedia* m = find_media(kDimMediaTypes, media);
  if (m == nullptr) return damaged(ImageForm::kDim, name, "media type %02X is unknown", media);
  int stored = 0;
  for (int t = 0; t < kDimTrackFlagCount; ++t) {
    const int flag = v.u8(kDimTrackFlags + t);
    if (flag > 1) return damaged(ImageForm::kDim, name, "the flag of track %d is %02X, neither 0 nor 1", t, flag);
    stored += flag;
  }
  const i64 track_bytes = static_cast<i64>(m->sectors) * m->bytes;
  const i64 expected = kDimHeaderSize + stored * track_bytes;
  if (expected != v.size()) {
    return damaged(ImageForm::kDim, name, "its %d stored tracks make %lld bytes, but the file has %lld", stored,
                   static_cast<long long>(expected), static_cast<long long>(v.size()));
  }
  const int g = geometry_index(m->cylinders, 2, m->sectors, m->bytes);
  if (g < 0) return unsupported_geometry(ImageForm::kDim, name, m->cylinders, 2, m->sectors, m->bytes);
  start_mapped(map, ImageForm::kDim, g);
  // A stored track's position counts the stored tracks before it.
  map_tracks(
      map, [&](int t) { return v.u8(kDimTrackFlags + t) == 1; },
      [&](int t) {
        i64 before = 0;
        for (int k = 0; k < t; ++k) before += v.u8(kDimTrackFlags + k);
        return before;
      },
      kDimHeaderSize);
  return 0;
}

// DCP/DCU: no signature; the 0/1 map and the exact length identify it. 1 when
// recognised and mapped, 0 when not this form, -1 after a message.
int map_dcp(const View& v, const char* name, ContainerMap* map) {
  if (!v.has(0, kDcpHeaderSize)) return 0;
  const TrackMedia* m = find_media(kDcpMediaTypes, v.u8(kDcpMedia));
  if (m == nullptr) return 0;
  int mapped = 0;
  for (int t = 0; t < kDcpTrackMapCount; ++t) {
    const int bit = v.u8(kDcpTrackMap + t);
    if (bit > 1) return 0;
    mapped += bit;
  }
  const int all_flag = v.u8(kDcpAllTracks);
  if (all_flag > 1) return 0;
  const i64 track_bytes = static_cast<i64>(m->sectors) * m->bytes;
  // The size of a file holding `tracks` tracks, track 0 among them when `with_track0`.
  auto size_of = [&](i64 tracks, bool with_track0) {
    return kDcpHeaderSize + tracks * track_bytes - (with_track0 ? m->half_track0 : 0);
  };
  bool all = false;
  if (v.size() == size_of(m->tracks, true) || (m->alt_tracks != 0 && v.size() == size_of(m->alt_tracks, true))) {
    all = true;  // every track of the media, whatever the map says
  } else if (all_flag == 1 || v.size() != size_of(mapped, v.u8(kDcpTrackMap) == 1)) {
    return 0;
  }
  const int g = geometry_index(m->cylinders, 2, m->sectors, m->bytes);
  if (g < 0 || m->half_track0 != 0)
    return unsupported_geometry(ImageForm::kDcp, name, m->cylinders, 2, m->sectors, m->bytes);
  start_mapped(map, ImageForm::kDcp, g);
  map_tracks(
      map, [&](int t) { return all || v.u8(kDcpTrackMap + t) == 1; },
      [&](int t) {
        if (all) return static_cast<i64>(t);
        i64 before = 0;
        for (int k = 0; k < t; ++k) before += v.u8(kDcpTrackMap + k);
        return before;
      },
      kDcpHeaderSize);
  return 1;
}

// ---------------------------------------------------------------- sector-ID forms

// One sector ID record of a D88, NFD or FDD container, as found in its track.
struct IdRecord {
  int row;            // the track (C*2+H) whose table holds it
  int c, h, r, n;     // its ID
  i64 offset;         // file position of its data; -1 when not stored
  i64 length;         // data bytes stored (D88 records carry their own length)
  std::uint8_t fill;  // what a sector not stored reads as
  int status;         // BIOS status: nonzero marks a read error
  bool deleted;       // deleted-data address mark
};

// Sets the geometry from the IDs of track 0 (the size code of record 1, and whether a
// record 9 exists), then finds every sector of it exactly once. -1 after a message.
int map_ids(const std::vector<IdRecord>& records, ImageForm form, const char* name, ContainerMap* map) {
  const IdRecord* first = nullptr;
  bool has_r9 = false;
  for (const IdRecord& rec : records) {
    if (rec.row != 0 || rec.c != 0 || rec.h != 0) continue;
    if (rec.r == 1 && first == nullptr) first = &rec;
    if (rec.r == 9) has_r9 = true;
  }
  if (first == nullptr) return damaged(form, name, "cylinder 0 head 0 record 1 is missing");
  int g = -1;
  if (first->n == 3) g = 0;
  if (first->n == 2) g = has_r9 ? 1 : 2;
  if (g < 0 && first->n > kMaxSizeCode) {
    return damaged(form, name, "cylinder 0 head 0 record 1 has the size code %d", first->n);
  }
  if (g < 0) {
    err_printf("unsupported %s image '%s': its sectors of %d bytes fit no 1232, 720 or 640 KiB volume\n",
               form_name(form), name, 128 << first->n);
    return -1;
  }
  const Geometry& geo = kGeometries[g];
  start_mapped(map, form, g);
  std::vector<bool> seen(static_cast<std::size_t>(geo.total_sectors), false);
  for (const IdRecord& rec : records) {
    const int t = rec.c * 2 + rec.h;
    if (rec.h > 1 || t != rec.row || rec.c >= geo.cylinders || rec.r < 1 || rec.r > geo.sectors_per_track) continue;
    const auto s = static_cast<std::size_t>(t * geo.sectors_per_track + rec.r - 1);
    if (seen[s]) return damaged(form, name, "cylinder %d head %d record %d is stored twice", rec.c, rec.h, rec.r);
    seen[s] = true;
    if (rec.n > kMaxSizeCode) {
      return damaged(form, name, "cylinder %d head %d record %d has the size code %d", rec.c, rec.h, rec.r, rec.n);
    }
    if ((128 << rec.n) != geo.bytes_per_sector) {
      return damaged(form, name, "cylinder %d head %d record %d is a %d-byte sector in a volume of %d-byte sectors",
                     rec.c, rec.h, rec.r, 128 << rec.n, geo.bytes_per_sector);
    }
    if (rec.offset >= 0 && rec.length != geo.bytes_per_sector) {
      return damaged(form, name, "cylinder %d head %d record %d stores %lld data bytes, not %d", rec.c, rec.h, rec.r,
                     static_cast<long long>(rec.length), geo.bytes_per_sector);
    }
    if (rec.status != 0) {
      return damaged(form, name, "cylinder %d head %d record %d is marked as a read error (status %02X)", rec.c, rec.h,
                     rec.r, rec.status);
    }
    if (rec.deleted)
      return damaged(form, name, "cylinder %d head %d record %d is marked as deleted data", rec.c, rec.h, rec.r);
    map->offsets[s] = rec.offset;
    if (rec.offset < 0) {
      map->fill[s] = rec.fill;
      map->states[s] = SectorState::kFill;
    }
  }
  for (int s = 0; s < geo.total_sectors; ++s) {
    if (!seen[static_cast<std::size_t>(s)]) {
      const int spt = geo.sectors_per_track;
      return damaged(form, name, "cylinder %d head %d record %d is missing", s / (2 * spt), (s / spt) % 2, s % spt + 1);
    }
  }
  finish_mapped(map);
  return 0;
}

// A byte range of the file that one table entry claims, for the overlap checks.
struct Claim {
  i64 begin, end;
  int what;  // track or entry number, for the message
};

// The first pair of claims that overlap, or false.
bool find_overlap(std::vector<Claim> claims, Claim* a, Claim* b) {
  std::sort(claims.begin(), claims.end(), [](const Claim& x, const Claim& y) { return x.begin < y.begin; });
  for (std::size_t i = 1; i < claims.size(); ++i) {
    if (claims[i].begin < claims[i - 1].end) {
      *a = claims[i - 1];
      *b = claims[i];
      return true;
    }
  }
  return false;
}

// ---- NFD (T98-Next)

int map_nfd_r0(const View& v, const char* name, ContainerMap* map) {
  constexpr ImageForm kForm = ImageForm::kNfd;
  if (!v.has(0, kNfdR0HeaderSize)) return damaged(kForm, name, "the header is cut short");
  const i64 header = v.u32(kNfdHeaderSize);
  if (header < kNfdR0HeaderSize)
    return damaged(kForm, name, "its header size %lld is smaller than its sector table",
                   static_cast<long long>(header));
  if (header > v.size())
    return damaged(kForm, name, "its header size %lld reaches past the end of the file",
                   static_cast<long long>(header));
  map->write_protected = v.u8(kNfdWriteProtect) != 0;
  std::vector<IdRecord> records;
  i64 at = header;
  for (int row = 0; row < kNfdR0Tracks; ++row) {
    for (int slot = 0; slot < kNfdR0Slots; ++slot) {
      const i64 e = kNfdR0SectorTable + (static_cast<i64>(row) * kNfdR0Slots + slot) * kNfdR0EntrySize;
      if (v.u8(e + kNfdR0Cylinder) == kNfdUnused) continue;
      const IdRecord rec{row,
                         v.u8(e + kNfdR0Cylinder),
                         v.u8(e + kNfdR0Head),
                         v.u8(e + kNfdR0Record),
                         v.u8(e + kNfdR0SizeCode),
                         at,
                         0,
                         0,
                         v.u8(e + kNfdR0Status),
                         v.u8(e + kNfdR0Ddam) != 0};
      if (rec.n > kMaxSizeCode) {
        return damaged(kForm, name, "cylinder %d head %d record %d has the size code %d", rec.c, rec.h, rec.r, rec.n);
      }
      at += 128 << rec.n;
      records.push_back(rec);
      records.back().length = 128 << rec.n;
    }
  }
  if (at != v.size()) {
    return damaged(kForm, name, "its header and sector data make %lld bytes, but the file has %lld",
                   static_cast<long long>(at), static_cast<long long>(v.size()));
  }
  return map_ids(records, kForm, name, map);
}

int map_nfd_r1(const View& v, const char* name, ContainerMap* map) {
  constexpr ImageForm kForm = ImageForm::kNfd;
  if (!v.has(0, kNfdR1FirstTable)) return damaged(kForm, name, "the header is cut short");
  const i64 header = v.u32(kNfdHeaderSize);
  if (header < kNfdR1FirstTable)
    return damaged(kForm, name, "its header size %lld is smaller than its track index", static_cast<long long>(header));
  if (header > v.size())
    return damaged(kForm, name, "its header size %lld reaches past the end of the file",
                   static_cast<long long>(header));
  map->write_protected = v.u8(kNfdWriteProtect) != 0;

  std::vector<Claim> tables;
  for (int t = 0; t < kNfdR1Tracks; ++t) {
    const i64 table = v.u32(kNfdR1TrackTable + 4 * t);
    if (table == 0) continue;
    if (table < kNfdR1FirstTable) return damaged(kForm, name, "the sector table of track %d overlaps the header", t);
    if (table + kNfdR1TrackIdSize > header)
      return damaged(kForm, name, "the sector table of track %d lies past the header", t);
    const i64 entries = static_cast<i64>(v.u16(table + kNfdR1TrackSectors)) + v.u16(table + kNfdR1TrackSpecial);
    const i64 end = table + kNfdR1TrackIdSize + entries * kNfdR1EntrySize;
    if (end > header) return damaged(kForm, name, "the sector table of track %d runs past the header", t);
    tables.push_back({table, end, t});
  }
  Claim a{}, b{};
  if (find_overlap(tables, &a, &b))
    return damaged(kForm, name, "the sector tables of tracks %d and %d overlap", a.what, b.what);

  std::vector<IdRecord> records;
  bool retries = false;
  i64 at = header;
  for (int t = 0; t < kNfdR1Tracks; ++t) {
    const i64 table = v.u32(kNfdR1TrackTable + 4 * t);
    if (table == 0) continue;
    const int sectors = v.u16(table + kNfdR1TrackSectors);
    const int specials = v.u16(table + kNfdR1TrackSpecial);
    for (int i = 0; i < sectors; ++i) {
      const i64 e = table + kNfdR1TrackIdSize + static_cast<i64>(i) * kNfdR1EntrySize;
      const IdRecord rec{t,
                         v.u8(e + kNfdR1Cylinder),
                         v.u8(e + kNfdR1Head),
                         v.u8(e + kNfdR1Record),
                         v.u8(e + kNfdR1SizeCode),
                         at,
                         0,
                         0,
                         v.u8(e + kNfdR1Status),
                         v.u8(e + kNfdR1Ddam) != 0};
      if (rec.n > kMaxSizeCode) {
        return damaged(kForm, name, "cylinder %d head %d record %d has the size code %d", rec.c, rec.h, rec.r, rec.n);
      }
      const int retry = v.u8(e + kNfdR1Retry);
      retries = retries || retry > 0;
      // The NP2kai layout: each sector's retry copies follow its data.
      at += (static_cast<i64>(128) << rec.n) * (1 + retry);
      records.push_back(rec);
      records.back().length = 128 << rec.n;
    }
    for (int i = 0; i < specials; ++i) {
      const i64 e = table + kNfdR1TrackIdSize + static_cast<i64>(sectors + i) * kNfdR1EntrySize;
      at += v.u32(e + kNfdR1SpLength) * (1 + v.u8(e + kNfdR1SpRetry));
    }
  }
  if (at != v.size()) {
    return damaged(kForm, name, "its header and sector data make %lld bytes, but the file has %lld",
                   static_cast<long long>(at), static_cast<long long>(v.size()));
  }
  if (map_ids(records, kForm, name, map) < 0) return -1;
  // Readers disagree on where a sector lies once any sector has retry copies, and a
  // rewrite would leave the copies stale: such an image is only read.
  if (retries) std::fill(map->states.begin(), map->states.end(), SectorState::kReadOnly);
  return 0;
}

// ---- FDD (Virtual98)

int map_fdd(const View& v, const char* name, ContainerMap* map) {
  constexpr ImageForm kForm = ImageForm::kFdd;
  if (!v.has(0, kFddDataStart)) return damaged(kForm, name, "the header is cut short");
  map->write_protected = v.u16(kFddWriteProtect) != 0;
  std::vector<IdRecord> records;
  std::vector<Claim> claims;
  for (int row = 0; row < kFddTracks; ++row) {
    for (int slot = 0; slot < kFddSlots; ++slot) {
      const i64 e = kFddSectorTable + (static_cast<i64>(row) * kFddSlots + slot) * kFddEntrySize;
      if (v.u8(e + kFddCylinder) == kFddUnused) continue;
      IdRecord rec{
          row, v.u8(e + kFddCylinder), v.u8(e + kFddHead), v.u8(e + kFddRecord), v.u8(e + kFddSizeCode), -1, 0, 0,
          0,   v.u8(e + kFddDdam) != 0};
      if (rec.n > kMaxSizeCode) {
        return damaged(kForm, name, "cylinder %d head %d record %d has the size code %d", rec.c, rec.h, rec.r, rec.n);
      }
      rec.length = 128 << rec.n;
      const int fill = v.u8(e + kFddFill);
      const i64 pointer = v.u32(e + kFddPointer);
      if (fill != kFddFillStored) {
        rec.fill = static_cast<std::uint8_t>(fill);  // not stored: the sector is this byte repeated
      } else {
        if (pointer == kFddNoPointer || pointer == 0) {
          return damaged(kForm, name, "cylinder %d head %d record %d has no data pointer", rec.c, rec.h, rec.r);
        }
        if (pointer < kFddDataStart) {
          return damaged(kForm, name, "the data of cylinder %d head %d record %d overlaps the header", rec.c, rec.h,
                         rec.r);
        }
        if (!v.has(pointer, rec.length)) {
          return damaged(kForm, name, "the data of cylinder %d head %d record %d lies past the end of the file", rec.c,
                         rec.h, rec.r);
        }
        rec.offset = pointer;
        claims.push_back({pointer, pointer + rec.length, static_cast<int>(records.size())});
      }
      records.push_back(rec);
    }
  }
  Claim a{}, b{};
  if (find_overlap(claims, &a, &b)) {
    const IdRecord& x = records[static_cast<std::size_t>(a.what)];
    const IdRecord& y = records[static_cast<std::size_t>(b.what)];
    return damaged(kForm, name,
                   "the data of cylinder %d head %d record %d overlaps that of cylinder %d head %d record %d", x.c, x.h,
                   x.r, y.c, y.h, y.r);
  }
  return map_ids(records, kForm, name, map);
}

// ---- D88

// The sector count of a record, repaired when a converter wrote it big-endian.
int d88_count(const View& v, i64 record) {
  const int count = v.u16(record + kD88SecCount);
  return (count > 0xFF && (count & 0xFF) == 0) ? count >> 8 : count;
}

// What the D88 check found: not a D88 at all, a file whose disk-size chain fits but whose
// track table does not (the reason is kept, to be printed if no other form fits), or a
// D88 whose first disk's track table has `tracks` entries.
struct D88Probe {
  enum { kNo, kNearMiss, kYes } verdict = kNo;
  std::string reason;
  i64 disk_size = 0;
  int tracks = 0;
};

[[gnu::format(PARLE_PRINTF, 2, 3)]] void near_miss(D88Probe* probe, const char* format, ...) {
  char detail[200];
  va_list args;
  va_start(args, format);
  // Cut silently at the buffer's end; a format error leaves the detail empty. (The
  // analyzer loses va_start when it inlines a variadic function into its callers.)
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  if (std::vsnprintf(detail, sizeof detail, format, args) < 0) detail[0] = '\0';
  va_end(args);
  probe->verdict = D88Probe::kNearMiss;
  probe->reason = detail;
}

D88Probe probe_d88(const View& v) {
  D88Probe probe;
  if (!v.has(0, kD88OldHeaderSize)) return probe;
  const int media = v.u8(kD88Media);
  if (media != kD88Media2D && media != kD88Media2DD && media != kD88Media2HD && media != kD88Media1D &&
      media != kD88Media1DD)
    return probe;
  bool terminated = false;
  for (i64 i = 0; i < kD88NameLength; ++i) terminated = terminated || v.u8(kD88Name + i) == 0;
  if (!terminated) return probe;
  // The chain of disk sizes must end exactly at the end of the file.
  for (i64 at = 0; at != v.size();) {
    if (!v.has(at, kD88TrackTable)) return probe;
    const i64 size = v.u32(at + kD88DiskSize);
    if (size < kD88OldHeaderSize || size > v.size() - at) return probe;
    at += size;
  }
  // The track table ends where the first track begins (160 entries in old files).
  const i64 disk = v.u32(kD88DiskSize);
  probe.disk_size = disk;
  int tracks = kD88TrackEntries;
  for (int t = 0; t < tracks; ++t) {
    const i64 offset = v.u32(kD88TrackTable + 4 * t);
    if (offset == 0 || offset == disk) continue;  // absent (some tools write the disk size)
    if (offset < kD88OldHeaderSize) {
      near_miss(&probe, "the offset of track %d points into the header", t);
      return probe;
    }
    if (offset > disk) {
      near_miss(&probe, "the offset of track %d points past the end of the disk", t);
      return probe;
    }
    tracks = std::min(tracks, static_cast<int>((offset - kD88TrackTable) / 4));
  }
  for (int t = 0; t < tracks; ++t) {
    const i64 offset = v.u32(kD88TrackTable + 4 * t);
    if (offset == 0 || offset == disk) continue;
    const int count = d88_count(v, offset);
    if (count == 0) continue;
    if (offset + kD88SecHeaderSize > disk || count > kD88MaxRecords || v.u8(offset + kD88SecSizeCode) > kMaxSizeCode ||
        v.u16(offset + kD88SecDataLength) > kD88MaxDataLength ||
        offset + kD88SecHeaderSize + v.u16(offset + kD88SecDataLength) > disk) {
      near_miss(&probe, "the first sector record of track %d is not valid", t);
      return probe;
    }
  }
  probe.verdict = D88Probe::kYes;
  probe.tracks = tracks;
  return probe;
}

int map_d88(const View& v, const D88Probe& probe, const char* name, ContainerMap* map) {
  constexpr ImageForm kForm = ImageForm::kD88;
  const int media = v.u8(kD88Media);
  if (media == kD88Media1D || media == kD88Media1DD) {
    err_printf("unsupported d88 image '%s': single-sided media holds no 1232, 720 or 640 KiB volume\n", name);
    return -1;
  }
  map->write_protected = v.u8(kD88WriteProtect) != 0;
  const i64 disk = probe.disk_size;
  std::vector<IdRecord> records;
  std::vector<Claim> claims;
  for (int t = 0; t < probe.tracks; ++t) {
    const i64 start = v.u32(kD88TrackTable + 4 * t);
    if (start == 0 || start == disk) continue;
    const int count = d88_count(v, start);
    i64 at = start;
    for (int k = 0; k < count; ++k) {
      if (at + kD88SecHeaderSize > disk)
        return damaged(kForm, name, "the sector records of track %d run past the end of the disk", t);
      const i64 length = v.u16(at + kD88SecDataLength);
      if (at + kD88SecHeaderSize + length > disk) {
        return damaged(kForm, name, "the sector records of track %d run past the end of the disk", t);
      }
      const int n = v.u8(at + kD88SecSizeCode);
      records.push_back({t, v.u8(at + kD88SecCylinder), v.u8(at + kD88SecHead), v.u8(at + kD88SecRecord), n,
                         at + kD88SecHeaderSize, length, 0, v.u8(at + kD88SecStatus), v.u8(at + kD88SecDeleted) != 0});
      at += kD88SecHeaderSize + length;
    }
    if (at > start) claims.push_back({start, at, t});
  }
  Claim a{}, b{};
  if (find_overlap(claims, &a, &b))
    return damaged(kForm, name, "the sector records of tracks %d and %d overlap", a.what, b.what);
  return map_ids(records, kForm, name, map);
}

// ---------------------------------------------------------------- linear forms

bool probe_dip(const View& v) {
  return v.size() == kDipFileSize && v.equals(kDipMagic, kDipMagicBytes, kDipMagicLength);
}

// FDI: 1 when the header is valid and describes the whole file, 0 when not an FDI
// header, -1 after a message (a valid header of a geometry the volume never has).
int map_fdi(const View& v, const char* name, ContainerMap* map) {
  if (!v.has(0, kFdiFieldsEnd)) return 0;
  const i64 header = v.u32(kFdiDataOffset);
  const i64 bytes = v.u32(kFdiBytesPerSector);
  const i64 sectors = v.u32(kFdiSectorsPerTrack);
  const i64 heads = v.u32(kFdiHeads);
  const i64 cylinders = v.u32(kFdiCylinders);
  const int type = static_cast<int>(v.u32(kFdiType) & kFdiTypeMask);
  const bool power_of_two = bytes >= 128 && bytes <= 16384 && (bytes & (bytes - 1)) == 0;
  const bool known_type = type == 0x10 || type == 0x30 || type == 0x50 || type == 0x70 || type == 0x90 ||
                          type == 0xB0 || type == 0xD0 || type == 0xF0;
  if (v.u32(kFdiReserved) != 0 || header < kFdiFieldsEnd || header > v.size() || !power_of_two || heads < 1 ||
      heads > 2 || cylinders < 1 || cylinders > 127 || sectors < 1 || sectors > 255 || !known_type) {
    return 0;
  }
  const i64 data = bytes * sectors * heads * cylinders;
  if (v.u32(kFdiDataSize) != data || v.size() != header + data) return 0;
  const int g = geometry_index(cylinders, heads, sectors, bytes);
  if (g < 0) return unsupported_geometry(ImageForm::kFdi, name, cylinders, heads, sectors, bytes);
  set_linear(map, ImageForm::kFdi, g, header);
  return 1;
}

int raw_geometry(i64 size) {
  for (int i = 0; i < static_cast<int>(std::size(kGeometries)); ++i) {
    if (size == kGeometries[i].data_size) return i;
  }
  return -1;
}

// Raw sectors: 1 when the length fits a geometry, 0 when not, -1 after a message (the
// boot sector's parameter block describes another layout).
int map_raw(const View& v, const char* name, ContainerMap* map) {
  const int g = raw_geometry(v.size());
  if (g < 0) return 0;
  const Geometry& geo = kGeometries[g];
  const int jump = v.u8(kBootJump);
  const int bytes = v.u16(kBpbBytesPerSector);
  const int sectors = v.u16(kBpbSectorsPerTrack);
  const bool has_bpb =
      (jump == kBootJumpShort || jump == kBootJumpNear) && bytes >= 128 && bytes <= 4096 && (bytes & (bytes - 1)) == 0;
  if (has_bpb && (bytes != geo.bytes_per_sector || sectors != geo.sectors_per_track)) {
    err_printf(
        "unsupported image '%s': its boot sector describes %d sectors of %d bytes per track, its length %d of %d "
        "bytes\n",
        name, sectors, bytes, geo.sectors_per_track, geo.bytes_per_sector);
    return -1;
  }
  set_linear(map, ImageForm::kRaw, g, 0);
  return 1;
}

}  // namespace

int container_map(const std::uint8_t* data, std::size_t size, const char* name, ContainerMap* map) {
  *map = ContainerMap{};
  const View v(data, size);

  if (v.equals(kNfdSignature, kNfdSignatureR0, kNfdSignatureLength)) return map_nfd_r0(v, name, map);
  if (v.equals(kNfdSignature, kNfdSignatureR1, kNfdSignatureLength)) return map_nfd_r1(v, name, map);
  if (v.equals(kFddVersion, kFddVersionText, kFddSignatureLength)) return map_fdd(v, name, map);
  if (v.equals(kDimSignature, kDimSignatureText, kDimSignatureLength)) {
    return map_dim(v, name, map);
  }
  const D88Probe d88 = probe_d88(v);
  if (d88.verdict == D88Probe::kYes) return map_d88(v, d88, name, map);
  if (probe_dip(v)) {
    set_linear(map, ImageForm::kDip, 0, kDipHeaderSize);
    return 0;
  }
  int r = map_fdi(v, name, map);
  if (r == 0) r = map_dcp(v, name, map);
  if (r == 0) r = map_raw(v, name, map);
  if (r != 0) return r < 0 ? -1 : 0;
  // An FDI-sized file whose header is no FDI header: sectors behind 4096 unknown bytes.
  const int g = raw_geometry(v.size() - kFdiHeaderOffset);
  if (g >= 0) {
    set_linear(map, ImageForm::kFdi, g, kFdiHeaderOffset);
    map->legacy_header = true;
    return 0;
  }
  if (d88.verdict == D88Probe::kNearMiss) return damaged(ImageForm::kD88, name, "%s", d88.reason.c_str());
  err_printf("unsupported image '%s': no known container form fits its %lld bytes\n", name,
             static_cast<long long>(v.size()));
  return -1;
}
