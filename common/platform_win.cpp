// The platform layer on Windows: UTF-8 arguments from the UTF-16 command line, files
// opened by their UTF-16 names, standard output in binary mode, and the console's code
// page and window for the programs that care.
// <windows.h> first: the other system headers build on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/platform_win.h"

namespace {

// The buffer of standard output when it is a console.
constexpr std::size_t kConsoleBuffer = std::size_t{1} << 16;

// The console's output code page before platform_console_utf8 changed it; 0 if unchanged.
UINT g_saved_output_cp = 0;

void restore_output_cp() {
  if (g_saved_output_cp != 0) (void)SetConsoleOutputCP(g_saved_output_cp);
}

bool stdout_is_console() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace

bool utf8_to_wide(const char* text, std::wstring* out) {
  out->clear();
  if (*text == '\0') return true;
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<std::size_t>(n));
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out->data(), n) != n) {
    out->clear();
    return false;
  }
  out->pop_back();  // the terminator the count included
  return true;
}

std::string wide_to_utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  (void)WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}

void platform_start(int* argc, char*** argv) {
  // Text mode would write every "\n" as "\r\n"; the programs' output is the same bytes
  // on every system.
  (void)_setmode(_fileno(stdout), _O_BINARY);
  // The C library leaves a console's stream without a buffer and writes it a byte at a
  // time: slow, and a multibyte character (Shift-JIS, UTF-8) reaches the console in
  // pieces. A full buffer writes it in large blocks; the programs flush it before every
  // question they ask, and it is flushed at exit.
  if (stdout_is_console()) (void)std::setvbuf(stdout, nullptr, _IOFBF, kConsoleBuffer);

  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return;
  // Kept until the process ends, as main's own arguments are.
  static std::vector<std::string> args;
  static std::vector<char*> pointers;
  args.clear();
  for (int i = 0; i < count; ++i) args.push_back(wide_to_utf8(wide[i]));
  (void)LocalFree(wide);
  pointers.clear();
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  *argc = count;
  *argv = pointers.data();
}

std::FILE* platform_fopen(const char* path, const char* mode) {
  std::wstring wide_path;
  std::wstring wide_mode;
  if (!utf8_to_wide(path, &wide_path) || !utf8_to_wide(mode, &wide_mode)) return nullptr;
  return _wfopen(wide_path.c_str(), wide_mode.c_str());
}

bool platform_exists(const char* path) {
  std::wstring wide;
  if (!utf8_to_wide(path, &wide) || wide.empty()) return false;
  // Opening with no access at all follows links and works on devices, as stat does.
  const HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    (void)CloseHandle(h);
    return true;
  }
  // There, but not to be opened by this user or at this moment.
  const DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

bool platform_entry_exists(const char* path) {
  std::wstring wide;
  if (!utf8_to_wide(path, &wide) || wide.empty()) return false;
  // The attributes of the entry itself: a link is not followed.
  if (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return platform_exists(path);  // a device (NUL) has no attributes of its own
}

bool platform_is_directory(const char* path) {
  std::wstring wide;
  if (!utf8_to_wide(path, &wide) || wide.empty()) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int platform_open_read(const char* path) {
  std::wstring wide;
  if (!utf8_to_wide(path, &wide)) {
    errno = ENOENT;
    return -1;
  }
  return _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

CaptureStream::CaptureStream() {
  wchar_t dir[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH || GetTempFileNameW(dir, L"prl", 0, name) == 0) return;
  // "D": deleted when closed, whatever way the program ends; "T": kept in memory where
  // the system can.
  stream_ = _wfopen(name, L"w+bTD");
  if (stream_ == nullptr) (void)DeleteFileW(name);
}

CaptureStream::~CaptureStream() {
  if (stream_ != nullptr) (void)std::fclose(stream_);
}

std::string CaptureStream::contents() {
  if (stream_ == nullptr || std::fflush(stream_) != 0) return {};
  const long end = std::ftell(stream_);
  if (end <= 0) return {};
  std::string text(static_cast<std::size_t>(end), '\0');
  std::rewind(stream_);
  const std::size_t n = std::fread(text.data(), 1, text.size(), stream_);
  text.resize(n);
  (void)std::fseek(stream_, 0, SEEK_END);
  return text;
}

void platform_console_utf8() {
  if (!stdout_is_console()) return;
  const UINT cp = GetConsoleOutputCP();
  if (cp == CP_UTF8 || SetConsoleOutputCP(CP_UTF8) == 0) return;
  // The code page belongs to the console window, which the shell that started the
  // program goes on using.
  g_saved_output_cp = cp;
  (void)std::atexit(restore_output_cp);
}

bool platform_console_closes_at_exit() {
  // A console window that Explorer opened for the program lists the program alone; one
  // that cmd or PowerShell owns lists the shell too. No console at all lists nobody.
  DWORD ids[2];
  return GetConsoleProcessList(ids, 2) == 1;
}
