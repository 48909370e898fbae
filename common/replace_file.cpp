#include "common/replace_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The kernel gives up after this many links in one lookup (ELOOP).
constexpr int kMaxLinkHops = 40;

// Name of the temporary file beside the target; mkstemp replaces the X's (and a staged
// copy gets as many random characters in their place).
constexpr char kTempName[] = ".parle-save-XXXXXX";
constexpr std::size_t kTempRandomChars = 6;

// The signals that end a process at a user's request; the temporary file is removed first.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file to remove should one of kCleanupSignals arrive. The handler reads
// it only while g_temp_armed is set, and it is written only while the signals are
// blocked, so the handler never sees a half-written name.
char g_temp_path[PATH_MAX];
volatile sig_atomic_t g_temp_armed = 0;

extern "C" void remove_temp_and_die(int sig) {
  if (g_temp_armed != 0) (void)unlink(g_temp_path);
  // SA_RESETHAND has put back the default action; the raised signal is delivered as
  // soon as the handler returns, and the process ends as the signal would have ended it.
  (void)raise(sig);
}

// Ignores SIGXFSZ while it lives, so that a file-size limit makes a write fail instead
// of ending the process, and restores what was there.
class FileSizeSignalIgnored {
 public:
  FileSizeSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)sigaction(SIGXFSZ, &ignore, &old_);
  }
  ~FileSizeSignalIgnored() { (void)sigaction(SIGXFSZ, &old_, nullptr); }
  FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
  FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

 private:
  struct sigaction old_ {};
};

// Installs the handlers for the length of one save, and restores what was there.
class SignalGuard {
 public:
  SignalGuard() {
    struct sigaction cleanup {};
    cleanup.sa_handler = remove_temp_and_die;
    sigemptyset(&cleanup.sa_mask);
    cleanup.sa_flags = SA_RESETHAND;
    for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
      (void)sigaction(kCleanupSignals[i], nullptr, &old_[i]);
      // A signal the user set to be ignored (nohup, a background job) stays ignored.
      if (old_[i].sa_handler != SIG_IGN) (void)sigaction(kCleanupSignals[i], &cleanup, nullptr);
    }
  }
  ~SignalGuard() {
    for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) (void)sigaction(kCleanupSignals[i], &old_[i], nullptr);
  }
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

 private:
  FileSizeSignalIgnored xfsz_;
  struct sigaction old_[std::size(kCleanupSignals)] {};
};

// Blocks kCleanupSignals while the temporary file's name and existence change together.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kCleanupSignals) sigaddset(&set, sig);
    (void)sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalBlock() { (void)sigprocmask(SIG_SETMASK, &old_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t old_{};
};

std::string dir_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows the links at `path` to the name of the file they finally reach, applying the
// protected-symlinks rule to each link; directories along the way are left to the
// kernel, which applies the same rule to them.
ReplaceFailure resolve_links(const char* path, std::string* out) {
  std::string current = path;
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    struct stat link;
    if (lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      *out = current;
      return ReplaceFailure::kNone;
    }
    if (hops == kMaxLinkHops) break;
    // A link in a sticky, world-writable directory may have been planted by anyone:
    // follow it only if it is the caller's own or the directory owner's.
    struct stat dir;
    const std::string parent = dir_of(current);
    if (stat(parent.c_str(), &dir) != 0) return ReplaceFailure::kOpen;
    const bool shared_dir = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
    if (shared_dir && link.st_uid != geteuid() && link.st_uid != dir.st_uid) return ReplaceFailure::kProtectedLink;

    char target[PATH_MAX];
    const ssize_t n = readlink(current.c_str(), target, sizeof target);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof target) return ReplaceFailure::kOpen;
    std::string next(target, static_cast<std::size_t>(n));
    if (next.empty()) return ReplaceFailure::kOpen;
    if (next[0] != '/' && current.find('/') != std::string::npos) next = parent + "/" + next;
    current = next;
  }
  return ReplaceFailure::kLinkLoop;
}

