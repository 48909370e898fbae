// parle fix: patch an image with the revision that fits it and save it in its own form.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/platform.h"
#include "common/replace_file.h"
#include "patch/pass.h"
#include "patch/revision.h"
#include "tools/parle_commands.h"
#include "tools/parle_console.h"
#include "tools/parle_image.h"
#include "tools/patch_main.h"
#include "volume/file.h"

namespace {

void show_usage() {
  (void)std::fputs(
      "usage: parle fix [OPTION]... IMAGE\n"
      "Rebuild the conversation files of IMAGE with the highest patch revision that\n"
      "applies to it, as the patch programs do, and save the image in its own container\n"
      "form. An image that already carries a revision is left alone.\n"
      "\n"
      "  -r, --revision=N   use revision N (1, 2 or 3)\n"
      "  -o, --output=PATH  write to PATH; the default is IMAGE with .NEW inserted\n"
      "                     before its last '.' (disk.d88 gives disk.NEW.d88)\n"
      "  -n, --dry-run      do everything but the write and say what would be written\n"
      "  -f, --force        replace an existing output without asking, and patch an\n"
      "                     image whose container is marked write-protected\n"
      "  -v, --verbose      print every patch record on standard error, as the patch\n"
      "                     programs print them\n"
      "  -h, --help         show this help and exit\n"
      "      --version      show the version and exit\n",
      stdout);
}

// File names match the root directory's entries whatever their case.
constexpr int kIgnoreCase = 1;

struct FixOptions {
  int revision = 0;  // 0: choose
  const char* output = nullptr;
  bool dry_run = false;
  bool force = false;
  bool verbose = false;
};

std::string reason_text(const RevisionReason& reason) {
  char text[512];
  revision_reason_text(text, sizeof text, reason);
  return text;
}

}  // namespace

bool parle_confirm(const std::string& question) {
  (void)std::fflush(stdout);
  (void)std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::string answer;
  int c = 0;
  while ((c = std::getchar()) != EOF && c != '\n') answer.push_back(static_cast<char>(c));
  // At the end of input the terminal has not ended the prompt's line.
  if (c == EOF && answer.empty()) (void)std::fputs("\n", stderr);
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
  std::size_t start = 0;
  while (start < answer.size() && answer[start] == ' ') ++start;
  answer.erase(0, start);
  for (char& ch : answer) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
  return answer == "y" || answer == "yes";
}

int parle_pick_revision(const RevisionVerdict (&verdicts)[kRevisionCount]) {
  for (const RevisionVerdict& v : verdicts) {
    if (v.status == RevisionStatus::kPatched) return 0;
  }
  // The highest revision that applies: of two that fit one release, the later.
  for (int r = kRevisionCount; r >= 1; --r) {
    if (verdicts[r - 1].status == RevisionStatus::kApplies) return r;
  }
  return 0;
}

