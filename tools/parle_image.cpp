#include "tools/parle_image.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
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

// Reads the whole file behind `fd` into `bytes`; 0 or -1 with `error` set. The buffer is
// sized from the file's length and read in one go; a file that is still growing is read
// on in steps, up to the limit.
int read_whole(int fd, std::vector<std::uint8_t>* bytes, std::string* error) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = errno_text("cannot read");
    return -1;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = "is a directory, not a disk image";
    return -1;
  }
  if (st.st_size > static_cast<off_t>(kMaxImageFile)) {
    *error = "too large to be a floppy-disk image";
    return -1;
  }
  // One byte more than the length, so that the end of the file is seen in the same read.
  bytes->resize(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1);
  std::size_t have = 0;
  for (;;) {
    if (have == bytes->size()) {
      if (bytes->size() > kMaxImageFile) {
        *error = "too large to be a floppy-disk image";
        return -1;
      }
      bytes->resize(bytes->size() + 65536);
    }
    const ssize_t n = read(fd, bytes->data() + have, bytes->size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno_text("cannot read");
      return -1;
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  bytes->resize(have);
  return 0;
}

}  // namespace

int parle_load(const char* path, DiskImage* disk, std::string* error) {
  *disk = DiskImage{};
  const int fd = platform_open_read(path);
  if (fd < 0) {
    *error = errno_text("cannot open");
    return -1;
  }
  std::vector<std::uint8_t> bytes;
  const int r = read_whole(fd, &bytes, error);
  (void)close(fd);
  if (r < 0) return -1;

  ConsoleCapture capture;
  if (vol_open_any_mem(disk, bytes.data(), bytes.size(), path) < 0) {
    *error = capture.text();
    if (error->empty()) *error = "not a disk image parle can read";
    return -1;
  }
  return 0;
}

std::vector<TlkFile> read_tlk_files(const DiskImage& disk) {
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
    f.crc32 = static_cast<std::uint32_t>(crc32(crc32(0L, Z_NULL, 0), f.data.data(), static_cast<uInt>(f.data.size())));
  }
  return files;
}

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
