// Replacing a file with new contents so that a failure never destroys the old ones.
//
// The users of these programs keep one copy of a disk image, and the image written out
// may replace it. replace_file therefore never opens an existing regular file for
// writing: it writes a complete copy into a new file beside it, flushes that copy to
// the disk, and renames it over the old name in one step. Until that rename the old
// file is untouched; after it, the new one is complete.
//
// Contract of replace_file(path, data, size, why):
// - Success (0): `path` names a file holding exactly the `size` bytes at `data`, and the
//   rename has been synced to the directory. The caller keeps its buffer.
// - Failure (-1): *why says what failed (see ReplaceFailure); nothing is printed, the
//   caller prints its own line. Whatever was at `path` is as it was, and no temporary
//   file is left behind.
// - Symbolic links: a link at `path` (or a chain of them) is followed to the file it
//   finally names, which is replaced; the links stay links. A dangling link creates the
//   file it names. Links are followed by the kernel's protected-symlinks rule: a link in
//   a sticky, world-writable directory (such as /tmp) is followed only when it belongs
//   to the caller or to the directory's owner (kProtectedLink otherwise). More than 40
//   links in a row, a loop among them, is kLinkLoop.
// - Existing regular file: refused with kReadOnly when the caller may not write it, as
//   opening it for writing would be. The new file gets the old one's owner and group
//   where the process may set them (root keeps both; a member of the file's group keeps
//   the group), and its permission bits; set-user-id and set-group-id are dropped when
//   the owner or the group could not be kept. Other hard links to the old file keep the
//   old contents, and the directory must be writable, since a new file is made there.
// - New file: created with mode 0666 less the umask, as fopen would.
// - Devices, FIFOs and other files that are not regular are written in place (they
//   cannot be renamed over); a directory is kOpen.
// - Temporary file: ".parle-save-XXXXXX" beside the target (made by mkstemp), so that
//   any output name the file system takes can be saved.
// - Signals: SIGXFSZ is ignored during the save, so a file-size limit makes the write
//   fail (kWrite) instead of killing the process. SIGINT, SIGTERM and SIGHUP, unless
//   ignored, remove the temporary file and then end the process as they would have.
//   The dispositions are restored before returning.
//
// On Windows (replace_file_win.cpp) the same contract holds with the system's own means:
// `path` is UTF-8 and opened by its UTF-16 name; the new file is written beside the
// target, flushed (FlushFileBuffers) and moved over it in one step (MoveFileExW,
// replacing and writing through). The new file keeps the old one's hidden, system and
// archive attributes, and gets the permissions the folder gives new files. An output
// with the read-only attribute is kReadOnly; one that another program holds open (an
// emulator with the image loaded) cannot be replaced and is kInUse. A link (a reparse
// point) is followed to the file it names, which is replaced. Devices (NUL, COM1) are
// written in place. The temporary file is marked for deletion while it is written, so
// that the system removes it if the program ends before the save is done (Ctrl-C, the
// window closed). Owners, set-id bits, protected links and signals do not apply there.
//
// Staging: the new file made while the input is read.
//
// A program that loads an image only to save it under a name it already knows, with a
// few sectors changed, can have the new file made before it changes anything.
// stage_copy copies the input, in the kernel, into an unnamed file (O_TMPFILE) in the
// output's directory and maps that file into memory: the image is then read, checked
// and changed in the new file's own pages. That spares zeroing fresh memory, reading
// the image into it and writing it out again. The copy starts on its way to the disk at
// once, while the program goes on (the few pages it then changes are written again at
// the save), and replace_file_staged gives the unnamed file its place under the same
// contract as replace_file (links, owner and mode, sync, rename, directory sync; the
// name it has for an instant before the rename is ".parle-save-" and six random
// characters). A program that declines to save has written the copy for nothing, and
// it is gone.
// - The copy is a snapshot of the input: no other program can reach an unnamed file by
//   a name (only through this process's descriptors in /proc, as it could reach the
//   process's memory), so its bytes change only by the caller's hand, as memory's would.
// - Staging is taken only where it cannot turn into a fault later: on the ext2/3/4
//   and tmpfs file systems, where the copy takes the disk space of every page (a full
//   disk shows in stage_copy) and writing a mapped page again never needs more. A
//   copy-on-write file system may need new space for that, and would signal a full
//   disk with SIGBUS in the middle of the caller's work.
// - When staging is not possible (another system or file system, an unwritable or
//   missing directory, a full disk, no /proc to link the file by) stage_copy returns
//   -1, prints nothing and leaves nothing: the caller reads the input as before, and
//   its save reports any problem as it always did. replace_file_staged likewise writes
//   the mapped bytes the ordinary way when the unnamed file cannot be linked where the
//   output is.
// - A program that ends before the save, however it ends, leaves nothing behind: the
//   unnamed file is gone with its last descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ReplaceFailure : std::uint8_t {
  kNone,
  kOpen,           // the target or a file beside it cannot be opened or created
  kReadOnly,       // the existing target is not writable by the caller
  kProtectedLink,  // a link in a sticky world-writable directory owned by another user
  kLinkLoop,       // too many levels of symbolic links
  kWrite,          // writing, flushing, syncing or renaming failed
  kInUse,          // Windows: another program holds the target open, so it cannot be replaced
};

int replace_file(const char* path, const void* data, std::size_t size, ReplaceFailure* why);

// An input copied into an unnamed file beside the output; see "Staging" above.
struct StagedCopy {
  int fd = -1;                    // the unnamed file, open for reading and writing
  std::uint8_t* bytes = nullptr;  // its contents, mapped shared and writable; `size` bytes
  std::size_t size = 0;
  std::size_t mapped = 0;  // bytes mapped at `bytes`: the copy, then the room after it
};

// Where a staged copy's room begins: at this boundary at or after the copy's end, past
// the page that holds the end of the file (its bytes after the end are not kept).
inline constexpr std::size_t kStageRoomAlign = std::size_t{64} << 10;
inline constexpr std::size_t stage_room_offset(std::size_t size) {
  return (size + kStageRoomAlign - 1) / kStageRoomAlign * kStageRoomAlign;
}

// Copies `size` bytes (from offset 0) of the regular file open as `input_fd` into a new
// unnamed file in the directory of `output` (links followed as replace_file follows
// them) and maps it at staged->bytes, followed at stage_room_offset(size) by `room`
// bytes of private zeroed memory, which are never saved. 0, or -1 with *staged empty
// and nothing printed. REQUIRES: size > 0; *staged empty.
int stage_copy(int input_fd, std::size_t size, std::size_t room, const char* output, StagedCopy* staged);

// Unmaps and closes the copy, which leaves *staged empty; the unnamed file is gone.
void stage_release(StagedCopy* staged);

// replace_file(path, staged.bytes, staged.size, why), done by giving the staged file
// its place when the output's directory is the one it was made in. REQUIRES: `staged`
// as stage_copy left it, still mapped (the caller releases it afterwards).
int replace_file_staged(const char* path, const StagedCopy& staged, ReplaceFailure* why);

// A short explanation of a failure, with what the user can do, for programs that say
// why ("the output is read-only; ..."); an empty string for kNone.
const char* replace_failure_text(ReplaceFailure why);
