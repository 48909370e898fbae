// parle dump: the four conversation files as text, as the dump programs print them.
#include <cstdio>
#include <string>
#include <vector>

#include "common/platform.h"
#include "dump/tlk.h"
#include "tools/dump_main.h"
#include "tools/parle_commands.h"
#include "tools/parle_console.h"
#include "tools/parle_image.h"

namespace {

void show_usage() {
  (void)std::fputs(
      "usage: parle dump [--print-offset] [--sjis] IMAGE\n"
      "Print the records of CASTLE.TLK, DWELLING.TLK, KEEP.TLK and TOWNE.TLK as text,\n"
      "laid out as the dump programs print them.\n"
      "\n"
      "  -p, --print-offset  begin each line with the file offset of its first byte\n"
      "  -s, --sjis          write the text in Shift-JIS, byte for byte as the dump\n"
      "                      programs do, instead of UTF-8\n"
      "  -h, --help          show this help and exit\n"
      "      --version       show the version and exit\n",
      stdout);
}

}  // namespace

int parle_dump(int argc, char** argv) {
  static const option kOptions[] = {
      {"print-offset", no_argument, nullptr, 'p'},
      {"sjis", no_argument, nullptr, 's'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  bool show_offsets = false;
  bool sjis = false;
  bool help = false;
  bool version = false;
  int first = 0;
  const int stop = walk_options(
      argc, argv, ":psh", kOptions,
      [&](int c, const char*) {
        if (c == 'p') show_offsets = true;
        if (c == 's') sjis = true;
        if (c == 'h') help = true;
        if (c == 'V') version = true;
        return -1;
      },
      &first);
  if (stop >= 0) return stop;
  if (const int status = help_or_version(help, version, show_usage); status >= 0) return status;
  if (first >= argc) return usage_error("dump", "no image given");
  if (argc - first > 1)
    return usage_error("dump", std::string("one image at a time ('") + argv[first + 1] + "' is one too many)");
  const char* path = argv[first];

  OwnedDisk loaded;
  std::string error;
  if (parle_load(path, &loaded.disk, &error) < 0) {
    (void)std::fprintf(stderr, "parle: %s: %s\n", path, error.c_str());
    return kExitFailure;
  }
  const std::vector<TlkFile> files = read_tlk_files(loaded.disk, false);
  // UTF-8 text shows as such in a Windows console only once the console is told.
  if (!sjis) platform_console_utf8();
  for (const TlkFile& f : files) {
    if (!f.ok) {
      (void)std::fprintf(stderr, "parle: %s: %s: %s\n", path, f.name.c_str(), f.error.c_str());
      return kExitFailure;
    }
    const auto size = static_cast<std::int32_t>(f.data.size());
    if (size <= kTlkMinFileSize || size > kTlkFileBufferSize) {
      (void)std::fprintf(stderr, "parle: %s: %s: %d bytes is no conversation file\n", path, f.name.c_str(), size);
      return kExitFailure;
    }
    // The header is checked before the name is printed, so that a refused file leaves
    // nothing half printed; the check's own line becomes part of parle's.
    {
      ConsoleCapture capture(ConsoleCapture::kBoth);
      TlkTable table;
      if (tlk_parse(f.data.data(), size, &table) < 0) {
        std::string why = capture.text();
        if (why.rfind("ERROR: ", 0) == 0) why.erase(0, 7);
        (void)std::fprintf(stderr, "parle: %s: %s: bad header (%s)\n", path, f.name.c_str(), why.c_str());
        return kExitFailure;
      }
    }
    // The dump text goes to standard output through both of the renderer's paths.
    parle_route(stdout, stderr);
    (void)std::printf("%s:\n", f.name.c_str());
    tlk_dump_as(f.data.data(), size, show_offsets, sjis ? TlkText::kShiftJis : TlkText::kUtf8);
    parle_route(nullptr, stderr);
    if (std::ferror(stdout) != 0) break;
  }
  return stdout_ok() ? kExitOk : kExitFailure;
}