bool write_all(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A device or a FIFO cannot be renamed over: it is opened and written as it is.
ReplaceFailure write_in_place(const std::string& target, const void* data, std::size_t size) {
  const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return ReplaceFailure::kOpen;
  const bool ok = write_all(fd, data, size);
  return close(fd) == 0 && ok ? ReplaceFailure::kNone : ReplaceFailure::kWrite;
}

// Gives the new file the old one's owner, group and permission bits, as far as the
// process may; set-id bits are kept only on a file whose owner and group both stayed.
bool copy_ownership(int fd, const struct stat& old) {
  if (fchown(fd, old.st_uid, old.st_gid) != 0) (void)fchown(fd, static_cast<uid_t>(-1), old.st_gid);
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  mode_t mode = old.st_mode & 07777;
  if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  return fchmod(fd, mode) == 0;
}

// Gives a new file the mode and owner it is to have: the old file's (copy_ownership), or
// for a new output what fopen would have given it under the umask `mask`.
bool set_new_file_mode(int fd, bool exists, const struct stat& old, mode_t mask) {
  return exists ? copy_ownership(fd, old) : fchmod(fd, 0666 & ~mask) == 0;
}

// Makes the rename itself durable: the directory entry is on the disk once this returns.
void sync_dir(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  (void)close(fd);
}

// Renames the armed temporary file over `target` and syncs the directory; 0, or -1 with
// the temporary file removed.
int rename_into_place(const std::string& target, const std::string& dir, ReplaceFailure* why) {
  {
    SignalBlock block;
    if (std::rename(g_temp_path, target.c_str()) != 0) {
      (void)unlink(g_temp_path);
      g_temp_armed = 0;
      *why = ReplaceFailure::kWrite;
      return -1;
    }
    g_temp_armed = 0;
  }
  sync_dir(dir);
  return 0;
}

// Gives a staged copy the name `g_temp_path` (made here, beside `dir`): 0, or -1 when it
// cannot be linked there (the caller then writes the bytes the ordinary way). The name
// is armed for the signal handler as it is made.
int link_staged(const StagedCopy& staged, const std::string& temp_prefix) {
  char proc[64];
  (void)std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", staged.fd);
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // A name already taken is tried again with other characters, as mkstemp does.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint8_t noise[kTempRandomChars];
    if (getrandom(noise, sizeof noise, 0) != static_cast<ssize_t>(sizeof noise)) return -1;
    std::string name = temp_prefix;
    for (std::uint8_t b : noise) name += kChars[b % (sizeof kChars - 1)];
    if (name.size() >= sizeof g_temp_path) return -1;
    SignalBlock block;
    std::memcpy(g_temp_path, name.c_str(), name.size() + 1);
    if (linkat(AT_FDCWD, proc, AT_FDCWD, g_temp_path, AT_SYMLINK_FOLLOW) == 0) {
      g_temp_armed = 1;
      return 0;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// The file systems on which a page of a shared file mapping, once written, can be
// written again without the file system needing new space.
bool stageable_file_system(int fd) {
  constexpr long kExt = 0xEF53;        // ext2, ext3, ext4
  constexpr long kTmpfs = 0x01021994;  // tmpfs
  struct statfs fs;
  if (fstatfs(fd, &fs) != 0) return false;
  return fs.f_type == kExt || fs.f_type == kTmpfs;
}

// Copies `size` bytes from the start of `in` to the end of `out` in the kernel.
bool copy_in_kernel(int in, int out, std::size_t size) {
  off_t in_at = 0;
  std::size_t done = 0;
  bool splice_only = false;  // copy_file_range refused this pair of files
  while (done < size) {
    ssize_t n;
    if (!splice_only) {
      n = copy_file_range(in, &in_at, out, nullptr, size - done, 0);
      if (n < 0 && done == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        splice_only = true;
        continue;
      }
    } else {
      n = sendfile(out, in, &in_at, size - done);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or the input ended early
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int replace_impl(const char* path, const void* data, std::size_t size, const StagedCopy* staged,
                 ReplaceFailure* why) {
  *why = ReplaceFailure::kNone;
  std::string target;
  if ((*why = resolve_links(path, &target)) != ReplaceFailure::kNone) return -1;

  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (!exists && errno == ELOOP) {
    *why = ReplaceFailure::kLinkLoop;
    return -1;
  }
  SignalGuard guard;
  if (exists && !S_ISREG(old.st_mode)) {
    *why = write_in_place(target, data, size);
    return *why == ReplaceFailure::kNone ? 0 : -1;
  }
  // A file its owner made read-only is refused, as opening it for writing would be:
  // renaming over it would otherwise replace it all the same.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    *why = ReplaceFailure::kReadOnly;
    return -1;
  }

  const std::string dir = dir_of(target);
  const std::string temp = (target.find('/') == std::string::npos ? std::string() : dir + "/") + kTempName;
  if (temp.size() >= sizeof g_temp_path) {
    *why = ReplaceFailure::kOpen;
    return -1;
  }
  const mode_t mask = umask(0);
  umask(mask);

  if (staged != nullptr) {
    // The staged file is complete: it gets the owner and mode, reaches the disk, and
    // takes a name beside the target, from where the rename below moves it over.
    if (!set_new_file_mode(staged->fd, exists, old, mask)) {
      *why = ReplaceFailure::kOpen;
      return -1;
    }
    if (fsync(staged->fd) != 0) {
      *why = ReplaceFailure::kWrite;
      return -1;
    }
    if (link_staged(*staged, temp.substr(0, temp.size() - kTempRandomChars)) == 0)
      return rename_into_place(target, dir, why);
    // Elsewhere (another file system) or without /proc: the bytes are written as any.
  }

  int fd;
  {
    SignalBlock block;
    std::memcpy(g_temp_path, temp.c_str(), temp.size() + 1);
    fd = mkstemp(g_temp_path);
    if (fd >= 0) g_temp_armed = 1;
  }
  if (fd < 0) {
    *why = ReplaceFailure::kOpen;
    return -1;
  }
  const auto discard = [&](ReplaceFailure failure) {
    if (fd >= 0) (void)close(fd);
    SignalBlock block;
    (void)unlink(g_temp_path);
    g_temp_armed = 0;
    *why = failure;
    return -1;
  };

  // mkstemp makes the file 0600.
  if (!set_new_file_mode(fd, exists, old, mask)) return discard(ReplaceFailure::kOpen);
  if (!write_all(fd, data, size) || fsync(fd) != 0) return discard(ReplaceFailure::kWrite);
  const int closed = close(fd);
  fd = -1;
  if (closed != 0) return discard(ReplaceFailure::kWrite);
  return rename_into_place(target, dir, why);
}

}  // namespace

int replace_file(const char* path, const void* data, std::size_t size, ReplaceFailure* why) {
  return replace_impl(path, data, size, nullptr, why);
}

int replace_file_staged(const char* path, const StagedCopy& staged, ReplaceFailure* why) {
  return replace_impl(path, staged.bytes, staged.size, &staged, why);
}

int stage_copy(int input_fd, std::size_t size, std::size_t room, const char* output, StagedCopy* staged) {
  *staged = StagedCopy{};
  std::string target;
  if (size == 0 || resolve_links(output, &target) != ReplaceFailure::kNone) return -1;
  // A device or a FIFO is written in place by the save, and a directory refused: there
  // is nothing to stage for them.
  struct stat existing;
  if (stat(target.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) return -1;
  const int fd = open(dir_of(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  staged->fd = fd;
  staged->size = size;
  bool copied = false;
  if (stageable_file_system(fd)) {
    // A file-size limit makes the copy fail here instead of ending the process.
    FileSizeSignalIgnored xfsz;
    copied = copy_in_kernel(input_fd, fd, size);
  }
  if (copied) {
    // Private zeroed memory for the whole span first, then the copy mapped over its start.
    const std::size_t mapped = stage_room_offset(size) + room;
    void* span = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    void* map = span == MAP_FAILED ? MAP_FAILED
                                   : mmap(span, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0);
    if (span != MAP_FAILED) {
      staged->bytes = static_cast<std::uint8_t*>(span);
      staged->mapped = mapped;
    }
    if (map != MAP_FAILED) {
      // The copy has taken the disk space of every page (a full disk failed it above),
      // so writing a page later never needs more of it on these file systems. The pages
      // are mapped in one go rather than fault by fault.
      if (madvise(map, size, MADV_POPULATE_READ) == 0) {
        // The bytes start for the disk now, and the save's sync waits only for the rest.
        (void)sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        return 0;
      }
    }
  }
  stage_release(staged);
  return -1;
}

void stage_release(StagedCopy* staged) {
  if (staged->bytes != nullptr) (void)munmap(staged->bytes, staged->mapped);
  if (staged->fd >= 0) (void)close(staged->fd);
  *staged = StagedCopy{};
}
