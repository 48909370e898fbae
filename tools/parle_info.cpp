// parle info: what an image is and which patch revision fits it.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "patch/revision.h"
#include "tools/parle_commands.h"
#include "tools/parle_image.h"

namespace {

void show_usage() {
  (void)std::fputs(
      "usage: parle info [--json] IMAGE...\n"
      "For each image: its container form and geometry, the four conversation files with\n"
      "their size and CRC-32, and for each patch revision whether it applies, is already\n"
      "applied (patched), or does not apply, with the first byte that differs.\n"
      "\n"
      "  -j, --json     print one JSON array with one object per image\n"
      "  -h, --help     show this help and exit\n"
      "      --version  show the version and exit\n",
      stdout);
}

// Everything info tells about one image.
struct ImageReport {
  std::string path;
  std::string error;  // the image could not be read: why; nothing else is set
  ImageForm form = ImageForm::kRaw;
  bool write_protected = false;
  std::int32_t cylinders = 0, heads = 0, sectors_per_track = 0, bytes_per_sector = 0;
  std::vector<TlkFile> files;
  RevisionVerdict verdicts[kRevisionCount] = {};
};

ImageReport inspect(const char* path) {
  ImageReport report;
  report.path = path;
  OwnedDisk loaded;
  if (parle_load(path, &loaded.disk, &report.error) < 0) return report;
  const DiskImage& disk = loaded.disk;
  report.form = disk.form;
  report.write_protected = disk.write_protected != 0;
  report.cylinders = disk.cylinders;
  report.heads = disk.heads;
  report.sectors_per_track = disk.sectors_per_track;
  report.bytes_per_sector = disk.bytes_per_sector;
  report.files = read_tlk_files(disk);
  const std::vector<TlkFileData> views = tlk_file_views(report.files);
  revision_verdicts(views, report.verdicts);
  return report;
}

std::string reason_text(const RevisionReason& reason) {
  char text[512];
  revision_reason_text(text, sizeof text, reason);
  return text;
}

void print_text(const ImageReport& r) {
  (void)std::printf("%s: %s, %d cylinders, %d heads, %d sectors of %d bytes%s\n", r.path.c_str(), vol_form_name(r.form),
                    r.cylinders, r.heads, r.sectors_per_track, r.bytes_per_sector,
                    r.write_protected ? ", write-protected" : "");
  for (const TlkFile& f : r.files) {
    if (f.ok) {
      (void)std::printf("  %-12s %6zu bytes  crc32 %s\n", f.name.c_str(), f.data.size(), crc_text(f.crc32).c_str());
    } else {
      (void)std::printf("  %-12s %s\n", f.name.c_str(), f.error.c_str());
    }
  }
  for (const RevisionVerdict& v : r.verdicts) {
    if (v.status == RevisionStatus::kDoesNotApply) {
      (void)std::printf("  revision %d: %s (%s)\n", v.revision, revision_status_name(v.status),
                        reason_text(v.reason).c_str());
    } else {
      (void)std::printf("  revision %d: %s\n", v.revision, revision_status_name(v.status));
    }
  }
}

nlohmann::ordered_json to_json(const ImageReport& r) {
  nlohmann::ordered_json j;
  j["image"] = r.path;
  if (!r.error.empty()) {
    j["error"] = r.error;
    return j;
  }
  j["form"] = vol_form_name(r.form);
  j["write_protected"] = r.write_protected;
  j["geometry"] = {{"cylinders", r.cylinders},
                   {"heads", r.heads},
                   {"sectors_per_track", r.sectors_per_track},
                   {"bytes_per_sector", r.bytes_per_sector}};
  j["files"] = nlohmann::ordered_json::array();
  for (const TlkFile& f : r.files) {
    nlohmann::ordered_json file = {{"name", f.name}};
    if (f.ok) {
      file["size"] = f.data.size();
      file["crc32"] = crc_text(f.crc32);
    } else {
      file["error"] = f.error;
    }
    j["files"].push_back(file);
  }
  j["revisions"] = nlohmann::ordered_json::array();
  for (const RevisionVerdict& v : r.verdicts) {
    nlohmann::ordered_json rev = {{"revision", v.revision}, {"status", revision_status_name(v.status)}};
    if (v.status == RevisionStatus::kDoesNotApply) {
      rev["reason"] = reason_text(v.reason);
      if (v.reason.kind == RefusalKind::kByte) {
        rev["mismatch"] = {{"file", v.reason.file},
                           {"offset", v.reason.offset},
                           {"found", v.reason.found},
                           {"expected", v.reason.expected}};
      }
    } else {
      rev["reason"] = nullptr;
    }
    j["revisions"].push_back(rev);
  }
  return j;
}

}  // namespace

int parle_info(int argc, char** argv) {
  static const option kOptions[] = {
      {"json", no_argument, nullptr, 'j'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  bool json = false;
  bool help = false;
  bool version = false;
  int first = 0;
  const int stop = walk_options(
      argc, argv, ":jh", kOptions,
      [&](int c, const char*) {
        if (c == 'j') json = true;
        if (c == 'h') help = true;
        if (c == 'V') version = true;
        return -1;
      },
      &first);
  if (stop >= 0) return stop;
  if (const int status = help_or_version(help, version, show_usage); status >= 0) return status;
  if (first >= argc) return usage_error("info", "no image given");

  bool failed = false;
  bool first_block = true;
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  for (int i = first; i < argc; ++i) {
    const ImageReport report = inspect(argv[i]);
    if (!report.error.empty()) {
      (void)std::fprintf(stderr, "parle: %s: %s\n", argv[i], report.error.c_str());
      failed = true;
    }
    if (json) {
      all.push_back(to_json(report));
    } else if (report.error.empty()) {
      if (!first_block) (void)std::fputs("\n", stdout);
      first_block = false;
      print_text(report);
    }
  }
  if (json) {
    // Paths and messages are byte strings; bytes that are not UTF-8 become U+FFFD
    // rather than breaking the document. The objects follow the order of the operands.
    (void)std::fputs(all.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str(), stdout);
    (void)std::fputs("\n", stdout);
  }
  if (!stdout_ok()) return kExitFailure;
  return failed ? kExitFailure : kExitOk;
}
