// parle IMAGE: an image handed over with no command, as Explorer starts the program for
// an image dropped onto it (or opened with it). The user wants to know what the image
// is and have it fixed, and reads the answer in a console window that closes as soon as
// the program ends.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/platform.h"
#include "tools/parle_commands.h"
#include "tools/parle_image.h"
#include "tools/patch_main.h"

namespace {

// Offers to fix the image with the revision fix would pick, and fixes it if the user
// says so. Nothing is asked of an image that info has shown to be patched already, to
// fit no revision, or to be marked write-protected.
int offer_fix(char* path) {
  OwnedDisk loaded;
  std::string error;
  if (parle_load(path, &loaded.disk, &error) < 0) return kExitFailure;  // info has said why
  const std::vector<TlkFile> files = read_tlk_files(loaded.disk);
  RevisionVerdict verdicts[kRevisionCount];
  revision_verdicts(tlk_file_views(files), verdicts);
  const int revision = parle_pick_revision(verdicts);
  if (revision == 0 || loaded.disk.write_protected != 0) return kExitOk;

  char* output = make_new_name(path);
  if (output == nullptr) return kExitFailure;
  const std::string question = "fix it with revision " + std::to_string(revision) + " and save it as '" + output + "'?";
  std::free(output);
  if (!parle_confirm(question)) return kExitOk;
  char command[] = "fix";
  char* fix_argv[] = {command, path, nullptr};
  return parle_fix(2, fix_argv);
}

}  // namespace

int parle_open(char* path) {
  char command[] = "info";
  char* info_argv[] = {command, path, nullptr};
  int status = parle_info(2, info_argv);
  if (status == kExitOk) status = offer_fix(path);
  parle_keep_window_open();
  return status;
}

void parle_keep_window_open() {
  if (!platform_console_closes_at_exit()) return;
  (void)std::fflush(stdout);
  (void)std::fputs("Press Enter to close this window.", stderr);
  int c = 0;
  while ((c = std::getchar()) != EOF && c != '\n') {
  }
}
