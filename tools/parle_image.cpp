#include "tools/parle_image.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/platform.h"
#include "tools/dump_main.h"
#include "tools/parle_console.h"
#include "volume/dir.h"
#include "volume/file.h"

namespace {

// No container form of a floppy volume comes near this; a longer file is not an image.
constexpr std::size_t kMaxImageFile = std::size_t{8} << 20;

// Names in the root directory are matched without regard to ASCII case.
constexpr int kIgnoreCase = 1;

std::string errno_text(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Reads the whole file behind `fd` into a block the image will own (vol_image_block), in
// one read sized from the file's length; *block is null on failure, with `error` set.
// A file that grew since its length was taken is refused rather than read in part.
std::size_t read_whole(int fd, std::uint8_t** block, std::string* error) {
  *block = nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = errno_text("cannot read");
    return 0;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = "is a directory, not a disk image";
    return 0;
  }
  if (st.st_size < 0 || st.st_size > static_cast<off_t>(kMaxImageFile)) {
    *error = "too large to be a floppy-disk image";
    return 0;
  }
  // One byte more than the length, so that the end of the file is seen by the same read.
  const std::size_t room = static_cast<std::size_t>(st.st_size) + 1;
  std::uint8_t* bytes = vol_image_block(room);
  if (bytes == nullptr) {
    *error = "not enough memory to read it";
    return 0;
  }
  std::size_t have = 0;
  for (;;) {
    const ssize_t n = read(fd, bytes + have, room - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno_text("cannot read");
      std::free(bytes);
      return 0;
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
    if (have == room) {
      *error = "changed while it was read; try again";
      std::free(bytes);
      return 0;
    }
  }
  *block = bytes;
  return have;
}

}  // namespace

int parle_load(const char* path, DiskImage* disk, std::string* error, const char* stage_for) {
  *disk = DiskImage{};
  const int fd = platform_open_read(path);
  if (fd < 0) {
    *error = errno_text("cannot open");
    return -1;
  }
  if (stage_for != nullptr) {
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        st.st_size <= static_cast<off_t>(kMaxImageFile)) {
      StagedCopy* staged = vol_stage(fd, static_cast<std::size_t>(st.st_size), stage_for);
      struct stat after;
      // A file whose length changed during the copy is read the ordinary way, which
      // tells whether it is still changing.
      if (staged != nullptr && (fstat(fd, &after) != 0 || after.st_size != st.st_size)) {
        vol_unstage(staged);
        staged = nullptr;
      }
      if (staged != nullptr) {
        (void)close(fd);
        ConsoleCapture capture;
        if (vol_open_any_staged(disk, staged, path) < 0) {
          *error = capture.text();
          if (error->empty()) *error = "not a disk image parle can read";
          return -1;
        }
        return 0;
      }
    }
  }
  std::uint8_t* block = nullptr;
  const std::size_t size = read_whole(fd, &block, error);
  (void)close(fd);
  if (block == nullptr) return -1;

  ConsoleCapture capture;
  if (vol_open_any_adopt(disk, block, size, path) < 0) {
    *error = capture.text();
    if (error->empty()) *error = "not a disk image parle can read";
    return -1;
  }
  return 0;
}

std::vector<TlkFile> read_tlk_files(const DiskImage& disk, bool with_crc) {
  std::vector<TlkFile> files;
  for (const char* const* name = tlk_file_names; *name != nullptr; ++name) {
    TlkFile& f = files.emplace_back();
    f.name = *name;
    char name11[12];
    DirEntry entry;
    if (name_to_83(name11, *name) == 0) entry = vol_find_entry(&disk, -1, disk.root_entries, name11, kIgnoreCase);
    if (!entry) {
      f.error = "not found";
      continue;
    }
    const std::int32_t size = dent_size(entry);
    // The size field is not checked against the FAT: a size no image could hold is
    // refused before any memory is taken for it.
    if (size < 0 || size > disk.image_size) {
      f.error = "directory entry gives an impossible size (" + std::to_string(static_cast<std::uint32_t>(size)) + ")";
      continue;
    }
    f.data.assign(static_cast<std::size_t>(size), 0);
    ConsoleCapture capture;
    if (vol_read_file(&disk, *name, f.data.data(), size, kIgnoreCase) < 0) {
      f.error = capture.text();
      if (f.error.empty()) f.error = "cannot be read";
      f.data.clear();
      continue;
    }
    f.ok = true;
    if (with_crc) f.crc32 = tlk_crc32(f);
  }
  return files;
}

std::uint32_t crc32_of(const std::uint8_t* bytes, std::size_t size) {
  return static_cast<std::uint32_t>(crc32(crc32(0L, Z_NULL, 0), bytes, static_cast<uInt>(size)));
}

std::uint32_t tlk_crc32(const TlkFile& file) { return crc32_of(file.data.data(), file.data.size()); }

std::vector<TlkFileData> tlk_file_views(const std::vector<TlkFile>& files) {
  std::vector<TlkFileData> views;
  views.reserve(files.size());
  for (const TlkFile& f : files) {
    views.push_back({f.name.c_str(), f.ok ? f.data.data() : nullptr, static_cast<std::int32_t>(f.data.size()),
                     f.ok ? nullptr : f.error.c_str()});
  }
  return views;
}

std::string crc_text(std::uint32_t crc) {
  char text[9];
  (void)std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
  return text;
}
