// replace_file on Windows: the contract of replace_file.h with the Win32 calls.
//
// The new contents go into a new file beside the target, are flushed to the disk, and
// the file is moved over the target with MoveFileExW, which replaces it in one rename:
// either the old file is still there or the new one is. ReplaceFileW would carry the old
// file's security settings over, but without a backup name it may fail half-way with the
// old file gone and the new one still under its temporary name
// (ERROR_UNABLE_TO_MOVE_REPLACEMENT), which the user's only image must never risk.
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/platform_win.h"
#include "common/replace_file.h"

namespace {

// The temporary file beside the target is this prefix and six letters.
constexpr wchar_t kTempPrefix[] = L".parle-save-";
constexpr int kTempNameLetters = 6;
// Names tried before giving up, should others of that form already be there.
constexpr int kTempTries = 100;

// The attributes of an old file that the new one takes over. Read-only is refused
// before, and a directory is never replaced.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// WriteFile takes at most a DWORD of bytes at a time; stay well below it.
constexpr std::size_t kWriteChunk = std::size_t{1} << 30;

// The folder part of `path`, with its separator, to put the temporary file in.
std::wstring folder_of(const std::wstring& path) {
  const std::size_t sep = path.find_last_of(L"\\/");
  if (sep != std::wstring::npos) return path.substr(0, sep + 1);
  // "C:name" names a file in drive C's current folder.
  if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
  return {};
}

// The name of the file a link finally leads to, in *out; false if it leads nowhere.
bool resolve_link(const std::wstring& path, std::wstring* out) {
  const HANDLE h = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::wstring name(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
  if (n >= name.size()) {
    name.resize(n);
    n = GetFinalPathNameByHandleW(h, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
  }
  (void)CloseHandle(h);
  if (n == 0 || n >= name.size()) return false;
  name.resize(n);
  *out = name;
  return true;
}

// A device (NUL, CON, COM1) or a named pipe: opened, not a file on a disk.
bool is_device(const std::wstring& path) {
  const HANDLE h = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(h);
  (void)CloseHandle(h);
  return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

bool write_all(HANDLE h, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const auto chunk = static_cast<DWORD>(size < kWriteChunk ? size : kWriteChunk);
    DWORD written = 0;
    if (WriteFile(h, p, chunk, &written, nullptr) == 0 || written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

// A device cannot be moved over: it is opened and written as it is.
ReplaceFailure write_in_place(const std::wstring& target, const void* data, std::size_t size) {
  const HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return ReplaceFailure::kOpen;
  const bool ok = write_all(h, data, size);
  return CloseHandle(h) != 0 && ok ? ReplaceFailure::kNone : ReplaceFailure::kWrite;
}

// Sets or clears the mark that makes the system delete the file when its handle closes.
bool mark_for_deletion(HANDLE h, bool remove) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
}

// Creates a new file under an unused temporary name beside the target.
HANDLE create_temp(const std::wstring& target, DWORD attributes, std::wstring* temp) {
  const std::wstring base = folder_of(target) + kTempPrefix;
  // Different in every process and on every try; CREATE_NEW never takes an existing file.
  std::uint32_t seed = GetCurrentProcessId() * 2654435761u ^ static_cast<std::uint32_t>(GetTickCount64());
  for (int attempt = 0; attempt < kTempTries; ++attempt) {
    *temp = base;
    for (int i = 0; i < kTempNameLetters; ++i) {
      seed = seed * 1664525u + 1013904223u;
      temp->push_back(static_cast<wchar_t>(L'a' + (seed >> 24) % 26));
    }
    const HANDLE h = CreateFileW(temp->c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

int replace_file(const char* path, const void* data, std::size_t size, ReplaceFailure* why) {
  *why = ReplaceFailure::kNone;
  std::wstring target;
  if (!utf8_to_wide(path, &target) || target.empty()) {
    *why = ReplaceFailure::kOpen;
    return -1;
  }
  DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    if (!resolve_link(target, &target)) {
      *why = ReplaceFailure::kOpen;
      return -1;
    }
    attributes = GetFileAttributesW(target.c_str());
  }
  if (is_device(target)) {
    *why = write_in_place(target, data, size);
    return *why == ReplaceFailure::kNone ? 0 : -1;
  }
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *why = ReplaceFailure::kOpen;
    return -1;
  }
  // Moving over a read-only file would replace it all the same; it is refused, as
  // opening it for writing would be.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    *why = ReplaceFailure::kReadOnly;
    return -1;
  }

  const DWORD kept = exists ? attributes & kKeptAttributes : 0;
  std::wstring temp;
  const HANDLE h = create_temp(target, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, &temp);
  if (h == INVALID_HANDLE_VALUE) {
    *why = ReplaceFailure::kOpen;
    return -1;
  }
  // Until the move, the file goes away with its handle, however the program ends.
  const bool self_removing = mark_for_deletion(h, true);
  const auto discard = [&](ReplaceFailure failure) {
    (void)CloseHandle(h);
    if (!self_removing) (void)DeleteFileW(temp.c_str());
    *why = failure;
    return -1;
  };
  if (!write_all(h, data, size) || FlushFileBuffers(h) == 0) return discard(ReplaceFailure::kWrite);
  if (self_removing && !mark_for_deletion(h, false)) return discard(ReplaceFailure::kWrite);
  if (CloseHandle(h) == 0) {
    (void)DeleteFileW(temp.c_str());
    *why = ReplaceFailure::kWrite;
    return -1;
  }
  if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    const DWORD error = GetLastError();
    (void)DeleteFileW(temp.c_str());
    const bool in_use =
        error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
    *why = in_use ? ReplaceFailure::kInUse : ReplaceFailure::kWrite;
    return -1;
  }
  return 0;
}

// Staging copies through an unnamed file of the POSIX systems; Windows programs read the
// input into memory and save it with replace_file.
int stage_copy(int, std::size_t, std::size_t, const char*, StagedCopy* staged) {
  *staged = StagedCopy{};
  return -1;
}

void stage_release(StagedCopy* staged) { *staged = StagedCopy{}; }

int replace_file_staged(const char* path, const StagedCopy& staged, ReplaceFailure* why) {
  return replace_file(path, staged.bytes, staged.size, why);
}
