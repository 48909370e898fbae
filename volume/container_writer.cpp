#include "volume/container_writer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/le.h"
#include "volume/container_layout.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The volume and its geometry, with the arithmetic every writer shares: linear sector
// s lies at cylinder s / (2 * spt), head (s / spt) % 2, record s % spt + 1, and the
// sectors of track t = C * 2 + H are spt consecutive linear sectors.
struct Source {
  std::span<const std::uint8_t> volume;
  const Geometry& g;

  std::int32_t tracks() const { return g.cylinders * g.heads; }
  std::int32_t track_bytes() const { return g.sectors_per_track * g.bytes_per_sector; }
  std::int32_t size_code() const { return sector_size_code(g.bytes_per_sector); }
  // The data of sector R (1-based) of track t.
  std::span<const std::uint8_t> sector(std::int32_t t, std::int32_t r) const {
    const std::int32_t at = t * track_bytes() + (r - 1) * g.bytes_per_sector;  // at most 0x134000
    return volume.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(g.bytes_per_sector));
  }
  std::span<const std::uint8_t> track(std::int32_t t) const {
    const std::int32_t at = t * track_bytes();
    return volume.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(track_bytes()));
  }
  bool high_density() const { return g.bytes_per_sector == 1024; }
};

void append(Bytes& out, std::span<const std::uint8_t> data) { out.insert(out.end(), data.begin(), data.end()); }

void put_text(Bytes& out, std::int32_t at, std::string_view text) {
  std::copy(text.begin(), text.end(), out.begin() + at);
}

std::uint8_t u8(std::int32_t v) { return static_cast<std::uint8_t>(v); }

bool all_bytes(std::span<const std::uint8_t> data, std::uint8_t value) {
  return std::all_of(data.begin(), data.end(), [value](std::uint8_t b) { return b == value; });
}

bool is_1232k(const Geometry& g) { return g.data_size == kGeometries[0].data_size; }

// ---- FDI ----

Bytes build_fdi(const Source& s, std::int32_t header_size) {
  if (header_size < kFdiFieldsEnd) return {};
  Bytes out(static_cast<std::size_t>(header_size), 0);
  std::uint8_t* h = out.data();
  put_le32(h + kFdiReserved, 0);
  put_le32(h + kFdiType, s.high_density() ? kFdiType2HD : kFdiType2DD);
  put_le32(h + kFdiDataOffset, static_cast<std::uint32_t>(header_size));
  put_le32(h + kFdiDataSize, static_cast<std::uint32_t>(s.g.data_size));
  put_le32(h + kFdiBytesPerSector, static_cast<std::uint32_t>(s.g.bytes_per_sector));
  put_le32(h + kFdiSectorsPerTrack, static_cast<std::uint32_t>(s.g.sectors_per_track));
  put_le32(h + kFdiHeads, static_cast<std::uint32_t>(s.g.heads));
  put_le32(h + kFdiCylinders, static_cast<std::uint32_t>(s.g.cylinders));
  append(out, s.volume);
  return out;
}

// ---- DIP ----

Bytes build_dip(const Source& s) {
  if (!is_1232k(s.g)) return {};
  Bytes out(kDipHeaderSize, 0);
  std::copy(std::begin(kDipMagicBytes), std::end(kDipMagicBytes), out.begin() + kDipMagic);
  put_text(out, kDipComment, "parle FAT12 volume\r\n");
  append(out, s.volume);
  return out;
}

// ---- D88 ----

// The position on the track of the record holding sector R = order[i] + 1: with
// shuffling, a fixed scramble that differs from track to track (stride 5 is coprime
// with 8 and 9, so every record appears once); without, R order.
std::vector<std::int32_t> d88_order(std::int32_t spt, std::int32_t t, bool shuffle) {
  std::vector<std::int32_t> order(static_cast<std::size_t>(spt));
  for (std::int32_t i = 0; i < spt; ++i) order[static_cast<std::size_t>(i)] = shuffle ? (i * 5 + t) % spt : i;
  return order;
}