namespace {

int fix_image(const char* path, const FixOptions& opt) {
  char* derived = nullptr;
  if (opt.output == nullptr) {
    derived = make_new_name(path);
    if (derived == nullptr) {
      (void)std::fprintf(stderr, "parle: %s: out of memory\n", path);
      return kExitFailure;
    }
  }
  const std::string output = opt.output != nullptr ? opt.output : derived;
  std::free(derived);

  // A run that will save loads the image where it will be saved, when the system allows
  // (see vol_stage); a dry run reads it into memory.
  OwnedDisk loaded;
  DiskImage& disk = loaded.disk;
  std::string error;
  if (parle_load(path, &disk, &error, opt.dry_run ? nullptr : output.c_str()) < 0) {
    (void)std::fprintf(stderr, "parle: %s: %s\n", path, error.c_str());
    return kExitFailure;
  }
  // Only the files a revision rebuilds get their CRC printed, so none is taken here.
  const std::vector<TlkFile> before = read_tlk_files(disk, false);
  RevisionVerdict verdicts[kRevisionCount];
  revision_verdicts(tlk_file_views(before), verdicts);

  int patched = 0;
  for (const RevisionVerdict& v : verdicts) {
    if (v.status == RevisionStatus::kPatched) patched = v.revision;
  }

  int revision = 0;
  if (opt.revision != 0) {
    const RevisionVerdict& v = verdicts[opt.revision - 1];
    if (v.status == RevisionStatus::kPatched) {
      (void)std::printf("%s already carries revision %d; nothing written\n", path, v.revision);
      return stdout_ok() ? kExitOk : kExitFailure;
    }
    if (v.status == RevisionStatus::kDoesNotApply) {
      if (patched != 0) {
        (void)std::fprintf(stderr,
                           "parle: %s: revision %d does not apply (%s); the image already carries revision %d\n", path,
                           v.revision, reason_text(v.reason).c_str(), patched);
      } else {
        (void)std::fprintf(stderr, "parle: %s: revision %d does not apply (%s); 'parle info' shows every revision\n",
                           path, v.revision, reason_text(v.reason).c_str());
      }
      return kExitFailure;
    }
    revision = opt.revision;
  } else {
    if (patched != 0) {
      (void)std::printf("%s already carries revision %d; nothing written\n", path, patched);
      return stdout_ok() ? kExitOk : kExitFailure;
    }
    revision = parle_pick_revision(verdicts);
    if (revision == 0) {
      std::string reasons;
      for (const RevisionVerdict& v : verdicts) {
        if (!reasons.empty()) reasons += "; ";
        reasons += "revision " + std::to_string(v.revision) + ": " + reason_text(v.reason);
      }
      (void)std::fprintf(stderr, "parle: %s: no patch revision applies (%s)\n", path, reasons.c_str());
      return kExitFailure;
    }
  }

  if (disk.write_protected != 0 && !opt.force) {
    (void)std::fprintf(stderr, "parle: %s: the image is marked write-protected; use --force to patch it all the same\n",
                       path);
    return kExitFailure;
  }

  const bool exists = platform_entry_exists(output.c_str());
  if (exists && platform_is_directory(output.c_str())) {
    (void)std::fprintf(stderr, "parle: %s is a directory; name the output file with --output\n", output.c_str());
    return kExitFailure;
  }

  // The patch pass of the patch programs, over the image in memory. Every byte it
  // verifies was checked above; what can still fail is a container that will not take
  // a rewritten sector.
  static PatchBuffers buffers;
  const PatchSet& set = patch_revision(revision);
  {
    parle_route(opt.verbose ? stderr : nullptr, stderr);
    ConsoleCapture capture;
    const int r = patch_pass(&disk, set, path, output.c_str(), &buffers);
    const std::string why = capture.text();
    if (r < 0) {
      parle_route(nullptr, stderr);
      (void)std::fprintf(stderr, "parle: %s: cannot patch with revision %d (%s); nothing written\n", path, revision,
                         why.c_str());
      return kExitFailure;
    }
  }
  parle_route(nullptr, stderr);
  // Each rebuilt file's CRC as the image now holds it, read back into the pass's source
  // buffer, which the pass is done with.
  std::vector<std::uint32_t> new_crc(static_cast<std::size_t>(set.target_count));
  for (int t = 0; t < set.target_count; ++t) {
    const PatchTarget& target = set.targets[t];
    if (vol_read_file(&disk, target.file_name, buffers.source, target.file_length, kIgnoreCase) == 0)
      new_crc[static_cast<std::size_t>(t)] = crc32_of(buffers.source, static_cast<std::size_t>(target.file_length));
  }

  if (exists && !opt.dry_run && !opt.force) {
    if (isatty(STDIN_FILENO) == 0) {
      (void)std::fprintf(stderr, "parle: %s exists; use --force to replace it\n", output.c_str());
      return kExitFailure;
    }
    if (!parle_confirm("overwrite '" + output + "'?")) {
      (void)std::fprintf(stderr, "parle: %s: not replaced; nothing written\n", output.c_str());
      return kExitFailure;
    }
  }
  if (!opt.dry_run) {
    // The project's safe save, called directly so that a refusal can say why.
    ReplaceFailure why;
    if (vol_replace(&disk, output.c_str(), &why) < 0) {
      (void)std::fprintf(stderr, "parle: %s: cannot save: %s\n", output.c_str(), replace_failure_text(why));
      return kExitFailure;
    }
  }

  for (int t = 0; t < set.target_count; ++t) {
    const char* name = set.targets[t].file_name;
    std::uint32_t old_crc = 0;
    for (const TlkFile& f : before) {
      if (f.name == name) old_crc = tlk_crc32(f);
    }
    (void)std::printf("%s: rebuilt by revision %d (crc32 %s -> %s)\n", name, revision, crc_text(old_crc).c_str(),
                      crc_text(new_crc[static_cast<std::size_t>(t)]).c_str());
  }
  if (opt.dry_run) {
    (void)std::printf("%s '%s'\n", exists ? "would replace" : "would save", output.c_str());
  } else {
    (void)std::printf("%s '%s'\n", exists ? "replaced" : "saved", output.c_str());
  }
  return stdout_ok() ? kExitOk : kExitFailure;
}

}  // namespace

int parle_fix(int argc, char** argv) {
  static const option kOptions[] = {
      {"revision", required_argument, nullptr, 'r'}, {"output", required_argument, nullptr, 'o'},
      {"dry-run", no_argument, nullptr, 'n'},        {"force", no_argument, nullptr, 'f'},
      {"verbose", no_argument, nullptr, 'v'},        {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},        {nullptr, 0, nullptr, 0},
  };
  FixOptions opt;
  bool help = false;
  bool version = false;
  int first = 0;
  const int stop = walk_options(
      argc, argv, ":r:o:nfvh", kOptions,
      [&](int c, const char* value) {
        switch (c) {
          case 'r':
            if (std::strcmp(value, "1") != 0 && std::strcmp(value, "2") != 0 && std::strcmp(value, "3") != 0) {
              return usage_error("fix", std::string("revision '") + value + "' does not exist: give 1, 2 or 3");
            }
            opt.revision = value[0] - '0';
            break;
          case 'o':
            if (value[0] == '\0') return usage_error("fix", "the output path is empty");
            opt.output = value;
            break;
          case 'n':
            opt.dry_run = true;
            break;
          case 'f':
            opt.force = true;
            break;
          case 'v':
            opt.verbose = true;
            break;
          case 'h':
            help = true;
            break;
          case 'V':
            version = true;
            break;
          default:
            break;
        }
        return -1;
      },
      &first);
  if (stop >= 0) return stop;
  if (const int status = help_or_version(help, version, show_usage); status >= 0) return status;
  if (first >= argc) return usage_error("fix", "no image given");
  if (argc - first > 1)
    return usage_error("fix", std::string("one image at a time ('") + argv[first + 1] + "' is one too many)");
  if (argv[first][0] == '\0') return usage_error("fix", "the image path is empty");
  return fix_image(argv[first], opt);
}
