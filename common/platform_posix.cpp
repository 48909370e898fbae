// The platform layer on Linux and other POSIX systems: arguments and file names are
// taken as they come, and standard output is written byte for byte already.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

#include "common/platform.h"

void platform_start(int* argc, char*** argv) {
  (void)argc;
  (void)argv;
}

std::FILE* platform_fopen(const char* path, const char* mode) { return std::fopen(path, mode); }

bool platform_exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

bool platform_entry_exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
}

bool platform_is_directory(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int platform_open_read(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }

CaptureStream::CaptureStream() { stream_ = open_memstream(&buffer_, &size_); }

CaptureStream::~CaptureStream() {
  if (stream_ != nullptr) (void)std::fclose(stream_);
  std::free(buffer_);
}

std::string CaptureStream::contents() {
  if (stream_ == nullptr || std::fflush(stream_) != 0 || buffer_ == nullptr) return {};
  return std::string(buffer_, size_);
}

void platform_console_utf8() {}

bool platform_console_closes_at_exit() { return false; }