// One disk: header, then every track's records in track order.
Bytes d88_disk(const Source& s, std::string_view name, const ContainerOptions& o) {
  Bytes out(kD88HeaderSize, 0);
  put_text(out, kD88Name, name.substr(0, kD88NameLength - 1));
  out[kD88WriteProtect] = o.write_protect ? kD88WriteProtectOn : 0;
  out[kD88Media] = s.high_density() ? kD88Media2HD : kD88Media2DD;
  const std::int32_t spt = s.g.sectors_per_track;
  for (std::int32_t t = 0; t < s.tracks(); ++t) {
    put_le32(out.data() + kD88TrackTable + 4 * t, static_cast<std::uint32_t>(out.size()));
    for (const std::int32_t i : d88_order(spt, t, o.d88_shuffle)) {
      const std::int32_t r = i + 1;
      std::uint8_t record[kD88SecHeaderSize] = {};
      record[kD88SecCylinder] = u8(t / 2);
      record[kD88SecHead] = u8(t % 2);
      record[kD88SecRecord] = u8(r);
      record[kD88SecSizeCode] = u8(s.size_code());
      put_le16(record + kD88SecCount, spt);
      record[kD88SecDensity] = 0;  // MFM
      record[kD88SecDeleted] = 0;
      record[kD88SecStatus] = 0;
      put_le16(record + kD88SecDataLength, s.g.bytes_per_sector);
      append(out, record);
      append(out, s.sector(t, r));
    }
  }
  put_le32(out.data() + kD88DiskSize, static_cast<std::uint32_t>(out.size()));
  return out;
}

Bytes build_d88(const Source& s, const ContainerOptions& o) {
  Bytes out = d88_disk(s, "PARLE", o);
  if (o.d88_second_disk) {
    // A different disk of the same geometry: every byte of the volume inverted, so that
    // a reader that takes its sectors for the first disk's cannot go unnoticed.
    Bytes other(s.volume.begin(), s.volume.end());
    for (std::uint8_t& b : other) b = static_cast<std::uint8_t>(~b);
    append(out, d88_disk(Source{other, s.g}, "PARLE DISK 2", o));
  }
  return out;
}

// ---- DIM ----

bool absent(const ContainerOptions& o, std::int32_t t) {
  return std::find(o.absent_tracks.begin(), o.absent_tracks.end(), t) != o.absent_tracks.end();
}

// Absent tracks must lie on the disk and read back as the fill byte they will be given.
bool absent_tracks_fit(const Source& s, const ContainerOptions& o, std::uint8_t fill) {
  return std::all_of(o.absent_tracks.begin(), o.absent_tracks.end(),
                     [&](std::int32_t t) { return t >= 0 && t < s.tracks() && all_bytes(s.track(t), fill); });
}

Bytes build_dim(const Source& s, const ContainerOptions& o) {
  if (!is_1232k(s.g) || !absent_tracks_fit(s, o, kDimAbsentFill)) return {};
  Bytes out(kDimHeaderSize, 0);
  out[kDimMedia] = kDimMedia2HD;
  for (std::int32_t t = 0; t < s.tracks(); ++t)
    out[static_cast<std::size_t>(kDimTrackFlags) + static_cast<std::size_t>(t)] = absent(o, t) ? 0 : kDimTrackStored;
  put_text(out, kDimSignature, kDimSignatureText);
  put_text(out, kDimComment, "parle FAT12 volume");
  for (std::int32_t t = 0; t < s.tracks(); ++t) {
    if (!absent(o, t)) append(out, s.track(t));
  }
  return out;
}

// ---- NFD ----

std::uint8_t nfd_pda(const Source& s) { return s.high_density() ? kNfdPda2HD : kNfdPda2DD; }

Bytes nfd_common(std::string_view signature, std::int32_t header_size, const ContainerOptions& o) {
  Bytes out(static_cast<std::size_t>(header_size), 0);
  put_text(out, kNfdSignature, signature);  // the NUL after it is already there
  put_text(out, kNfdComment, "parle FAT12 volume");
  put_le32(out.data() + kNfdHeaderSize, static_cast<std::uint32_t>(header_size));
  out[kNfdWriteProtect] = o.write_protect ? 1 : 0;
  out[kNfdHeads] = 2;
  return out;
}

