// Times the record renderer in both text forms on the four conversation files of a disk
// image (the sample disk, say), the dump text going to /dev/null:
//
//   tlk-bench IMAGE [ROUNDS]      (an .fdi image has its 4096-byte header skipped)
//
// Each round renders all four files once as Shift-JIS and once as UTF-8, alternately, so
// that both forms meet the same machine load; the median of each form is printed, with
// the UTF-8 form's time as a multiple of the Shift-JIS form's.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dump/tlk.h"
#include "volume/file.h"
#include "volume/image.h"

namespace {

using Clock = std::chrono::steady_clock;

double render_ns(const std::vector<std::vector<std::uint8_t>>& files, TlkText text) {
  const Clock::time_point start = Clock::now();
  for (const std::vector<std::uint8_t>& f : files)
    tlk_dump_as(f.data(), static_cast<std::int32_t>(f.size()), true, text);
  (void)std::fflush(stdout);  // into /dev/null: nothing to lose
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::printf("usage: tlk-bench IMAGE [ROUNDS]\n");
    return 1;
  }
  const std::string path = argv[1];
  const int rounds = argc == 3 ? std::max(1, std::atoi(argv[2])) : 200;
  const bool fdi = path.size() >= 4 && path.compare(path.size() - 4, 4, ".fdi") == 0;
  DiskImage disk{};
  if (vol_open(&disk, path.c_str(), fdi ? kFdiHeaderOffset : 0) != 0) return 1;
  std::vector<std::vector<std::uint8_t>> files;
  std::size_t bytes = 0;
  for (const char* name : {"CASTLE.TLK", "DWELLING.TLK", "KEEP.TLK", "TOWNE.TLK"}) {
    const std::int32_t size = vol_file_size(&disk, name, 1);
    if (size <= 0) return 1;
    files.emplace_back(static_cast<std::size_t>(size));
    if (vol_read_file(&disk, name, files.back().data(), size, 1) != 0) return 1;
    bytes += static_cast<std::size_t>(size);
  }
  vol_free(&disk, 0);

  // The results go to the standard output the program was given; the dump text to /dev/null.
  std::FILE* report = fdopen(dup(STDOUT_FILENO), "w");
  if (report == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  std::vector<double> sjis;
  std::vector<double> utf8;
  for (int r = 0; r < rounds; ++r) {
    sjis.push_back(render_ns(files, TlkText::kShiftJis));
    utf8.push_back(render_ns(files, TlkText::kUtf8));
  }
  const double s = median(sjis);
  const double u = median(utf8);
  const int printed = std::fprintf(
      report, "%zu file bytes, %d rounds\nShift-JIS %10.0f ns  (%.2f ns/byte)\nUTF-8     %10.0f ns  (%.2f ns/byte)\n",
      bytes, rounds, s, s / static_cast<double>(bytes), u, u / static_cast<double>(bytes));
  const int ratio = std::fprintf(report, "UTF-8 / Shift-JIS: %.3f\n", u / s);
  return std::fclose(report) == 0 && printed > 0 && ratio > 0 ? 0 : 1;
}