Bytes build_nfd_r0(const Source& s, const ContainerOptions& o) {
  Bytes out = nfd_common(kNfdSignatureR0, kNfdR0HeaderSize, o);
  const std::int32_t spt = s.g.sectors_per_track;
  for (std::int32_t t = 0; t < kNfdR0Tracks; ++t) {
    for (std::int32_t slot = 0; slot < kNfdR0Slots; ++slot) {
      std::uint8_t* e = out.data() + kNfdR0SectorTable + (t * kNfdR0Slots + slot) * kNfdR0EntrySize;
      if (t >= s.tracks() || slot >= spt) {
        std::fill(e, e + kNfdR0SizeCode + 1, kNfdUnused);
        continue;
      }
      e[kNfdR0Cylinder] = u8(t / 2);
      e[kNfdR0Head] = u8(t % 2);
      e[kNfdR0Record] = u8(slot + 1);
      e[kNfdR0SizeCode] = u8(s.size_code());
      e[kNfdR0Mfm] = 1;
      e[kNfdR0Ddam] = 0;
      e[kNfdR0Status] = 0;
      e[kNfdR0St0] = u8((t % 2) << 2);  // the head address, as a good read leaves it
      e[kNfdR0Pda] = nfd_pda(s);
    }
  }
  append(out, s.volume);  // table order is (C, H, R) order, so the data part is the volume
  return out;
}

Bytes build_nfd_r1(const Source& s, const ContainerOptions& o) {
  const std::int32_t spt = s.g.sectors_per_track;
  const std::int32_t table_size = kNfdR1TrackIdSize + spt * kNfdR1EntrySize;
  Bytes out = nfd_common(kNfdSignatureR1, kNfdR1FirstTable + s.tracks() * table_size, o);
  for (std::int32_t t = 0; t < s.tracks(); ++t) {
    const std::int32_t at = kNfdR1FirstTable + t * table_size;
    put_le32(out.data() + kNfdR1TrackTable + 4 * t, static_cast<std::uint32_t>(at));
    std::uint8_t* id = out.data() + at;
    put_le16(id + kNfdR1TrackSectors, spt);
    put_le16(id + kNfdR1TrackSpecial, 0);
    for (std::int32_t i = 0; i < spt; ++i) {
      std::uint8_t* e = id + kNfdR1TrackIdSize + i * kNfdR1EntrySize;
      e[kNfdR1Cylinder] = u8(t / 2);
      e[kNfdR1Head] = u8(t % 2);
      e[kNfdR1Record] = u8(i + 1);
      e[kNfdR1SizeCode] = u8(s.size_code());
      e[kNfdR1Mfm] = 1;
      e[kNfdR1St0] = u8((t % 2) << 2);
      e[kNfdR1Retry] = 0;
      e[kNfdR1Pda] = nfd_pda(s);
    }
  }
  append(out, s.volume);  // no retry copies, no special reads: the data part is the volume
  return out;
}

// ---- FDD ----

Bytes build_fdd(const Source& s, const ContainerOptions& o) {
  const std::int32_t total = s.g.total_sectors;
  std::vector<std::int32_t> fill(static_cast<std::size_t>(total), -1);  // fill byte per sector, -1: stored
  for (const std::int32_t sector : o.fill_sectors) {
    if (sector < 0 || sector >= total) return {};
    const std::int32_t t = sector / s.g.sectors_per_track;
    const std::span<const std::uint8_t> data = s.sector(t, sector % s.g.sectors_per_track + 1);
    if (data[0] == kFddFillStored || !all_bytes(data, data[0])) return {};
    fill[static_cast<std::size_t>(sector)] = data[0];
  }

  Bytes out(kFddDataStart, 0);
  put_text(out, kFddVersion, kFddVersionText);
  put_text(out, kFddMemo, "parle FAT12 volume");
  put_le16(out.data() + kFddWriteProtect, o.write_protect ? 1 : 0);
  put_le16(out.data() + kFddSpecialDrive, 0);
  // No special read: the record's track, registers, pointers and counters all -1.
  std::fill(out.begin() + kFddSpecialRead, out.begin() + kFddSpecialRead + kFddSpecialReadSize, 0xFF);
  const std::int32_t spt = s.g.sectors_per_track;
  for (std::int32_t t = 0; t < kFddTracks; ++t) {
    for (std::int32_t slot = 0; slot < kFddSlots; ++slot) {
      std::uint8_t* e = out.data() + kFddSectorTable + (t * kFddSlots + slot) * kFddEntrySize;
      if (t >= s.tracks() || slot >= spt) {
        std::fill(e, e + kFddEntrySize, kFddUnused);
        continue;
      }
      const std::int32_t sector = t * spt + slot;
      const std::int32_t f = fill[static_cast<std::size_t>(sector)];
      e[kFddCylinder] = u8(t / 2);
      e[kFddHead] = u8(t % 2);
      e[kFddRecord] = u8(slot + 1);
      e[kFddSizeCode] = u8(s.size_code());
      e[kFddFill] = f < 0 ? kFddFillStored : u8(f);
      e[kFddDdam] = 0;
      e[kFddMfm] = 1;
      e[kFddHighDensity] = s.high_density() ? 1 : 0;
      put_le32(e + kFddPointer, kFddNoPointer);  // a stored sector's data gets its place below
    }
  }
  // Data of the stored sectors in table order, right after the header.
  for (std::int32_t t = 0; t < s.tracks(); ++t) {
    for (std::int32_t slot = 0; slot < spt; ++slot) {
      std::uint8_t* e = out.data() + kFddSectorTable + (t * kFddSlots + slot) * kFddEntrySize;
      if (e[kFddFill] != kFddFillStored) continue;
      put_le32(e + kFddPointer, static_cast<std::uint32_t>(out.size()));
      append(out, s.sector(t, slot + 1));
    }
  }
  return out;
}

// ---- DCP ----

Bytes build_dcp(const Source& s, const ContainerOptions& o) {
  if (!absent_tracks_fit(s, o, kDcpAbsentFill)) return {};
  Bytes out(kDcpHeaderSize, 0);
  out[kDcpMedia] = is_1232k(s.g) ? kDcpMedia2HD : s.g.sectors_per_track == 9 ? kDcpMedia2DD9 : kDcpMedia2DD8;
  for (std::int32_t t = 0; t < s.tracks(); ++t)
    out[static_cast<std::size_t>(kDcpTrackMap) + static_cast<std::size_t>(t)] = absent(o, t) ? 0 : kDcpTrackStored;
  // As DCP tools write it: the all-tracks flag left 0, the map telling the stored tracks.
  out[kDcpAllTracks] = 0;
  for (std::int32_t t = 0; t < s.tracks(); ++t) {
    if (!absent(o, t)) append(out, s.track(t));
  }
  return out;
}

bool known_geometry(const Geometry& g) {
  return std::any_of(std::begin(kGeometries), std::end(kGeometries), [&g](const Geometry& k) {
    return k.data_size == g.data_size && k.cylinders == g.cylinders && k.heads == g.heads &&
           k.sectors_per_track == g.sectors_per_track && k.bytes_per_sector == g.bytes_per_sector;
  });
}

}  // namespace

std::vector<std::uint8_t> build_container(std::span<const std::uint8_t> volume, const Geometry& geometry,
                                          ImageForm form, const ContainerOptions& options) {
  if (!known_geometry(geometry) || volume.size() != static_cast<std::size_t>(geometry.data_size)) return {};
  // Each option belongs to the forms named beside it; given to another form it cannot
  // be honoured, and a silently different file would mislead the test that asked.
  const bool d88 = form == ImageForm::kD88;
  if ((options.d88_shuffle || options.d88_second_disk) && !d88) return {};
  if (options.write_protect && !d88 && form != ImageForm::kNfd && form != ImageForm::kFdd) return {};
  if (options.nfd_r1 && form != ImageForm::kNfd) return {};
  if (!options.fill_sectors.empty() && form != ImageForm::kFdd) return {};
  if (!options.absent_tracks.empty() && form != ImageForm::kDcp && form != ImageForm::kDim) return {};
  if (options.fdi_header_size != ContainerOptions{}.fdi_header_size && form != ImageForm::kFdi) return {};

  const Source s{volume, geometry};
  switch (form) {
    case ImageForm::kRaw:
      return Bytes(volume.begin(), volume.end());
    case ImageForm::kFdi:
      return build_fdi(s, options.fdi_header_size);
    case ImageForm::kDip:
      return build_dip(s);
    case ImageForm::kD88:
      return build_d88(s, options);
    case ImageForm::kDim:
      return build_dim(s, options);
    case ImageForm::kNfd:
      return options.nfd_r1 ? build_nfd_r1(s, options) : build_nfd_r0(s, options);
    case ImageForm::kFdd:
      return build_fdd(s, options);
    case ImageForm::kDcp:
      return build_dcp(s, options);
  }
  return {};
}
